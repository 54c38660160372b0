#include "regex/charset.h"

#include "base/text.h"

namespace tagsift {

namespace {

// Sets order their characters as signed bytes: 0x80..0xFF come before 0..127.
int order(unsigned char c) { return static_cast<signed char>(c); }
int order(char c) { return static_cast<signed char>(c); }

bool isRangeAt(const std::string& set, std::size_t j) { return set[j] == '-' && j + 2 < set.size(); }
bool isDashEntryAt(const std::string& set, std::size_t j) { return set[j] == '-' && j + 1 == set.size(); }

void addChar(std::string& set, char c) {
    std::size_t j = 0;
    while (j < set.size()) {
        if (isDashEntryAt(set, j)) break;
        if (isRangeAt(set, j)) {
            if (order(set[j + 2]) < order(c)) {
                j += 3;
                continue;
            }
            if (order(set[j + 1]) <= order(c)) return;  // covered by the range
            break;
        }
        if (order(set[j]) < order(c)) {
            ++j;
            continue;
        }
        if (set[j] == c) return;
        break;
    }
    set.insert(j, 1, c);
}

void addDash(std::string& set) {
    if (set.empty() || set.back() != '-') set.push_back('-');
}

struct Place {
    std::size_t at;
    bool covered;
};

// The first entry from `from` that does not lie wholly below c.
Place locate(const std::string& set, std::size_t from, char c) {
    std::size_t j = from;
    while (j < set.size()) {
        if (isDashEntryAt(set, j)) return {j, false};
        if (isRangeAt(set, j)) {
            if (order(set[j + 1]) > order(c)) return {j, false};
            if (order(set[j + 2]) >= order(c)) return {j, true};
            j += 3;
            continue;
        }
        if (order(set[j]) >= order(c)) return {j, false};
        ++j;
    }
    return {j, false};
}

void addRange(std::string& set, char first, char last) {
    Place p = locate(set, 0, first);
    Place q = locate(set, p.at, last);
    if (q.at == p.at) {
        if (!p.covered) set.insert(p.at, std::string{'-', first, last});
        return;
    }
    std::size_t qEnd = q.covered ? q.at + 3 : q.at;  // the first entry that stays after the range
    char newLast = q.covered ? set[q.at + 2] : last;
    if (p.covered) {
        set[p.at + 2] = newLast;
        set.erase(p.at + 3, qEnd - (p.at + 3));
    } else {
        set.replace(p.at, qEnd - p.at, std::string{'-', first, newLast});
    }
}

// Decodes the escape whose backslash stands at i; i moves past it. Any escaped character
// without a meaning of its own stands for itself, as does a lone backslash.
char decodeSetEscape(const std::string& content, std::size_t& i) {
    if (i + 1 >= content.size()) {
        ++i;
        return '\\';
    }
    const Escape e = readEscape(content, i);
    i += e.length;
    return e.value;
}

void addMember(std::string& set, char c) {
    if (c == '-') addDash(set);
    else addChar(set, c);
}

}  // namespace

bool normalizeSet(std::string& content, std::string* why) {
    if (!content.empty() && content[0] == '-') {
        if (why) *why = "set starts with -";
        return false;
    }
    std::string set;
    std::size_t i = 0;
    const std::size_t n = content.size();
    while (i < n) {
        char cur = content[i];
        // An escaped character, "\-" too, never starts a range; a dash with nothing after it
        // ("x-" at the end) is a member.
        if (cur == '\\') {
            addMember(set, decodeSetEscape(content, i));
        } else if (i + 2 < n && content[i + 1] == '-') {
            char last = content[i + 2];
            if (order(cur) > order(last)) {
                if (why) *why = std::string("reversed range ") + cur + "-" + last;
                return false;
            }
            addRange(set, cur, last);
            i += 3;
        } else {
            addMember(set, cur);
            ++i;
        }
    }
    content = std::move(set);
    return true;
}

bool inSet(std::string_view set, unsigned char c) {
    if (c == '-') {
        if (!set.empty() && set.back() == '-') return true;
        for (std::size_t j = 0; j < set.size();) {
            if (set[j] == '-' && j + 2 < set.size()) {
                if (order(set[j + 1]) <= order('-') && order('-') <= order(set[j + 2])) return true;
                j += 3;
            } else {
                ++j;
            }
        }
        return false;
    }
    for (std::size_t j = 0; j < set.size();) {
        if (set[j] == '-') {
            if (j + 2 >= set.size()) return false;  // the dash entry
            if (order(set[j + 1]) > order(c)) return false;
            if (order(set[j + 2]) >= order(c)) return true;
            j += 3;
            continue;
        }
        if (static_cast<unsigned char>(set[j]) == c) return true;
        if (order(set[j]) > order(c)) return false;
        ++j;
    }
    return false;
}

}  // namespace tagsift
