// A body of text read whole from a block. Whether it is read there or left to
// the ordinary way never shows in the output (the reading tests compare the
// two), so what it reads, and what it leaves, is looked at here.
#include <gtest/gtest.h>

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

TEST(TextOnlyRegion, ReadsToItsEndTagOrLeavesIt) {
    auto wanted = [](std::string_view name) { return name == "td" || name == "a" || name == "A"; };
    for (const RegionCase& c : kCases) {
        const std::string_view text = c.text;
        const char* end = text.data() + text.size();
        const char* found = readTextOnlyRegion(text.data(), end, "td", wanted, nullptr);
        EXPECT_EQ(found ? found - text.data() : -1, c.endTag) << text;
        if (!found) continue;
        Output out(-1);
        EXPECT_EQ(readTextOnlyRegion(text.data(), end, "td", wanted, &out), found) << text;
        out.flush();
        EXPECT_EQ(out.collected(), c.copied) << text;
    }
}

}  // namespace
}  // namespace tagsift
