// The matcher against the slow reading of the language, on many small
// generated patterns, and its promise of polynomial time on a hostile one.
// (What each pattern item means is in the end-to-end table patterns.cases.)
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "regex/pattern.h"
#include "support/pattern_reference.h"

namespace tagsift {
namespace {

TEST(Pattern, AgreesWithTheSlowReading) {
    std::mt19937 rng(12345);
    const std::string pieces[] = {"a", "b", ".", "*", "[ab]", "[^a]", "{a1}", "{b2}", "^", "$", "\\.", "c"};
    const std::string alphabet = "abc.";
    int compiled = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string pattern;
        for (int i = static_cast<int>(rng() % 7); i > 0; --i) pattern += pieces[rng() % std::size(pieces)];
        std::optional<Pattern> p = compilePattern(pattern);
        if (!p) continue;
        ++compiled;
        for (int m = 0; m < 5; ++m) {
            std::string subject;
            for (int i = static_cast<int>(rng() % 8); i > 0; --i) subject += alphabet[rng() % alphabet.size()];
            ASSERT_EQ(matchPattern(subject, *p), testing::PatternReference(subject, *p).match() == 1)
                << "pattern '" << pattern << "' subject '" << subject << "'";
        }
    }
    EXPECT_GT(compiled, 5000);
}

// Sets against a plain reading of docs/tagsift.txt, 6.2: X-Y is a range when a character
// follows the dash, else each character is a member; bytes order as signed, 0xE9 before '!'.
TEST(Pattern, SetsAgreeWithAPlainReading) {
    std::mt19937 rng(7);
    const std::string alphabet = "!%--/:\xe9";
    for (int n = 0; n < 5000; ++n) {
        std::string content;
        for (int i = static_cast<int>(rng() % 10); i > 0; --i) content += alphabet[rng() % alphabet.size()];
        std::vector<std::pair<int, int>> ranges;  // both ends in
        bool reversed = false;
        for (std::size_t i = 0, step; i < content.size(); i += step) {
            step = i + 2 < content.size() && content[i + 1] == '-' ? 3 : 1;
            ranges.emplace_back(static_cast<signed char>(content[i]), static_cast<signed char>(content[i + step - 1]));
            reversed |= ranges.back().first > ranges.back().second;
        }
        const auto in = compilePattern("^[" + content + "]$"), out = compilePattern("^[^" + content + "]$");
        const std::string what = ::testing::PrintToString(content);  // escaped: the bytes are no UTF-8
        ASSERT_EQ(in.has_value(), !reversed && !content.starts_with('-')) << what;
        for (int c = -128; in && c < 128; ++c) {
            const bool member = std::any_of(ranges.begin(), ranges.end(), [c](auto r) { return r.first <= c && c <= r.second; });
            ASSERT_EQ(matchPattern(std::string(1, static_cast<char>(c)), *in), member) << what << " " << c;
            ASSERT_EQ(matchPattern(std::string(1, static_cast<char>(c)), *out), !member) << what << " " << c;
        }
    }
}

// Twenty '.*' on a long subject that lacks the last character: the slow
// reading would never finish; each item may search each place once.
TEST(Pattern, ManyStarsOnALongSubjectFinishAtOnce) {
    std::string pattern;
    for (char c = 'a'; c < 'a' + 20; ++c) pattern += std::string(1, c) + ".*";
    pattern += "!";
    std::string subject;
    for (int i = 0; i < 5000; ++i) subject += static_cast<char>('a' + i % 20);
    EXPECT_FALSE(matchPattern(subject, *compilePattern(pattern)));
    EXPECT_TRUE(matchPattern(subject + "!", *compilePattern(pattern)));
}

}  // namespace
}  // namespace tagsift
