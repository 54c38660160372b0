// The safe printf-style conversions: for every conversion printf defines they
// must print exactly what snprintf prints; the rest follows our own rules.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "format/conversion.h"
#include "io/output.h"

namespace tagsift {
namespace {

std::string number(const std::string& conversion, long long value) {
    Output out(-1);
    formatNumber(out, parseConversion(conversion), value);
    out.flush();
    return out.collected();
}

std::string text(const std::string& conversion, std::string_view value) {
    Output out(-1);
    formatText(out, parseConversion(conversion), value);
    out.flush();
    return out.collected();
}

// printf's own answer; "ll" goes before the letter so that 64-bit values are read whole.
template <typename T>
std::string reference(const std::string& format, T value) {
    std::vector<char> buffer(4096);
    int n = std::snprintf(buffer.data(), buffer.size(), format.c_str(), value);
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

std::vector<std::string> flagSets(const std::string& flags) {
    std::vector<std::string> sets;
    for (unsigned mask = 0; mask < (1u << flags.size()); ++mask) {
        std::string s;
        for (std::size_t i = 0; i < flags.size(); ++i)
            if (mask & (1u << i)) s += flags[i];
        sets.push_back(s);
    }
    return sets;
}

const char* const kWidths[] = {"", "1", "4", "12"};
const char* const kPrecisions[] = {"", ".", ".0", ".1", ".3", ".12"};

TEST(FormatNumber, MatchesPrintfForEveryDefinedForm) {
    const long long values[] = {0, 1, 7, 8, 42, 255, 4096, 1234567, INT_MAX, LLONG_MAX, -1, -42, INT_MIN, LLONG_MIN};
    int checked = 0;
    for (char letter : std::string("diuoxX"))
        for (const std::string& flags : flagSets("-+ #0'"))
            for (const char* width : kWidths)
                for (const char* precision : kPrecisions)
                    for (long long v : values) {
                        std::string conv = "%" + flags + width + precision;
                        EXPECT_EQ(number(conv + letter, v), reference(conv + "ll" + letter, v))
                            << conv + letter << " of " << v;
                        ++checked;
                    }
    EXPECT_GT(checked, 10000);
}

TEST(FormatNumber, CharactersMatchPrintf) {
    for (const std::string& flags : flagSets("-"))
        for (const char* width : kWidths)
            for (int v : {65, 0, 255, 0x141, 32}) {
                std::string conv = "%" + flags + width + "c";
                EXPECT_EQ(number(conv, v), reference(conv, v)) << conv << " of " << v;
            }
}

TEST(FormatText, MatchesPrintf) {
    const char* values[] = {"", "a", "abc", "hello world", "0123456789abcdef"};
    for (const std::string& flags : flagSets("-"))
        for (const char* width : kWidths)
            for (const char* precision : kPrecisions)
                for (const char* v : values) {
                    std::string conv = "%" + flags + width + precision + "s";
                    EXPECT_EQ(text(conv, v), reference(conv, v)) << conv << " of \"" << v << '"';
                }
}

TEST(FormatText, ZeroBytesArePrintedWhole) {
    using namespace std::string_literals;
    EXPECT_EQ(text("%s", "a\0b"s), "a\0b"s);
    EXPECT_EQ(text("%5s", "a\0b"s), "  a\0b"s);
    EXPECT_EQ(text("%.2s", "a\0b"s), "a\0"s);
}

TEST(Conversion, BeyondPrintf) {
    struct Case {
        const char* conversion;
        long long number;
        const char* numberOut;
        const char* textOut;  // the same conversion applied to the text "abc"
    } cases[] = {
        // The user's letter picks the form; the type letter appended after it is printed as written.
        {"%xd", 255, "ffd", "abcd"},
        {"%Xd", 255, "FFd", "abcd"},
        {"%#xd", 255, "0xffd", "abcd"},
        {"%od", 8, "10d", "abcd"},
        {"%cd", 65, "Ad", "abcd"},
        {"%5xs", 255, "   ffs", "  abcs"},
        // Letters without a meaning for numbers print as d; texts always print as s.
        {"%f", 42, "42", "abc"},
        {"%5.3e", -4, " -004", "  abc"},
        {"%p", 42, "42", "abc"},
        {"%n", 42, "42", "abc"},
        {"%s", 42, "42", "abc"},
        {"%d", 42, "42", "abc"},
        {"%", 42, "42", "abc"},
        {"%-", 42, "42", "abc"},
        {"%5", 42, "   42", "  abc"},
        {"%-5", 42, "42   ", "abc  "},
        // Length letters are skipped.
        {"%hd", 70000, "70000", "abc"},
        {"%hhd", 300, "300", "abc"},
        {"%lld", -5, "-5", "abc"},
        {"%qx", 255, "ff", "abc"},
        {"%jd", 1, "1", "abc"},
        {"%zu", 1, "1", "abc"},
        {"%td", 1, "1", "abc"},
        {"%Lo", 8, "10", "abc"},
        {"%ls", 3, "3", "abc"},
        // A '*' stands for nothing.
        {"%*d", 42, "42", "abc"},
        {"%-*d", 42, "42", "abc"},
        {"%*s", 42, "42", "abc"},
        // "%%" after the letter is one '%'.
        {"%d%%d", 7, "7%d", "abc%d"},
        {"%d%%", 7, "7%", "abc%"},
        {"%d%", 7, "7%", "abc%"},
        {"%d%%%%d", 7, "7%%d", "abc%%d"},
        {"%dx%sy", 7, "7x%sy", "abcx%sy"},
        {"%4d|", 7, "   7|", " abc|"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(number(c.conversion, c.number), c.numberOut) << c.conversion;
        EXPECT_EQ(text(c.conversion, "abc"), c.textOut) << c.conversion;
    }
    // Widths and precisions far beyond any page are kept.
    EXPECT_EQ(number("%300d", 1), std::string(299, ' ') + "1");
    EXPECT_EQ(text("%-300s", "abc"), "abc" + std::string(297, ' '));
    EXPECT_EQ(number("%.300d", 1), std::string(299, '0') + "1");
}

TEST(CollapsePercents, PairsBecomeOne) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""}, {"%", "%"}, {"%%", "%"}, {"%%%", "%%"}, {"%%%%", "%%"}, {"a%%b%c", "a%b%c"}, {"100%", "100%"},
        {"%d", "%d"},
    };
    for (const Case& c : cases) EXPECT_EQ(collapsePercents(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace tagsift
