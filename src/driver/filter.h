// One document's filter: the main loop over its tags.
//
// The state of one document belongs to its DocumentFilter alone: the rules'
// counts, the renderer with its open body region, the conversion of a region
// that decodes, the attributes of the tag at hand and the document's base. A
// worker keeps one filter and reuses it for each document it reads (the
// storage stays, the counts start again); the rules are shared, read-only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "driver/command_line.h"
#include "base/text.h"
#include "format/format.h"
#include "io/input.h"
#include "io/output.h"
#include "scanner/region.h"
#include "scanner/scanner.h"
#include "tag/tag.h"
#include "values/values.h"

namespace tagsift {

// Carries what a body region with %tH or %tJ (or %H, %J with tags) copies through that conversion
// to the output, turning it into UTF-8 from the document's encoding first; references are
// decoded in the text only, tags and comments are copied as they stand.
class ConvertedEcho final : public EchoFilter {
public:
    explicit ConvertedEcho(Output& out) : out_(out) {}
    // The filter for a region that opens with these steps; nullptr when they change nothing.
    EchoFilter* start(ValueSteps steps, Encoding encoding) {
        active_ = steps.decode;
        return active_ ? begin(steps.json, encoding) : nullptr;
    }
    void echo(std::string_view text) override;
    void echoMarkup(std::string_view markup) override;
    void breakText() override;
    // The region closes, or the document ends: what is held back comes out.
    void finish();

private:
    EchoFilter* begin(bool json, Encoding encoding);
    // text in UTF-8, its line feeds blanked.
    const std::string& blanked(std::string_view text);
    void endCharacter();
    void write();

    Output& out_;
    bool active_ = false;
    bool json_ = false;
    TextDecoder transcoder_;
    StreamingDecoder decoder_;
    JsonEscaper escaper_;
    bool markStrays_ = false;
    StrayMarker marker_;
    std::string blanked_, transcoded_, decoded_, escaped_;
};

class DocumentFilter {
public:
    DocumentFilter(const CommandLine& line, Output& out);

    // Filters one document from input to the output: name is its $_file$, info what a crawl
    // says of it. Returns the problem that ended it early, if one did; what it printed before
    // stays printed. Failures that end the run (writing, memory) leave as exceptions.
    std::optional<DocumentError> filter(Input& input, std::string_view name, const DocumentInfo& info = {});
    // The document filtered last ended inside an element whose body a format prints.
    bool endedInRegion() const { return renderer_.regionOpen(); }

private:
    void run(Input& input);
    void closeRegion(Scanner& scanner);
    // A tag read where the pass-over finds it, with its body when that is text only and whole
    // in the block.
    friend struct TagTaker;
    TagTaker::Resume take(std::string_view name, const char* nameEnd, const char* end);
    // A body of text only, read whole from after its tag, and the bodies of the tags of its name
    // right after it.
    TagTaker::Resume takeBodies(const std::vector<const TagRule*>& rules, const TagRule* rule, std::string_view name,
                                const char* after, const char* end);
    // The first of rules whose condition the tag's attributes meet, or nullptr.
    const TagRule* firstMatch(const std::vector<const TagRule*>& rules) const;
    // The tag matched rule: its format prints. A body it opens: the region's mode.
    std::optional<BodyMode> print(const TagRule& rule, std::string_view name, long long line, long long column);
    // A tag of this name may hold the document's first <base href>, still looked for.
    bool isBaseLookedFor(std::string_view name) const { return lookingForBase_ && equalsIgnoringCase(name, "base"); }
    // A <base href>, resolved: as every format reads it, and as %UJ does (its stray bytes marked
    // before its references are decoded, as in any value that %J reads).
    struct PageBase {
        std::string plain, json;
    };
    // The <base> tag at hand: its href, in base; false without one.
    bool baseOf(const AttributeList& attributes, PageBase& base);
    void useBase(PageBase& base) {
        tag_.base = base.plain;
        tag_.jsonBase = base.json;
    }

    const RuleSet& rules_;
    const Settings& settings_;
    Output& out_;
    Renderer renderer_;
    ConvertedEcho convertedEcho_;
    std::vector<long long> counts_;  // $_num$ of each rule
    long long globalCount_ = 0;
    AttributeList attributes_;
    TagContext tag_{};  // the document's part, and the tag at hand
    Encoding encoding_;  // the document's
    std::string offset_;
    PageBase base_, nextBase_;
    bool lookingForBase_ = false;  // for the first <base href>, which %U resolves against
    TextOnlyRegion body_;  // a body read whole where the pass found its tag
};

}  // namespace tagsift
