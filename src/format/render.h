// Printing compiled formats for matching tags, and the body region.
#pragma once

#include <span>
#include <string_view>

#include "format/body.h"
#include "format/format.h"
#include "format/output.h"
#include "scanner/attributes.h"

namespace tagsift {

class Renderer {
public:
    Renderer(Output& out, BodyCapture& body) : out_(out), body_(body) {}

    // Prints the items for a tag that the rule named name matched. A body
    // marker opens the body region, which then takes over the attributes
    // (swapping its own, empty list into attributes) and holds the rest of
    // the items back until it closes.
    void renderFormat(std::string_view name, std::span<const FormatItem> items,
                      AttributeList& attributes);
    // The whole tag: "<name", " attr=\"value\"" for each attribute, ">".
    void printTag(std::string_view name, const AttributeList& attributes);
    // Closes the open region, if any: prints the rest and releases its attributes.
    void flushBody() {
        if (body_.active) closeBody();
    }

private:
    void closeBody();
    void renderItems(std::string_view name, std::span<const FormatItem> items,
                     AttributeList& attributes, bool mayOpenRegion);
    void printAttribute(const FormatItem& item, const AttributeList& attributes);

    Output& out_;
    BodyCapture& body_;
};

}  // namespace tagsift
