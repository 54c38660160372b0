// The scanner's shortcut past unwanted tags against the ordinary tag-by-tag
// way: the wanted tags, their places and attributes, what an open region
// echoes and any fatal error must be the same, whatever the block size and
// whichever compares classify the windows.
//
// Input: a byte choosing the block size, a byte choosing the region and the
// compares, wanted names one per line up to a zero byte, then the page.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/shortcut_scan.h"

using tagsift::Scanner;
using tagsift::testing::Region;
using tagsift::testing::scanPage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) return 0;
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const unsigned choice = static_cast<unsigned char>(data[0]);
    const std::size_t blockSize = choice < 128 ? choice + 1u : std::size_t{1} << 16;
    const auto region = static_cast<Region>(data[1] & 3);
    const bool wide = !(data[1] & 4);
    data.remove_prefix(2);
    const std::size_t namesEnd = data.find('\0');
    if (namesEnd == std::string_view::npos) return 0;
    std::vector<std::string> names;
    for (std::string_view list = data.substr(0, namesEnd); names.size() < 9;) {
        const std::size_t end = list.find('\n');
        names.emplace_back(list.substr(0, end));
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    const std::string page(data.substr(namesEnd + 1));

    Scanner::setWideCompares(true);
    const std::string expected = scanPage(page, names, region, std::size_t{1} << 16, false);
    Scanner::setWideCompares(wide);
    const std::string got = scanPage(page, names, region, blockSize, true);
    Scanner::setWideCompares(true);
    if (got != expected) {
        std::fprintf(stderr, "shortcut (blocks of %zu, %s compares) gives [%s], the ordinary way [%s]\n", blockSize,
                     wide ? "wide" : "narrow", got.c_str(), expected.c_str());
        std::abort();
    }
    return 0;
}
