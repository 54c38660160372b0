// The one body region that may be open while the input is scanned.
//
// A format's $_body$ opens it; the scanner copies the element's content to
// standard output while it is open (text always, other tags and comments as
// the two echo flags allow); the element's end tag or the next match closes
// it, and closing prints the rest of the format.
#pragma once

#include <span>
#include <string>

#include "format/format.h"
#include "scanner/attributes.h"

namespace tagsift {

struct BodyCapture {
    bool active = false;
    bool echoTags = false;
    bool echoComments = false;
    std::string endName;                 // the rule name whose end tag closes the region
    std::span<const FormatItem> rest;    // the items after the body marker
    AttributeList attributes;            // the opening tag's attributes, owned while open
};

}  // namespace tagsift
