// Scans a page the way the main loop does, with or without the scanner's
// shortcut past unwanted tags, and writes down everything that must not
// depend on it. Shared by the scanner tests and a fuzz target.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "tag/tag.h"
#include "scanner/scanner.h"
#include "base/text.h"

namespace tagsift::testing {

enum class Region { None, TextOnly, TextAndComments, Everything };

// The wanted tags as "name@line:column[attributes]", any fatal error, the place
// where scanning ended, then "#" and what the region (ending at "</p>") echoed.
// returned counts the tags nextTag gave back, wanted or not.
inline std::string scanPage(const std::string& page, const std::vector<std::string>& names, Region region,
                            std::size_t blockSize, bool shortcut, int* returned = nullptr) {
    Input in = Input::fromText(page, blockSize);
    Output out(-1);
    BodyCapture body;
    Scanner scanner(in, out, body, [&] {
        if (!body.active) return;
        body.active = false;
        out.write("{closed}");
    });
    if (region != Region::None) {
        body.active = true;
        body.echoTags = region == Region::Everything;
        body.echoComments = region != Region::TextOnly;
        body.endName = "p";
    }
    if (shortcut) scanner.passOverTagsOtherThan(names);
    std::string tags;
    AttributeList attributes;
    try {
        while (scanner.nextTag()) {
            if (returned) ++*returned;
            bool wanted = false;
            for (const std::string& n : names) wanted = wanted || equalsIgnoringCase(n, scanner.tagName);
            if (!wanted) {
                if (scanner.echoingTags()) out.write(scanner.tagName);
                scanner.skipTagRest();
                continue;
            }
            tags += scanner.tagName + "@" + std::to_string(scanner.tagLine) + ":" +
                    std::to_string(scanner.tagColumn) + "[";
            readAttributes(scanner, attributes);
            for (const Attribute& a : attributes) tags += a.name + "=" + a.value + ";";
            attributes.clear();
            tags += "] ";
        }
    } catch (const Fatal& f) {
        tags += "{" + f.text + "}";
    }
    tags += "@" + std::to_string(scanner.lineCount) + ":" + std::to_string(scanner.columnCount);
    out.flush();
    return tags + "#" + out.collected();
}

}  // namespace tagsift::testing
