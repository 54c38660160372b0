// The main loop's shortcut: with passOverTagsOtherThan the scanner consumes
// unwanted tags itself. Whatever it skips, the tags it still returns (with
// their places) and what an open region echoes must be exactly what the
// ordinary tag-by-tag way gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/shortcut_scan.h"

namespace tagsift {
namespace {

using Strings = std::vector<std::string>;

using testing::Region;

std::string scan(const std::string& page, const Strings& names, Region region, std::size_t blockSize,
                 bool shortcut, int* returned = nullptr) {
    return testing::scanPage(page, names, region, blockSize, shortcut, returned);
}

// Pieces chosen to put names, quotes, line ends and '>' on both sides of
// 64-byte windows and of small read blocks.
std::string page(unsigned seed, int pieces) {
    const char* parts[] = {
        "text ", "\n", "\r\n", "\r", "\t", "<a href=\"x>y\">", "<A HREF=z>", "<ab c>", "<abc>", "<b t='it\"s'>",
        "<B>", "<bb x=\"\n\n\">", "</p>", "</P x>", "<p>", "<!-- <a> -- -->", "<!---->", "<!-->", "--->",
        "<a\nclass=c>", "<x\ny=1>", "<br/>", "<>", "< a>", "a < b ", "<img src=i.png alt>", "\"", "'", ">",
        "<longnamethatrunsonandonandonandonandonandonandonandonpastsixtyfour q='>'>",
        "<longnamethatrunsonandonandonandonandonandonandonandonpastsixtyfour_>",
        "                                                                      ",
        "<x a='................................................................'>",
        "<x\"y>", "<x'y z='>'>", "<longnamewithquotesthatrunsonandonandonandonandonandon\"past'sixtyfour>", "<b<c\nd>", "<b<a>", "<tr\n>", "a\"b", "<q a=\"<a>\" b='<!--'>",
    };
    std::string text;
    for (int i = 0; i < pieces; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += parts[(seed >> 16) % std::size(parts)];
    }
    return text;
}

class PassOverTags : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { Scanner::setWideCompares(GetParam()); }
    void TearDown() override { Scanner::setWideCompares(true); }
};

INSTANTIATE_TEST_SUITE_P(Compares, PassOverTags, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Narrow"; });

TEST_P(PassOverTags, GivesWhatTheOrdinaryWayGives) {
    const std::vector<Strings> nameSets = {
        {"a"},
        {"B", "img"},
        {"ab", "p"},
        {""},
        {"/p", "x"},
        {"longnamethatrunsonandonandonandonandonandonandonandonpastsixtyfour_"},
        {"!--x"},
        {"td", "TR", "q"},
    };
    const Region regions[] = {Region::None, Region::TextOnly, Region::TextAndComments, Region::Everything};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::string text = page(seed, 200);
        for (const Strings& names : nameSets)
            for (Region region : regions) {
                int all = 0, kept = 0;
                std::string expected = scan(text, names, region, 1 << 16, false, &all);
                scan(text, names, region, 1 << 16, true, &kept);
                if (region != Region::Everything && names[0] == "a") {
                    EXPECT_LT(kept, all) << "nothing passed over";
                }
                for (std::size_t bs : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{65},
                                       std::size_t{1} << 16})
                    ASSERT_EQ(scan(text, names, region, bs, true), expected)
                        << "seed " << seed << ", names " << names[0] << ", region " << int(region)
                        << ", blocks of " << bs << "\n"
                        << text;
            }
    }
}

// Input that ends inside a skipped tag, its quotes or its name.
TEST_P(PassOverTags, EndsOfInputInsideSkippedTags) {
    const char* cut[] = {"<x", "<x ", "<x '", "<x \"a>", "<x 'a' ", "x<y>text", "<a><x>\n<", "<x>t<a"};
    for (const char* text : cut)
        for (Region region : {Region::None, Region::TextOnly})
            for (std::size_t bs : {std::size_t{1}, std::size_t{1} << 16})
                EXPECT_EQ(scan(text, {"a"}, region, bs, true), scan(text, {"a"}, region, 1 << 16, false))
                    << '"' << text << "\" region " << int(region) << ", blocks of " << bs;
}

}  // namespace
}  // namespace tagsift
