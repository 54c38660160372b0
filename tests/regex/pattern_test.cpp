#include <gtest/gtest.h>

#include <random>

#include "regex/pattern.h"

namespace tagsift {
namespace {

struct MatchCase {
    const char* pattern;
    const char* subject;
    bool matched;
};

const MatchCase kPlainCases[] = {
    {"abc", "xxabcx", true},   {"^abc", "xxabc", false},  {"abc$", "xabc", true},
    {"abc$", "abcx", false},   {"a.c", "ac", false},      {".a", "a", false},
    {"..a", "xya", true},      {"..$", "abc", false},     {"..$", "ab", true},
    {"$", "", true},           {"$", "x", false},         {"", "anything", true},
    {"0", "x", true},          {"^0abc", "zzz", true},    {"a.*c", "ac", true},
    {"a.*c", "abbbc", true},   {"a.*", "ab", true},       {"a.*", "a", false},
    {".*", "a", true},         {".*", "", false},         {".", "", false},
    {"..", "a", false},        {".*..", "a", false},      {".*..", "ab", true},
    {"ab*", "ab", true},       {"ab*c", "abc", true},     {"ab*c", "abbc", false},
    {"ab*c", "ac", false},     {"ab*bbc", "abbc", true},  {"ab*bbc", "abbbc", false},
    {"ab*bb", "ab", false},    {"ab*bbb", "abb", false},  {"[0-9]*9", "a99", true},
    {"x[^a-c]", "xd", true},   {"x[^a-c]", "x", false},   {"^a[^b]", "a", false},
    {"a[^]b", "a b", true},    {"a[]b", "ab", false},     {"{,2}c", "a,b,c", true},
    {"{,2}b", "a,b,c", false}, {"{,3}c", "a,b,c", false}, {"{,2}$", "a,b,c", true},
    {"^{,1}x", "xa,b", false}, {"{,0}x", "x", true},      {"^^a", "^a", true},
    {"a$$", "a$", true},       {"a+", "aa", false},       {"a\\.b", "a.b", true},
    {"a\\.b", "axb", false},   {"\\n", "n", true},        {"Hello", "HELLO", false},
    // Decisions where the rules leave a choice.
    {"a\\", "a\\", true},      // a trailing lone backslash is a backslash
    {"a\\$", "xa\\", true},    // ... also before the end anchor
    {"a\\$", "a\\x", false},
    {"{,2}.x", "a,b,cx", true},  // '.' after a skip item is searched for
    {"{,2}.x", "a,b,c", false},
    {".*{,2}$", "a,b,c", true},  // a skip item after '.*' counts from where the star ends
    {".*{,3}", "a,b,c", false},
    {"[ -~]", "-", true},      // a range covering '-' holds '-'
    {"x\\0y", "x0y", true},
};

TEST(PatternTest, PlainMatching) {
    for (const MatchCase& c : kPlainCases) {
        std::string why;
        std::optional<Pattern> p = compilePattern(c.pattern, &why);
        ASSERT_TRUE(p) << c.pattern << ": " << why;
        EXPECT_EQ(matchPattern(c.subject, *p), c.matched) << c.pattern << " on '" << c.subject << "'";
    }
}

TEST(PatternTest, StarCountIsKeptWhole) {
    std::string pattern = "a*" + std::string(140, 'a');  // star count 140
    std::optional<Pattern> p = compilePattern(pattern);
    ASSERT_TRUE(p);
    EXPECT_TRUE(matchPattern(std::string(140, 'a'), *p));
    EXPECT_FALSE(matchPattern(std::string(139, 'a'), *p));
}

TEST(PatternTest, MissingSubjectIsEmpty) {
    EXPECT_TRUE(matchPattern({}, *compilePattern("$")));
    EXPECT_FALSE(matchPattern({}, *compilePattern(".")));
}

TEST(PatternTest, IgnoringCase) {
    const MatchCase cases[] = {
        {"Hello", "HELLO", true}, {"[a-z]", "Q", true}, {"hello", "hElLo", true},
        {"x\\n", "xN", true},      // the escape became a plain letter
        {"[\\x41]", "X", true},   // likewise the hex escape in a set
        {"{a1}b", "xAb", true},
    };
    for (const MatchCase& c : cases) {
        std::optional<Pattern> p = compilePatternIgnoringCase(c.pattern);
        ASSERT_TRUE(p) << c.pattern;
        EXPECT_EQ(matchPatternIgnoringCase(c.subject, *p), c.matched) << c.pattern << " on " << c.subject;
    }
}

TEST(PatternTest, CompileFailures) {
    const char* bad[] = {"*a",   "^*a",  "a**",  "[abc", "[-a]", "[^-a]", "[abc\\]", "[z-a]",
                         "{",    "a{,",  "{,x}", "{,2",  "{,}",  "{,2}*", "x{a3"};
    for (const char* text : bad) {
        std::string why;
        EXPECT_FALSE(compilePattern(text, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

TEST(PatternTest, ItemShapes) {
    Pattern p = *compilePattern("^a*aa[ab]*]{,12}.\\*$");
    EXPECT_TRUE(p.anchoredStart);
    EXPECT_TRUE(p.anchoredEnd);
    std::vector<ItemKind> kinds;
    for (const PatternItem& i : p.items) kinds.push_back(i.kind);
    EXPECT_EQ(kinds, (std::vector<ItemKind>{ItemKind::Literal, ItemKind::Star, ItemKind::Set, ItemKind::Star,
                                            ItemKind::Skip, ItemKind::Any, ItemKind::Literal, ItemKind::End}));
    EXPECT_EQ(p.items[1].count, 2);
    EXPECT_EQ(p.items[3].count, 1);
    EXPECT_EQ(p.items[4].ch, ',');
    EXPECT_EQ(p.items[4].count, 12);
    EXPECT_EQ(p.items[6].ch, '*');
    EXPECT_TRUE(compilePattern("")->items.empty());
    EXPECT_TRUE(compilePattern("^0x")->items.empty());
}

TEST(PatternTest, ManyStarsOnLongSubjectFinishAtOnce) {
    std::string pattern;
    for (char c = 'a'; c < 'a' + 20; ++c) pattern += std::string(1, c) + ".*";
    pattern += "!";  // never there: every path is explored
    std::string subject;
    for (int i = 0; i < 5000; ++i) subject += static_cast<char>('a' + i % 20);
    EXPECT_FALSE(matchPattern(subject, *compilePattern(pattern)));
    EXPECT_TRUE(matchPattern(subject + "!", *compilePattern(pattern)));
}

// A direct reading of the matching rules, exponential but obviously right on
// small inputs; the fast matcher must give the same answers.
struct Reference {
    std::string_view s;
    const Pattern& p;
    bool takes(std::size_t k, std::size_t pos) const {
        if (pos >= s.size()) return false;
        const PatternItem& it = p.items[k];
        unsigned char c = static_cast<unsigned char>(s[pos]);
        switch (it.kind) {
            case ItemKind::Any: return true;
            case ItemKind::Literal: return c == it.ch;
            case ItemKind::Set: return inSet(it.set, c);
            case ItemKind::NotSet: return !inSet(it.set, c);
            default: return false;
        }
    }
    bool find(std::size_t pos, std::size_t k) const {
        switch (p.items[k].kind) {
            case ItemKind::End: return true;
            case ItemKind::Skip: return walk(pos, k);
            default:
                for (std::size_t c = pos; c < s.size(); ++c)
                    if (takes(k, c) && walk(c + 1, k + 1)) return true;
                return false;
        }
    }
    bool walk(std::size_t pos, std::size_t k) const {
        for (;;) {
            if (takes(k, pos)) {
                ++pos, ++k;
                continue;
            }
            const PatternItem& it = p.items[k];
            if (it.kind == ItemKind::Star) {
                if (p.items[k - 1].kind == ItemKind::Any) {
                    long long to = static_cast<long long>(pos) - 1 + it.count;
                    if (to > static_cast<long long>(s.size())) return false;
                    return find(static_cast<std::size_t>(to), k + 1);
                }
                for (long long n = 1; n < it.count; ++n, ++pos)
                    if (!takes(k - 1, pos)) return false;
                ++k;
                continue;
            }
            if (pos == s.size()) return it.kind == ItemKind::End;
            if (it.kind == ItemKind::End) return !p.anchoredEnd;
            if (it.kind == ItemKind::Skip) {
                for (long long n = 0; n < it.count; ++n) {
                    std::size_t at = s.find(static_cast<char>(it.ch), pos);
                    if (at == std::string_view::npos) return false;
                    pos = at + 1;
                }
                ++k;
                if (p.items[k].kind == ItemKind::Skip) continue;
                return find(pos, k);
            }
            return false;
        }
    }
    bool match() const {
        if (p.items.empty()) return true;
        std::size_t pos = 0, k = 0;
        if (p.items[0].kind == ItemKind::Any)
            while (pos < s.size() && p.items[k].kind == ItemKind::Any) ++pos, ++k;
        ItemKind kind = p.items[k].kind;
        if (kind == ItemKind::End) return !p.anchoredEnd || pos == s.size();
        if (p.anchoredStart || kind == ItemKind::Any || kind == ItemKind::Star || kind == ItemKind::Skip)
            return walk(pos, k);
        return find(pos, k);
    }
};

TEST(PatternTest, AgreesWithDirectReadingOnGeneratedCases) {
    std::mt19937 rng(12345);
    const std::string pieces[] = {"a", "b", ".", "*", "[ab]", "[^a]", "{a1}", "{b2}", "^", "$", "\\.", "c"};
    const std::string alphabet = "abc.";
    int compiled = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string pattern;
        int len = static_cast<int>(rng() % 7);
        for (int i = 0; i < len; ++i) pattern += pieces[rng() % std::size(pieces)];
        std::optional<Pattern> p = compilePattern(pattern);
        if (!p) continue;
        ++compiled;
        for (int m = 0; m < 5; ++m) {
            std::string subject;
            int slen = static_cast<int>(rng() % 8);
            for (int i = 0; i < slen; ++i) subject += alphabet[rng() % alphabet.size()];
            ASSERT_EQ(matchPattern(subject, *p), (Reference{subject, *p}.match()))
                << "pattern '" << pattern << "' subject '" << subject << "'";
        }
    }
    EXPECT_GT(compiled, 5000);
}

}  // namespace
}  // namespace tagsift
