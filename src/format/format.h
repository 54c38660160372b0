// Output formats: the text of an -out switch, compiled once into items, and
// printed for each tag a rule matches.
//
//   literal text        with backslash escapes (\n \t \x41 \101 ...)
//   $name$  $~name$     an attribute's value; with '~', inside its own quotes
//   $_name$ $_line$ $_pos$ $_num$ $_gnum$   system variables
//   $_file$ $_url$ $_date$                   the document: its name, and where and when a crawl took it
//   $_status$ $_type$ $_offset$ $_record$ $_truncated$   what its crawl record says of it
//   $_charset$          the document's encoding, by its standard name
//   $_tag$              the whole tag      $_body$  the element's content
//   %-20$href$          a printf-style conversion before any variable
//   %H$alt$ %U$href$ %J$title$ %UJ$href$   a text with its character references
//                       decoded, then resolved as a URL, escaped for a JSON string; text of
//                       the page (attribute values, $_tag$, $_name$, bodies) is first turned
//                       into UTF-8 from the document's encoding
//
// Compiling checks the format and reports a malformed one as a Fatal;
// rendering reads every value from the tag's context at that moment.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "encoding/encoding.h"
#include "format/conversion.h"
#include "io/output.h"
#include "tag/tag.h"
#include "values/values.h"

namespace tagsift {

enum class FormatKind { Literal, Number, Text, WholeTag, Attribute, Body };
enum class Variable { None, Name, Line, Pos, Num, Gnum, File, Url, Date, Status, Type, Offset, Record, Truncated,
                      Charset };

// What an open body region copies besides the text: %c$_body$ drops comments,
// %t$_body$ drops tags and comments.
enum class BodyMode { Everything, NoComments, TextOnly };

// What %H, %U, %J and %UJ do to a text before it is printed: decode its character
// references, then resolve it as a URL, then escape it for a JSON string. A body takes H or J
// after its mode letter, for the text it copies.
struct ValueSteps {
    bool decode = false;
    bool resolve = false;
    bool json = false;
};

struct FormatItem {
    FormatKind kind = FormatKind::Literal;
    std::string text;        // Literal: decoded text; Attribute: the name
    bool quoted = false;     // Attribute written $~name$
    Variable variable = Variable::None;  // Number and Text
    BodyMode bodyMode = BodyMode::Everything;
    ValueSteps steps;        // Text, WholeTag, Attribute, Body
    ConversionSpec spec;
    bool plain = false;      // an Attribute printed as it stands: no quotes, letters, width or precision
};

using Format = std::vector<FormatItem>;

Format compileFormat(std::string_view text);
// Every item is literal text or a plain attribute: the commonest formats, printed without a
// look at the tag's context.
bool plainFormat(std::span<const FormatItem> items);
// Where the one body of a format lies that is plain around it and copies text only, as it stands
// (%t$_body$: no H, no J); else npos.
std::size_t plainTextBody(std::span<const FormatItem> items);

// Prints formats, and holds the one body region that may be open: a format's
// $_body$ opens it, the caller (which owns the input) copies the element's
// content to the output while it is open, and closing it prints the rest of
// the format.
class Renderer {
public:
    explicit Renderer(Output& out) : out_(out) {}

    // Prints the items for a matched tag. When a body marker opens a region,
    // the rest of the items are held back, the region takes the tag's
    // attributes over (leaving an empty list in their place) and its mode is
    // returned.
    std::optional<BodyMode> render(const TagContext& tag, std::span<const FormatItem> items);
    // The same for a plain format (plainFormat), which reads nothing but the attributes.
    void renderPlain(const AttributeList& attributes, std::span<const FormatItem> items) {
        for (const FormatItem& item : items) {
            if (item.kind == FormatKind::Literal) {
                out_.write(item.text);
                continue;
            }
            const Attribute* a = attributes.find(item.text);
            out_.write(a && a->hasValue ? a->value : std::string_view("<undefined>"));
        }
    }
    // Prints the rest of the open region's format; now tells the name and
    // place of the tag that closes it.
    void closeRegion(const TagContext& now);
    bool regionOpen() const { return open_; }
    // Forgets the open region without printing its rest, as at the end of a document.
    void dropRegion() {
        open_ = false;
        attributes_.clear();
        rest_ = {};
    }
    std::string_view regionRule() const { return ruleName_; }
    // What the open region does to the text it copies.
    ValueSteps regionSteps() const { return openedSteps_; }

    // The encoding of the document's text from now on (UTF-8 until told otherwise).
    void useEncoding(Encoding encoding) { pageDecoder_.reset(encoding); }
    Encoding encoding() const { return pageDecoder_.encoding(); }
    // Appends text of the page as the value letters read it: in UTF-8, its references decoded;
    // for %J (json), a UTF-8 page's stray bytes marked first (StrayMarker).
    void appendPageText(std::string_view text, ReferencesIn where, std::string& out, bool json = false);

private:
    bool renderItems(const TagContext& tag, std::span<const FormatItem> items, bool mayOpenRegion);
    void printTag(const FormatItem& item, const TagContext& tag);
    void printAttribute(const FormatItem& item, const TagContext& tag);
    // fromPage: the value is text of the page, in its encoding, whose references the letters
    // decode (else it is data, UTF-8 already: an address, a file name, a crawl field).
    void printText(const FormatItem& item, std::string_view value, ReferencesIn where, bool fromPage,
                   const TagContext& tag);
    // Out of line: the plain value, the common case, goes past it.
    [[gnu::noinline]] std::string_view converted(const FormatItem& item, std::string_view value, ReferencesIn where,
                                                 bool fromPage, const TagContext& tag);

    Output& out_;
    // The open region: its rule, the items after the marker, the opening tag's attributes and counts.
    bool open_ = false;
    BodyMode openedMode_ = BodyMode::Everything;
    ValueSteps openedSteps_;
    std::string_view ruleName_;  // the rule's own name, which outlives the region
    std::span<const FormatItem> rest_;
    AttributeList attributes_;
    long long ruleCount_ = 0;
    long long globalCount_ = 0;
    std::string regionBase_, regionJsonBase_;  // what %U and %UJ resolved against at the opening tag
    // Room for a value on its way through its conversion.
    std::string wholeTag_, address_, marked_, decoded_, resolved_, escaped_, transcoded_;
    TextDecoder pageDecoder_;
};

}  // namespace tagsift
