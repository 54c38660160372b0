// A body of text read whole from a block. Whether it is read there or left to
// the ordinary way never shows in the output (the reading tests compare the
// two), so what it reads, and what it leaves, is looked at here.
#include <gtest/gtest.h>

#include <string>

#include "scanner/region.h"

namespace tagsift {
namespace {

struct RegionCase {
    const char* text;  // after the opening tag of a region named "td"; "td" and "a" are wanted
    int endTag;        // the offset of the end tag's '<', or -1: left to the ordinary way
    const char* copied;
};

const RegionCase kCases[] = {
    {"cell</td>", 4, "cell"},
    {"</TD x='>'>", 0, ""},
    {"two\nlines</td\t>", 9, "two lines"},
    {"a<i x\n>b</td>", 8, "ab"},  // a line feed in a tag is none of the text's
    {"a<i>\nb</td>", 6, "a b"},
    {"0123456789abcdef01\n<i>x</td>", 23, "0123456789abcdef01 x"},
    {"ab\ncd<i>0123456789</td>", 18, "ab cd0123456789"},
    {"<b>bold</b> and <i x=\"a>b\" y='c\"d'>it</i></td>", 41, "bold and it"},
    {"a < b</td>c</td>", 11, "a c"},  // the tag that opens at '<' ends at the first '>'
    {"<>x</td>", 3, "x"},
    {"<tdx>y</tdx></td>", 12, "y"},
    {"x</td", -1, ""},               // the end tag's name runs to the block's end
    {"x<i y='>", -1, ""},            // a quoted value runs past it
    {"x<i y>", -1, ""},              // so does the region
    {"x<a href=u>y</a></td>", -1, ""},  // a wanted tag may print
    {"x<A>y</td>", -1, ""},
    {"x<td>y</td>", -1, ""},         // or close the region
    {"x<!-- c --></td>", -1, ""},    // a comment is the ordinary way's
    {"x<!doctype></td>", -1, ""},
    {"x<i\n y></td>", -1, ""},       // a name at a line feed too
    {"x</td\n></td>", -1, ""},
};

struct TagBytesCase {
    const char* bytes;
    std::string_view text;  // what follows the tag's first bytes is padding, unless the case says
    bool at;
};

const TagBytesCase kTagBytesCases[] = {
    {"</td", "</td>    ", true},
    {"</td", "</TD>    ", true},
    {"</Td", "</tD\t   ", true},
    {"</td", "</tf>    ", false},
    {"</td", "<td>     ", false},
    {"<td>", "<td >    ", false},
    {"<h1>", "<H1>     ", true},
    {"<h1>", std::string_view("<h\x11>    ", 9), false},  // only letters fold: '1' is not 0x11
    {"<a@>", "<A`>     ", false},
    {"</td", "</td", true},                              // too few bytes for a word: one by one
    {"</td", "</T", false},
    {"</td", "", false},
    {"</thead>", "</THEAD> ", true},                     // eight bytes, one word
    {"</thead>", "</thead ", false},
    {"</tablecell", "</TableCell>", true},               // more: one by one
    {"</tablecell", "</tablecel>>", false},
};

TEST(TagBytes, MatchLettersInEitherCaseAndOtherBytesAsTheyAre) {
    for (const TagBytesCase& c : kTagBytesCases) {
        const region::TagBytes bytes(c.bytes);
        EXPECT_EQ(bytes.size(), std::string_view(c.bytes).size());
        EXPECT_EQ(bytes.at(c.text.data(), c.text.data() + c.text.size()), c.at) << c.bytes << " at " << c.text;
    }
}

const region::TagBytes kEndTag("</td");

TEST(TextOnlyRegion, ReadsToItsEndTagOrLeavesIt) {
    auto wanted = [](std::string_view name) { return name == "td" || name == "a" || name == "A"; };
    TextOnlyRegion region;  // one for all, as a filter keeps one
    for (const RegionCase& c : kCases) {
        const std::string_view text = c.text;
        const char* found = region.read(text.data(), text.data() + text.size(), kEndTag, wanted);
        EXPECT_EQ(found ? found - text.data() : -1, c.endTag) << text;
        if (!found) continue;
        Output out(-1);
        region.copyTo(out, kEndTag, wanted);
        out.flush();
        EXPECT_EQ(out.collected(), c.copied) << text;
    }
}

TEST(TextOnlyRegion, CopiesAnyNumberOfPieces) {
    // More pieces than are kept are read again as they are copied.
    auto wanted = [](std::string_view) { return false; };
    TextOnlyRegion region;
    for (int tags : {0, 1, 7, 8, 9, 40, 2}) {
        std::string text, copied;
        for (int i = 0; i < tags; ++i) {
            text += "t" + std::to_string(i) + "<br x='>'>";
            copied += "t" + std::to_string(i);
        }
        text += "end</td>";
        copied += "end";
        const char* found = region.read(text.data(), text.data() + text.size(), kEndTag, wanted);
        ASSERT_EQ(found, text.data() + text.size() - 5) << tags;
        Output out(-1);
        region.copyTo(out, kEndTag, wanted);
        out.flush();
        EXPECT_EQ(out.collected(), copied) << tags;
    }
}

}  // namespace
}  // namespace tagsift
