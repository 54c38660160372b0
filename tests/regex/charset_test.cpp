#include <gtest/gtest.h>

#include "regex/charset.h"

namespace tagsift {
namespace {

// Renders a CharSet as its entries, so expectations read like the set rules.
std::string entries(const std::string& set) {
    std::string out;
    for (std::size_t j = 0; j < set.size();) {
        if (!out.empty()) out += ' ';
        if (set[j] == '-' && j + 2 < set.size()) {
            out += std::string(1, set[j + 1]) + ".." + set[j + 2];
            j += 3;
        } else if (set[j] == '-') {
            out += "dash";
            ++j;
        } else {
            out += set[j++];
        }
    }
    return out;
}

struct SetCase {
    const char* content;
    const char* entries;  // nullptr: normalizeSet fails
};

TEST(CharSetTest, NormalizesContents) {
    const SetCase cases[] = {
        {"a-z", "a..z"},
        {"za-z", "a..z z"},
        {"xyz0-9a-w", "0..9 a..w x y z"},
        {"bcdefa-z", "a..z"},
        {"a-ce-gb-f", "a..g"},
        {"c-ea-d", "a..d c..e"},
        {"abc\\-", "a b c dash"},
        {"a\\-b", "a b dash"},
        {"A-Za-z0-9_", "0..9 A..Z _ a..z"},
        {"0-9.,", ", . 0..9"},
        {"\\]x", "] x"},
        {"\\101b", "A b"},
        {"-az", nullptr},
        {"", ""},
        {"a-d e-h", "  a..d e..h"},      // adjacent ranges stay apart; the blank orders first
        {"\\181", "\x01"},               // the 8 ends the octal run but is consumed
        {"\\x4142", "B"},                // hex runs any length, modulo 256
        {"\\nz", "\n z"},
        {"a-b-c", "a..b c dash"},        // a stray dash is the dash itself
        {"\\n-z", "\n z dash"},
        {"a-", "a dash"},
        {"\\x2d", "dash"},               // an escape standing for '-'
        {"\\xq", "q x"},                 // \x without digits is the letter x
        {"z-a", nullptr},                // reversed ranges do not compile
        {"a-\xe9", nullptr},             // 0xE9 orders below 'a'
        {"ba", "a b"},
        {"aa", "a"},
    };
    for (const SetCase& c : cases) {
        std::string set = c.content;
        std::string why;
        bool ok = normalizeSet(set, &why);
        if (!c.entries) {
            EXPECT_FALSE(ok) << c.content;
            EXPECT_FALSE(why.empty()) << c.content;
            EXPECT_EQ(set, c.content) << "a failed content stays as it was";
            continue;
        }
        ASSERT_TRUE(ok) << c.content << ": " << why;
        EXPECT_EQ(entries(set), c.entries) << c.content;
    }
}

TEST(CharSetTest, HighBytesOrderBeforeAscii) {
    std::string set = "a\xe9";
    ASSERT_TRUE(normalizeSet(set));
    EXPECT_EQ(set, "\xe9" "a");
}

TEST(CharSetTest, EscapeForZeroAddsTheZeroByte) {
    std::string set = "\\0a";
    ASSERT_TRUE(normalizeSet(set));
    EXPECT_EQ(set, std::string("\0a", 2));
    EXPECT_TRUE(inSet(set, 0));
}

struct MemberCase {
    const char* content;
    unsigned char c;
    bool member;
};

TEST(CharSetTest, Membership) {
    const MemberCase cases[] = {
        {"a-z", 'm', true},   {"a-z", '-', false}, {"a-z", '{', false}, {"a-z", 'A', false},
        {"c-ea-d", 'e', true}, {"abc\\-", '-', true}, {"", '-', false},  {"", 'a', false},
        {"A-Za-z0-9_", '_', true}, {" -~", '-', true},  // a range covering '-' holds it
        {"!-,z", '-', false}, {"a\xe9", 0xe9, true}, {"za-z", 'z', true},
        {"a-y\\-", 'z', false}, {"+--", '-', true},
    };
    for (const MemberCase& c : cases) {
        std::string set = c.content;
        ASSERT_TRUE(normalizeSet(set)) << c.content;
        EXPECT_EQ(inSet(set, c.c), c.member) << c.content << " with " << c.c;
    }
}

TEST(CharSetTest, Scanners) {
    std::string digits = "0-9";
    ASSERT_TRUE(normalizeSet(digits));
    EXPECT_EQ(findInSet("xy1z", digits), 2u);
    EXPECT_EQ(findNotInSet("0042a", digits), 4u);
    EXPECT_EQ(findInSet("", digits), std::string_view::npos);
    EXPECT_EQ(findNotInSet("", digits), std::string_view::npos);
    EXPECT_EQ(findInSet("abc", digits), std::string_view::npos);
    EXPECT_EQ(findNotInSet("123", digits), std::string_view::npos);
}

}  // namespace
}  // namespace tagsift
