// ASCII-only letter case: tag, rule and attribute names compare ignoring the
// case of A-Z/a-z and nothing else, whatever bytes they hold.
#pragma once

#include <string>
#include <string_view>

namespace tagsift {

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

inline std::string lowerCased(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}

// The C white-space class: blank, tab, line feed, vertical tab, form feed, carriage return.
inline bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace tagsift
