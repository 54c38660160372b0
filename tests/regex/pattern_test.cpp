// The matcher against the slow reading of the language, on many small
// generated patterns, and its promise of polynomial time on a hostile one.
// (What each pattern item means is in the end-to-end table patterns.cases.)
#include <gtest/gtest.h>

#include <random>

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
