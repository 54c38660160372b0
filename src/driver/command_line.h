// The command line: the switch table, the rules it compiles, and the settings of the run.
//
// Everything here is built once, before any document is read, and only read
// from then on: every worker of a run shares one RuleSet.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "conditions/conditions.h"
#include "encoding/encoding.h"
#include "format/format.h"
#include "scanner/region.h"

namespace tagsift {

struct TagRule {
    std::string name;   // as written after -tag
    std::size_t index;  // its place on the command line, which counts its matches in a document
    ConditionList condition;  // empty: every tag of the name
    Format format;
    bool opensRegion = false;  // the format prints a body
    bool plain = false;        // plainFormat(format)
    // The format is plain around one body of text only, as it stands (%t$_body$): the place of
    // that body, else npos.
    std::size_t plainTextBody = std::string::npos;
    bool endTagWanted = false;  // some rule is named '/' and this one's name
    region::TagBytes endTag;    // "</name"
    region::TagBytes cellTag;   // "<name>"
    // Such a format with nothing but literal text around its body (%t$_body$\n): that text.
    bool literalAroundBody = false;
    std::string beforeBody, afterBody;
};

class RuleSet {
public:
    // The rules named name (ASCII case ignored), newest first; nullptr when there are none.
    const std::vector<const TagRule*>* find(std::string_view name) const {
        // Asked for every tag the scanner hands over: a short list is searched in line.
        if (groups_.empty()) return findInMap(name);
        for (const Group& group : groups_)
            if (equalsIgnoringCase(group.name, name)) return group.rules;
        return nullptr;
    }
    std::size_t size() const { return rules_.size(); }
    // The tag names the scanner must not pass over unread.
    std::span<const std::string> wantedNames() const { return wantedNames_; }
    // Some format uses %U, which needs each document's first <base href>.
    bool resolvesUrls() const { return resolvesUrls_; }
    // Some format prints a tag's place ($_line$, $_pos$): without one, no line need be counted.
    bool printsPlaces() const { return printsPlaces_; }
    // Some format reads the page's text as characters (a value letter, or $_charset$), which
    // needs each document's encoding.
    bool needsEncoding() const { return needsEncoding_; }
    // Some rule's tags can be read and printed where the scanner finds them: its format prints
    // no body, or one of text only (a short one, read whole, is printed there too).
    bool takesTagsInPlace() const { return takesTagsInPlace_; }

private:
    friend class CommandLineReader;
    struct CaseBlindHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const;
    };
    struct CaseBlindEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    const std::vector<const TagRule*>* findInMap(std::string_view name) const;
    // Indexes the rules, once they are all read.
    void index();

    std::vector<std::unique_ptr<TagRule>> rules_;  // in command-line order
    std::unordered_map<std::string, std::vector<const TagRule*>, CaseBlindHash, CaseBlindEqual> byName_;
    // The same groups in a plain list of views of the map's own, searched instead of the map
    // while it is short.
    struct Group {
        std::string_view name;
        const std::vector<const TagRule*>* rules;
    };
    std::vector<Group> groups_;
    std::vector<std::string> wantedNames_;
    bool resolvesUrls_ = false;
    bool needsEncoding_ = false;
    bool printsPlaces_ = false;
    bool takesTagsInPlace_ = false;
};

// Where the documents come from, and how they are read.
struct Settings {
    bool named = false;              // -- or --files-from was given: a run over many documents
    std::vector<std::string> files;  // the words after --
    // --files-from: files of names, one a line ("-": standard input), read one after another.
    std::vector<std::string> listNames;
    bool warc = false;               // --warc: each file is a WARC file of many documents
    unsigned jobs = 0;               // --jobs: documents filtered at once; 0 for one a processor
    bool choosesDocuments = false;   // --doc-if was given
    ConditionList documentCondition; // --doc-if: on the fields of DocumentFields
    Encoding fallbackEncoding;       // --encoding: for the documents that declare none
    bool stats = false;              // --stats: counts on standard error at the end
    bool progress = false;           // --progress: a line on a terminal's standard error
};

// The fields --doc-if tests, in the words it knows them by.
inline constexpr std::string_view kDocumentFields[] = {"url", "status", "type", "date",
                                                       "file", "record", "offset", "truncated"};

struct CommandLine {
    RuleSet rules;
    Settings settings;
    // --help and --version: this text goes to standard output instead of a run.
    std::string answer;
};

// Opens a list that --files-from names ("-" is inFd, standard input), or throws the error that
// ends the run before any document is read: one that cannot be opened, or a directory.
int openFileList(const std::string& name, int inFd);

// Reads the words (words[0] is the program's name). Throws a Fatal for a command line that
// cannot run.
CommandLine readCommandLine(std::span<const std::string> words);

}  // namespace tagsift
