// Pattern compile and match. Input: the first line is the pattern text, every
// further line a subject (attribute values never hold a line feed).
//
// The matcher is checked against a plain recursive walk of the same items,
// the slow way the language is defined: search every candidate, walk on from
// it, back up on failure. That walk gets a step budget and is skipped when it
// runs out, since it is exponential in the number of '.*' items; the real
// matcher has no budget, and -timeout catches it if it is ever slow.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regex/charset.h"
#include "regex/pattern.h"

namespace {

using namespace tagsift;

class Reference {
public:
    Reference(std::string_view s, const Pattern& p) : s_(s), p_(p), items_(p.items) {}

    // 1 matched, 0 not matched, -1 out of budget.
    int match() {
        bool m = start();
        return budget_ < 0 ? -1 : m;
    }

private:
    bool takes(std::size_t k, std::size_t pos) const {
        if (pos >= s_.size()) return false;
        auto c = static_cast<unsigned char>(s_[pos]);
        const PatternItem& item = items_[k];
        switch (item.kind) {
            case ItemKind::Any: return true;
            case ItemKind::Literal: return c == item.ch;
            case ItemKind::Set: return inSet(item.set, c);
            case ItemKind::NotSet: return !inSet(item.set, c);
            default: return false;
        }
    }

    bool start() {
        if (items_.empty()) return true;
        std::size_t pos = 0, k = 0;
        if (items_[0].kind == ItemKind::Any)
            while (pos < s_.size() && items_[k].kind == ItemKind::Any) ++pos, ++k;
        ItemKind kind = items_[k].kind;
        if (kind == ItemKind::End) return !p_.anchoredEnd || pos == s_.size();
        if (p_.anchoredStart || kind == ItemKind::Any || kind == ItemKind::Star || kind == ItemKind::Skip)
            return walk(pos, k);
        return find(pos, k);
    }

    bool walk(std::size_t pos, std::size_t k) {
        for (;;) {
            if (--budget_ < 0) return false;
            if (takes(k, pos)) {
                ++pos, ++k;
                continue;
            }
            const PatternItem& item = items_[k];
            if (item.kind == ItemKind::Star) {
                if (items_[k - 1].kind == ItemKind::Any) {
                    long long to = static_cast<long long>(pos) - 1 + item.count;
                    if (to > static_cast<long long>(s_.size())) return false;
                    return find(static_cast<std::size_t>(to), k + 1);
                }
                for (long long n = 1; n < item.count; ++n, ++pos)
                    if (!takes(k - 1, pos)) return false;
                ++k;
                continue;
            }
            if (pos == s_.size()) return item.kind == ItemKind::End;
            if (item.kind == ItemKind::End) return !p_.anchoredEnd;
            if (item.kind == ItemKind::Skip) {
                for (long long n = 0; n < item.count; ++n) {
                    std::size_t at = s_.find(static_cast<char>(item.ch), pos);
                    if (at == std::string_view::npos) return false;
                    pos = at + 1;
                }
                ++k;
                if (items_[k].kind == ItemKind::Skip) continue;
                return find(pos, k);
            }
            return false;
        }
    }

    bool find(std::size_t pos, std::size_t k) {
        switch (items_[k].kind) {
            case ItemKind::End: return true;
            case ItemKind::Skip: return walk(pos, k);  // it searches forward by itself
            case ItemKind::Star: std::abort();          // compiling must have refused it
            default:
                for (std::size_t c = pos; c < s_.size() && budget_ >= 0; ++c)
                    if (takes(k, c) && walk(c + 1, k + 1)) return true;
                return false;
        }
    }

    std::string_view s_;
    const Pattern& p_;
    const std::vector<PatternItem>& items_;
    long budget_ = 200000;
};

void check(bool ok, const char* what, std::string_view subject) {
    if (ok) return;
    std::fprintf(stderr, "%s, subject [%.*s]\n", what, static_cast<int>(subject.size()), subject.data());
    std::abort();
}

void checkSets(const Pattern& p, std::string_view subject) {
    for (const PatternItem& item : p.items) {
        if (item.kind != ItemKind::Set && item.kind != ItemKind::NotSet) continue;
        std::size_t in = std::string_view::npos, out = std::string_view::npos;
        for (std::size_t i = subject.size(); i-- > 0;) {
            if (inSet(item.set, static_cast<unsigned char>(subject[i]))) in = i;
            else out = i;
        }
        check(findInSet(subject, item.set) == in, "findInSet differs from inSet", subject);
        check(findNotInSet(subject, item.set) == out, "findNotInSet differs from inSet", subject);
    }
}

std::string upper(std::string_view s) {
    std::string u(s);
    upperCaseText(u);
    return u;
}

std::string lower(std::string_view s) {
    std::string l(s);
    for (char& c : l)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return l;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    std::size_t eol = data.find('\n');
    std::string_view text = data.substr(0, eol);
    std::vector<std::string_view> subjects;
    if (eol != std::string_view::npos) {
        for (std::string_view rest = data.substr(eol + 1);;) {
            std::size_t end = rest.find('\n');
            subjects.push_back(rest.substr(0, end));
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
        }
    }

    std::string why;
    std::optional<Pattern> plain = compilePattern(text, &why);
    check(plain || !why.empty(), "a refused pattern must say why", text);
    std::optional<Pattern> caseless = compilePatternIgnoringCase(text);
    for (std::string_view s : subjects) {
        if (plain) {
            bool m = matchPattern(s, *plain);
            int expected = Reference(s, *plain).match();
            check(expected < 0 || m == (expected == 1), "matchPattern differs from the reference walk", s);
            checkSets(*plain, s);
        }
        if (caseless) {
            bool m = matchPatternIgnoringCase(s, *caseless);
            std::string u = upper(s);
            int expected = Reference(u, *caseless).match();
            check(expected < 0 || m == (expected == 1), "matchPatternIgnoringCase differs from the reference", s);
            check(matchPatternIgnoringCase(lower(s), *caseless) == m, "letter case changed a caseless match", s);
        }
    }
    return 0;
}
