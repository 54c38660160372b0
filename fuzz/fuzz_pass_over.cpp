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

#include "driver/fatal.h"
#include "scanner/attributes.h"
#include "scanner/scanner.h"
#include "scanner/text.h"

namespace {

using tagsift::Scanner;

std::string scan(const std::string& page, const std::vector<std::string>& names, int region, std::size_t blockSize,
                 bool shortcut) {
    tagsift::Input in = tagsift::Input::fromText(page, blockSize);
    tagsift::Output out(-1);
    tagsift::BodyCapture body;
    Scanner scanner(in, out, body, [&] {
        if (!body.active) return;
        body.active = false;
        out.write("{closed}");
    });
    if (region) {
        body.active = true;
        body.echoTags = region == 3;
        body.echoComments = region != 1;
        body.endName = "p";
    }
    if (shortcut) scanner.passOverTagsOtherThan(names);
    std::string tags;
    tagsift::AttributeList attributes;
    try {
        while (scanner.nextTag()) {
            bool wanted = false;
            for (const std::string& n : names) wanted = wanted || tagsift::equalsIgnoringCase(n, scanner.tagName);
            if (!wanted) {
                if (scanner.echoingTags()) out.write(scanner.tagName);
                scanner.skipTagRest();
                continue;
            }
            tags += scanner.tagName + "@" + std::to_string(scanner.tagLine) + ":" +
                    std::to_string(scanner.tagColumn) + "[";
            tagsift::readAttributes(scanner, attributes);
            for (const tagsift::Attribute& a : attributes) tags += a.name + "=" + a.value + ";";
            attributes.clear();
            tags += "] ";
        }
    } catch (const tagsift::Fatal& f) {
        tags += "{" + f.text + "}";
    }
    tags += "@" + std::to_string(scanner.lineCount) + ":" + std::to_string(scanner.columnCount);
    out.flush();
    return tags + "#" + out.collected();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) return 0;
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    const unsigned choice = static_cast<unsigned char>(data[0]);
    const std::size_t blockSize = choice < 128 ? choice + 1u : std::size_t{1} << 16;
    const int region = data[1] & 3;
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
    const std::string expected = scan(page, names, region, std::size_t{1} << 16, false);
    Scanner::setWideCompares(wide);
    const std::string got = scan(page, names, region, blockSize, true);
    Scanner::setWideCompares(true);
    if (got != expected) {
        std::fprintf(stderr, "shortcut (blocks of %zu, %s compares) gives [%s], the ordinary way [%s]\n", blockSize,
                     wide ? "wide" : "narrow", got.c_str(), expected.c_str());
        std::abort();
    }
    return 0;
}
