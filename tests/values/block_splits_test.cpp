// Body regions that convert what they copy, read in blocks of every small size: a reference or
// a UTF-8 character cut between two blocks comes out as it does from one block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/in_process.h"

namespace tagsift::testing {
namespace {

std::string filtered(const char* format, const std::string& page, std::size_t blockSize) {
    return runInProcess({"-tag", "p", "-out", format}, page, blockSize).out;
}

TEST(BlockSplits, ConvertedBodies) {
    const std::string page =
        "<p>&CounterClockwiseContourIntegral;&#000000000000000000000000065;&#x1F600&notit;&amp"
        "x\xC3\xA9\xE2\x82&#128;&lt;</p><p>&am<b>p; &#x4<!-- -->1; \xF0\x9F\x98\x80&#xd800;</p>"
        "<p>\"\\\x01&NewLine;\r\n&";
    EXPECT_EQ(filtered("[%tH$_body$]", page, 1 << 18),
              "[\xE2\x88\xB3" "A\xF0\x9F\x98\x80\xC2\xAC" "it;&x\xC3\xA9\xE2\x82\xE2\x82\xAC<][&amp; 1; "
              "\xF0\x9F\x98\x80\xEF\xBF\xBD][\"\\\x01\n &");
    for (const char* format : {"[%tH$_body$]", "[%tJ$_body$]", "[%H$_body$]", "[%cJ$_body$]"}) {
        const std::string whole = filtered(format, page, 1 << 18);
        for (std::size_t size = 1; size <= 48; ++size)
            EXPECT_EQ(filtered(format, page, size), whole) << format << " in blocks of " << size;
    }
}

}  // namespace
}  // namespace tagsift::testing
