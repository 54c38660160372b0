// Output formats: the text of an -out switch, compiled once into items.
//
//   literal text        with backslash escapes (\n \t \x41 \101 ...)
//   $name$  $~name$     an attribute's value; with '~', inside its own quotes
//   $_name$ $_line$ $_pos$ $_num$ $_gnum$   system variables
//   $_tag$              the whole tag      $_body$  the element's content
//   %-20$href$          a printf-style conversion before any variable
//
// System variables are bound to live storage at compile time, so every
// rendering prints the value of that moment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "format/conversion.h"

namespace tagsift {

enum class FormatKind { Literal = 0, Number = 1, Text = 2, WholeTag = 3, Attribute = 4, Body = 5 };

struct FormatItem {
    FormatKind kind = FormatKind::Literal;
    std::string text;                       // Literal: decoded text; Attribute: name as written
    const long long* number = nullptr;      // Number: the value it prints
    const std::string* textTarget = nullptr;  // Text: the text it prints
    std::string conversion;                 // '%', the user's spec, then the type letter
    ConversionSpec spec;                    // conversion, parsed
};

using Format = std::vector<FormatItem>;

// The live storage that system variables read.
struct FormatBindings {
    const std::string* tagName = nullptr;
    const long long* tagLine = nullptr;
    const long long* tagColumn = nullptr;
    const long long* globalCount = nullptr;
};

// ruleCount is the count of the rule that owns the format ($_num$).
Format compileFormat(std::string_view text, const long long* ruleCount, const FormatBindings& live);

// Decodes the escapes of one literal stretch in place; false on a bad escape.
// A zero byte produced by an escape ends the text.
bool decodeEscapes(std::string& text);

}  // namespace tagsift
