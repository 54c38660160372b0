// The tagsift program: its switch table, its tag rules and its main loop.
//
// A Program owns the run-wide state: the rules (in command-line order), the
// global match count, the case setting for patterns and the renderer with
// its body region. parseCommandLine() reads the switches; filter() then reads
// a document. Fatal errors leave either as a Fatal exception, which runMain()
// turns into the message and the exit status.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "conditions/conditions.h"
#include "encoding/encoding.h"
#include "format/format.h"
#include "io/input.h"
#include "io/output.h"
#include "scanner/scanner.h"
#include "switches/switches.h"

namespace tagsift {

struct TagRule {
    std::string name;  // as written after -tag
    long long count = 0;
    bool hasCondition = false;
    ConditionList condition;
    Format format;
};

// Where the documents come from: without -- and --files-from, standard input is the one
// document ("-").
struct Documents {
    bool named = false;               // -- or --files-from was given
    std::vector<std::string> files;   // the words after --
    std::string listName;             // --files-from: a file of names, one a line ("-": standard input)
    bool warc = false;                // --warc: each file is a WARC file of many documents
};

// Carries what a body region with %tH or %tJ copies through that conversion to the output,
// turning the text into UTF-8 from the document's encoding first.
class ConvertedEcho final : public EchoFilter {
public:
    explicit ConvertedEcho(Output& out) : out_(out) {}
    // The filter for a region that opens with these steps; nullptr when they change nothing.
    EchoFilter* start(ValueSteps steps, Encoding encoding) {
        active_ = steps.decode;
        return active_ ? begin(steps.json, encoding) : nullptr;
    }
    void echo(std::string_view text) override;
    void breakText() override;
    // The region closes, or the document ends: what is held back comes out.
    void finish();

private:
    EchoFilter* begin(bool json, Encoding encoding);
    void transcode(std::string_view text);
    void endCharacter();
    void write();

    Output& out_;
    bool active_ = false;
    bool json_ = false;
    TextDecoder transcoder_;
    StreamingDecoder decoder_;
    JsonEscaper escaper_;
    std::string blanked_, transcoded_, decoded_, escaped_;
};

class Program {
public:
    explicit Program(Output& out) : out_(out), renderer_(out), convertedEcho_(out) {}

    // Reads the switches (words[0] is the program's name) and says where the documents are.
    Documents parseCommandLine(std::span<const std::string> words);
    // Filters one document to the output; info is what a crawl says of it.
    void filter(Input& input, std::string_view document = "-", const DocumentInfo& info = {});

private:
    std::vector<SwitchSpec> switchTable();
    int tagHandler(int count, std::span<const std::string> words);
    int outHandler(int count, std::span<const std::string> words);
    int ifHandler(int count, std::span<const std::string> words);
    int caseHandler(int count, std::span<const std::string> words);
    int filesFromHandler(int count, std::span<const std::string> words);
    int encodingHandler(int count, std::span<const std::string> words);
    // The encoding of the document about to be read, when some format needs it; else UTF-8.
    Encoding documentEncoding(Input& input, const DocumentInfo& info);

    // The rules named name (ignoring ASCII case), newest first; nullptr when there are none.
    const std::vector<TagRule*>* findRules(std::string_view name);
    void closeRegion(Scanner& scanner, const TagContext& document);

    Output& out_;
    Renderer renderer_;
    ConvertedEcho convertedEcho_;
    std::vector<std::unique_ptr<TagRule>> rules_;
    std::unordered_map<std::string, std::vector<TagRule*>> rulesByName_;
    // The same groups in a plain list, searched instead of the map while it is short.
    std::vector<std::pair<std::string, std::vector<TagRule*>>> ruleGroups_;
    std::string lookupKey_;
    long long globalCount_ = 0;
    bool ignoreCase_ = true;
    bool resolvesUrls_ = false;  // some format uses %U, which needs the document's <base href>
    bool needsEncoding_ = false;  // some format uses a value letter or $_charset$
    Encoding fallbackEncoding_;   // --encoding: for documents that name none
    std::vector<std::string> wantedNames_;  // the tags the scanner must not pass over
    Documents documents_;
};

// Runs tagsift with the given words on the given descriptors; returns the exit status.
int runMain(std::span<const std::string> words, int inFd = 0, int outFd = 1, int errFd = 2);

}  // namespace tagsift
