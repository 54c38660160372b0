// ASCII-only letter case: tag, rule and attribute names compare ignoring the
// case of A-Z/a-z and nothing else, whatever bytes they hold.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace tagsift {

inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Names are mostly written alike: a byte that differs must be the same letter in the other case.
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y && ((x ^ y) != 0x20 || static_cast<unsigned char>((x | 0x20) - 'a') > 'z' - 'a')) return false;
    }
    return true;
}

inline std::string lowerCased(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}

// The C white-space class: blank, tab, line feed, vertical tab, form feed, carriage return.
inline bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
// The white space of the HTML and Encoding standards: the same without the vertical tab.
inline bool isAsciiWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// The bytes that end a tag name, an attribute name and an unquoted value: " =>\t\n\r\f".
struct WordDelimiters {
    bool in[256] = {};
    constexpr WordDelimiters() {
        for (char c : std::string_view(" =>\t\n\r\f")) in[static_cast<unsigned char>(c)] = true;
    }
};
inline constexpr WordDelimiters kWordDelimiters;
inline bool isWordDelimiter(char c) { return kWordDelimiters.in[static_cast<unsigned char>(c)]; }

// The value of a hexadecimal digit of either case, or -1.
inline int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The digits 0-9 from text[i] on, as a number that stops growing at cap; i moves past them.
inline long long readDigits(std::string_view text, std::size_t& i, long long cap) {
    long long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        n = n > cap / 10 ? cap : std::min(cap, n * 10 + (text[i] - '0'));
    return n;
}

// The character that a backslash and c stand for in formats and bracket sets
// (\" \' \\ \a \b \f \n \r \t \v), or 0 when c is none of these.
inline char simpleEscape(char c) {
    switch (c) {
        case '"': return '"';
        case '\'': return '\'';
        case '\\': return '\\';
        case 'a': return 7;
        case 'b': return 8;
        case 'f': return 12;
        case 'n': return 10;
        case 'r': return 13;
        case 't': return 9;
        case 'v': return 11;
        default: return 0;
    }
}

// One backslash escape of a format or a bracket set, read from the backslash at text[i].
// Octal runs take every decimal digit after the backslash (an 8 or 9 ends the value but not
// the run), hexadecimal ones every hex digit; both keep the value modulo 256.
struct Escape {
    enum Kind { Simple, Number, HexWithoutDigits, Other } kind;
    char value;          // Simple, Number: the byte it stands for; Other: the escaped character
    std::size_t length;  // from the backslash on
};
inline Escape readEscape(std::string_view text, std::size_t i) {
    const char c = text[i + 1];
    if (char simple = simpleEscape(c)) return {Escape::Simple, simple, 2};
    if (c >= '0' && c <= '7') {
        std::size_t j = i + 1;
        unsigned value = 0;
        bool octal = true;
        for (; j < text.size() && text[j] >= '0' && text[j] <= '9'; ++j) {
            if (text[j] > '7') octal = false;
            if (octal) value = (value * 8 + static_cast<unsigned>(text[j] - '0')) & 0xFF;
        }
        return {Escape::Number, static_cast<char>(value), j - i};
    }
    if (c == 'x') {
        std::size_t j = i + 2;
        unsigned value = 0;
        for (; j < text.size() && hexDigitValue(text[j]) >= 0; ++j)
            value = (value * 16 + static_cast<unsigned>(hexDigitValue(text[j]))) & 0xFF;
        if (j == i + 2) return {Escape::HexWithoutDigits, 'x', 2};
        return {Escape::Number, static_cast<char>(value), j - i};
    }
    return {Escape::Other, c, 2};
}

}  // namespace tagsift
