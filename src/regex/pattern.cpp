#include "regex/pattern.h"

#include <climits>
#include <cstring>
#include <vector>

#include "base/text.h"
#include "regex/charset.h"
#include "regex/items.h"

namespace tagsift {

namespace {

// a..z to A..Z, every other byte unchanged.
void upperCaseText(std::string& text) {
    for (char& c : text) c = asciiUpper(c);
}

bool fail(std::string* why, const char* reason) {
    if (why) *why = reason;
    return false;
}

// Reads a decimal number the way "%d" does; false when there is none.
bool readCount(std::string_view text, std::size_t i, long long& value) {
    while (i < text.size() && isSpace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t start = i;
    const long long v = readDigits(text, i, INT_MAX);
    if (i == start) return false;
    value = negative ? -v : v;
    return true;
}

bool compileItems(std::string_view text, Pattern::Compiled& p, std::string* why) {
    std::size_t i = 0;
    std::size_t end = text.size();
    if (text.empty()) return true;
    if (text[0] == '^') {
        p.anchoredStart = true;
        i = 1;
    }
    if (i < end && text[i] == '0') return true;  // "0" first matches everything
    if (end > i && text[end - 1] == '$') {
        p.anchoredEnd = true;
        --end;
    }
    while (i < end) {
        char c = text[i];
        PatternItem item;
        switch (c) {
            case '*': {
                if (p.items.empty()) return fail(why, "star without an item before it");
                ItemKind before = p.items.back().kind;
                if (before == ItemKind::Star) return fail(why, "star after a star");
                if (before == ItemKind::Skip) return fail(why, "star after a skip item");
                char repeated = text[i - 1];
                std::size_t j = i + 1;
                while (j < end && text[j] == repeated) ++j;
                item.kind = ItemKind::Star;
                item.count = static_cast<long long>(j - i - 1);
                i = j;
                break;
            }
            case '.':
                item.kind = ItemKind::Any;
                ++i;
                break;
            case '[': {
                std::size_t close = i + 1;
                while (close < end && !(text[close] == ']' && text[close - 1] != '\\')) ++close;
                if (close >= end) return fail(why, "set without ]");
                bool negated = i + 1 < close && text[i + 1] == '^';
                std::size_t from = negated ? i + 2 : i + 1;
                item.kind = negated ? ItemKind::NotSet : ItemKind::Set;
                item.set = std::string(text.substr(from, close - from));
                if (!normalizeSet(item.set, why)) return false;
                i = close + 1;
                break;
            }
            case '\\':
                item.kind = ItemKind::Literal;
                if (i + 1 < end) {
                    item.ch = static_cast<unsigned char>(text[i + 1]);
                    i += 2;
                } else {  // nothing left for it to take: a backslash of its own
                    item.ch = '\\';
                    ++i;
                }
                break;
            case '{': {
                if (i + 1 >= end) return fail(why, "{ without a character");
                std::size_t close = text.find('}', i + 2);
                if (close == std::string_view::npos || close >= end) return fail(why, "{ without }");
                long long count = 0;
                if (!readCount(text.substr(0, close), i + 2, count)) return fail(why, "{ without a number");
                item.kind = ItemKind::Skip;
                item.ch = static_cast<unsigned char>(text[i + 1]);
                item.count = count;
                i = close + 1;
                break;
            }
            default:
                item.kind = ItemKind::Literal;
                item.ch = static_cast<unsigned char>(c);
                ++i;
                break;
        }
        p.items.push_back(std::move(item));
    }
    p.items.push_back(PatternItem{});  // End
    return true;
}

// One match of one subject. walk() follows the items as far as they go
// without a choice; every choice is a search (findFirst) for the next place
// where an item can take a character, kept as a frame on an explicit stack.
// A search that failed from some start fails from every later start too, so
// each item remembers the lowest start known to fail, and no candidate
// position is ever tried twice for the same item: the work stays polynomial
// whatever the pattern.
class Matcher {
public:
    Matcher(std::string_view s, const Pattern::Compiled& p) : s_(s), items_(p.items), anchoredEnd_(p.anchoredEnd) {}

    bool run(bool anchoredStart) {
        std::size_t pos = 0, k = 0;
        if (items_[0].kind == ItemKind::Any)
            while (pos < s_.size() && items_[k].kind == ItemKind::Any) ++pos, ++k;
        if (items_[k].kind == ItemKind::End) return !anchoredEnd_ || pos == s_.size();
        ItemKind kind = items_[k].kind;
        Step step = (anchoredStart || kind == ItemKind::Any || kind == ItemKind::Star ||
                     kind == ItemKind::Skip)
                        ? walkItems(pos, k)
                        : Step{Step::Find, pos, k};
        return drive(step);
    }

private:
    struct Step {
        enum Kind { Matched, Failed, Find } kind;
        std::size_t pos = 0;
        std::size_t k = 0;
    };
    struct Frame {
        std::size_t k, next, start;
    };

    bool takes(std::size_t k, std::size_t pos) const {
        if (pos >= s_.size()) return false;
        const PatternItem& item = items_[k];
        unsigned char c = static_cast<unsigned char>(s_[pos]);
        switch (item.kind) {
            case ItemKind::Any: return true;
            case ItemKind::Literal: return c == item.ch;
            case ItemKind::Set: return inSet(item.set, c);
            case ItemKind::NotSet: return !inSet(item.set, c);
            default: return false;
        }
    }

    // The position after the count-th x at or after pos; npos when there are not enough.
    std::size_t skipPast(std::size_t pos, unsigned char x, long long count) const {
        for (long long n = 0; n < count; ++n) {
            if (pos >= s_.size()) return std::string_view::npos;
            const void* at = std::memchr(s_.data() + pos, x, s_.size() - pos);
            if (!at) return std::string_view::npos;
            pos = static_cast<std::size_t>(static_cast<const char*>(at) - s_.data()) + 1;
        }
        return pos;
    }

    Step walkItems(std::size_t pos, std::size_t k) const {
        for (;;) {
            if (takes(k, pos)) {
                ++pos, ++k;
                continue;
            }
            const PatternItem& item = items_[k];
            if (item.kind == ItemKind::Star) {
                const PatternItem& before = items_[k - 1];
                if (before.kind == ItemKind::Any) {
                    // Give the character back, then pass n of them.
                    long long to = static_cast<long long>(pos) - 1 + item.count;
                    if (to > static_cast<long long>(s_.size())) return {Step::Failed};
                    return {Step::Find, static_cast<std::size_t>(to), k + 1};
                }
                for (long long n = 1; n < item.count; ++n) {  // repeatPrevious
                    if (!takes(k - 1, pos)) return {Step::Failed};
                    ++pos;
                }
                ++k;
                continue;
            }
            if (pos == s_.size()) return {item.kind == ItemKind::End ? Step::Matched : Step::Failed};
            if (item.kind == ItemKind::End) return {anchoredEnd_ ? Step::Failed : Step::Matched};
            if (item.kind == ItemKind::Skip) {
                pos = skipPast(pos, item.ch, item.count);
                if (pos == std::string_view::npos) return {Step::Failed};
                ++k;
                if (items_[k].kind == ItemKind::Skip) continue;
                return {Step::Find, pos, k};
            }
            return {Step::Failed};
        }
    }

    // The next position in [from, bound) where item k takes a character, or npos.
    std::size_t nextCandidate(std::size_t k, std::size_t from, std::size_t bound) const {
        if (from >= bound) return std::string_view::npos;
        const PatternItem& item = items_[k];
        if (item.kind == ItemKind::Any) return from;
        if (item.kind == ItemKind::Literal) {
            const void* at = std::memchr(s_.data() + from, item.ch, bound - from);
            return at ? static_cast<std::size_t>(static_cast<const char*>(at) - s_.data())
                      : std::string_view::npos;
        }
        for (std::size_t c = from; c < bound; ++c)
            if (takes(k, c)) return c;
        return std::string_view::npos;
    }

    bool drive(Step step) {
        std::vector<std::size_t>& failsFrom = scratchThresholds();
        failsFrom.assign(items_.size(), std::string_view::npos);
        std::vector<Frame>& frames = scratchFrames();
        frames.clear();
        for (;;) {
            if (step.kind == Step::Matched) return true;
            if (step.kind == Step::Find) {
                ItemKind kind = items_[step.k].kind;
                if (kind == ItemKind::End) return true;
                if (kind == ItemKind::Skip) {  // already searches forward: walk it from here
                    step = walkItems(step.pos, step.k);
                    continue;
                }
                if (kind == ItemKind::Star) return false;  // cannot compile; never searched
                if (step.pos < failsFrom[step.k]) frames.push_back({step.k, step.pos, step.pos});
                step.kind = Step::Failed;  // now try the innermost search's next candidate
                continue;
            }
            if (frames.empty()) return false;
            Frame& f = frames.back();
            std::size_t bound = std::min(failsFrom[f.k], s_.size());
            std::size_t c = nextCandidate(f.k, f.next, bound);
            if (c == std::string_view::npos) {
                failsFrom[f.k] = f.start;
                frames.pop_back();
                continue;
            }
            f.next = c + 1;
            step = walkItems(c + 1, f.k + 1);
        }
    }

    static std::vector<std::size_t>& scratchThresholds() {
        thread_local std::vector<std::size_t> v;
        return v;
    }
    static std::vector<Frame>& scratchFrames() {
        thread_local std::vector<Frame> v;
        return v;
    }

    std::string_view s_;
    const std::vector<PatternItem>& items_;
    bool anchoredEnd_;
};

}  // namespace

std::optional<Pattern> compilePattern(std::string_view text, std::string* why) {
    auto compiled = std::make_shared<Pattern::Compiled>();
    if (!compileItems(text, *compiled, why)) return std::nullopt;
    Pattern p;
    if (!compiled->items.empty()) p.compiled_ = std::move(compiled);
    return p;
}

std::optional<Pattern> compilePatternIgnoringCase(std::string_view text, std::string* why) {
    std::string upper(text);
    upperCaseText(upper);
    return compilePattern(upper, why);
}

bool matchPattern(std::string_view subject, const Pattern& pattern) {
    if (!pattern.compiled_) return true;
    return Matcher(subject, *pattern.compiled_).run(pattern.compiled_->anchoredStart);
}

bool matchPatternIgnoringCase(std::string_view subject, const Pattern& pattern) {
    thread_local std::string upper;
    upper.assign(subject);
    upperCaseText(upper);
    return matchPattern(upper, pattern);
}

}  // namespace tagsift
