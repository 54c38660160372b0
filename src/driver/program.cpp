#include "driver/program.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

#include "warc/warc.h"

#include "base/fatal.h"
#include "base/text.h"

namespace tagsift {

namespace {

constexpr const char* kConditionWords = "or OR and AND i i- i+ I I- I+";

std::string helpText() {
    return std::string(kBanner) +
           "\nUssage: tagsift -tag tagname -if condition -out 'format'\n"
           "  condition : argname | !argname | argname=regexp | ... : see tagsift.txt\n"
           "\n"
           "tagsift RULES                    filter standard input\n"
           "tagsift RULES -- FILE...         filter each file as a document of its own ('-': standard input)\n"
           "tagsift RULES --files-from LIST  the same for the files named in LIST, one a line\n"
           "\n"
           "Rules:\n"
           "  -tag NAME (-t)     select the tags of that name (letter case ignored)\n"
           "  -if CONDITION...   (-a, -arg) only those whose attributes meet the condition:\n"
           "                     name  !name  name=regexp  name!=regexp  name==n  name<>n\n"
           "                     name<n  name>n  name<=n  name>=n  -and  -or  [ ... ]  ![ ... ]\n"
           "  -out FORMAT (-o)   print this for each selected tag\n"
           "  -i+  -i-           patterns ignore / respect letter case (-i+ is the default)\n"
           "  --f FILE           read more switches from FILE\n"
           "\n"
           "Formats: text with \\n \\t \\xHH escapes, and\n"
           "  $attr$  $~attr$    an attribute's value, bare / in its own quotes\n"
           "  $_name$ $_line$ $_pos$ $_num$ $_gnum$ $_file$\n"
           "                     tag name, line, column, count of the rule, count of all rules, document\n"
           "  $_tag$  $_body$    the whole tag, the element's content (%c: no comments, %t: text only)\n"
           "  %-20$href$         a printf-style conversion before any variable\n"
           "  %H  %U  %J  %UJ    decode character references; and resolve as a URL; and escape for JSON\n"
           "\n"
           "  --help  --version  this text, the version\n"
           "The reference: tagsift.txt, and man tagsift.\n";
}

// The base that a <base> tag's href gives, resolved against the document's address; false
// (and base left as it was) without an href.
bool baseOf(const AttributeList& attributes, std::string_view url, Renderer& renderer, std::string& base) {
    const Attribute* href = attributes.find("href");
    if (!href) return false;
    base.clear();
    renderer.appendPageText(href->value, ReferencesIn::Attribute, base);
    if (!url.empty()) base = resolveUrl(url, base);
    return true;
}

}  // namespace

EchoFilter* ConvertedEcho::begin(bool json, Encoding encoding) {
    json_ = json;
    // UTF-8 holds nothing from one region to the next: only other encodings start over.
    if (!encoding.isUtf8() || !transcoder_.encoding().isUtf8()) transcoder_.reset(encoding);
    decoder_ = {};
    escaper_ = {};
    return this;
}

void ConvertedEcho::echo(std::string_view text) {
    if (!transcoder_.encoding().isUtf8()) {
        transcode(text);
        return;
    }
    blanked_.assign(text);
    std::replace(blanked_.begin(), blanked_.end(), '\n', ' ');
    decoder_.feed(blanked_, decoded_);
    write();
}

void ConvertedEcho::transcode(std::string_view text) {
    // A line feed is a line feed in every encoding a byte scanner can read.
    blanked_.clear();
    transcoder_.feed(text, blanked_);
    std::replace(blanked_.begin(), blanked_.end(), '\n', ' ');
    decoder_.feed(blanked_, decoded_);
    write();
}

void ConvertedEcho::breakText() {
    if (!transcoder_.encoding().isUtf8()) endCharacter();
    decoder_.finish(decoded_);
    write();
}

void ConvertedEcho::finish() {
    if (!active_) return;
    if (!transcoder_.encoding().isUtf8()) endCharacter();
    decoder_.finish(decoded_);
    if (json_) escaper_.finish(escaped_);
    write();
    active_ = false;
}

void ConvertedEcho::endCharacter() {
    // A character begun before a tag does not go on after it.
    transcoded_.clear();
    transcoder_.finish(transcoded_);
    decoder_.feed(transcoded_, decoded_);
}

void ConvertedEcho::write() {
    if (json_) {
        escaper_.feed(decoded_, escaped_);
        out_.write(escaped_);
        escaped_.clear();
    } else {
        out_.write(decoded_);
    }
    decoded_.clear();
}

std::vector<SwitchSpec> Program::switchTable() {
    auto bind = [this](int (Program::*handler)(int, std::span<const std::string>)) {
        return [this, handler](int count, std::span<const std::string> words) {
            return (this->*handler)(count, words);
        };
    };
    using enum SwitchKind;
    const auto upTo = CountRule::UpToNextSwitch;
    const auto listed = CountRule::WhileListed;
    return {
        {"n", Name, 0, upTo, "", [](int, std::span<const std::string>) { return 0; }},
        {"tag", NameWithWords, 1, upTo, "", bind(&Program::tagHandler)},
        {"t", NameWithWords, 1, upTo, "", bind(&Program::tagHandler)},
        {"out", NameWithWords, 1, upTo, "", bind(&Program::outHandler)},
        {"o", NameWithWords, 1, upTo, "", bind(&Program::outHandler)},
        {"arg", NameWithWords, 100, listed, kConditionWords, bind(&Program::ifHandler)},
        {"a", NameWithWords, 100, listed, kConditionWords, bind(&Program::ifHandler)},
        {"if", NameWithWords, 100, listed, kConditionWords, bind(&Program::ifHandler)},
        {"i", LetterWithText, 0, upTo, "", bind(&Program::caseHandler)},
        {"I", LetterWithText, 0, upTo, "", bind(&Program::caseHandler)},
        {"-warc", Name, 0, upTo, "", [this](int, std::span<const std::string>) { return documents_.warc = true, 0; }},
        {"-files-from", NameWithWords, 1, CountRule::All, "", bind(&Program::filesFromHandler)},
        {"-encoding", NameWithWords, 1, CountRule::All, "", bind(&Program::encodingHandler)},
        {"-help", Name, 0, upTo, "", [](int, std::span<const std::string>) -> int { throw fatal::answer(helpText()); }},
        {"-version", Name, 0, upTo, "",
         [](int, std::span<const std::string>) -> int { throw fatal::answer("tagsift " TAGSIFT_VERSION "\n"); }},
    };
}

int Program::tagHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noTagName();
    auto rule = std::make_unique<TagRule>();
    rule->name = words[0];
    rules_.push_back(std::move(rule));
    return count;
}

int Program::outHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noFormat();
    if (count > 1) throw fatal::outTakesOneWord();
    if (rules_.empty()) throw fatal::outBeforeTag();
    TagRule& rule = *rules_.back();
    rule.format = compileFormat(words[0]);
    return count;
}

int Program::ifHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noConditionWords();
    ConditionList condition = parseConditions(words.first(static_cast<std::size_t>(count)), ignoreCase_);
    if (rules_.empty()) throw fatal::ifBeforeTag();
    rules_.back()->condition = std::move(condition);
    rules_.back()->hasCondition = true;
    return count;
}

int Program::caseHandler(int count, std::span<const std::string> words) {
    ignoreCase_ = count == 0 || words[0] == "+";
    return count;
}

int Program::filesFromHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noFileListName();
    documents_.listName = words[0];
    documents_.named = true;
    return 1;
}

int Program::encodingHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noEncodingLabel();
    const std::optional<Encoding> named = Encoding::forLabel(words[0]);
    if (!named) throw fatal::unknownEncoding(words[0]);
    fallbackEncoding_ = *named;
    return 1;
}

Encoding Program::documentEncoding(Input& input, const DocumentInfo& info) {
    // Only a format that reads the page's text as characters needs to know their encoding.
    if (!needsEncoding_) return Encoding();
    return sniffEncoding(input.start(kPrescanBytes), info.charset, fallbackEncoding_);
}

Documents Program::parseCommandLine(std::span<const std::string> words) {
    // The words after the first "--" name the documents, and are never switches.
    auto separator = std::find(words.begin() + std::min<std::size_t>(words.size(), 1), words.end(), "--");
    const std::span<const std::string> switchWords(words.begin(), separator);
    if (separator != words.end()) {
        documents_.named = true;
        documents_.files.assign(separator + 1, words.end());
    }
    if (switchWords.size() <= 1) throw fatal::usage();
    std::vector<SwitchSpec> table = switchTable();
    SwitchParser parser;
    parser.switchPrefixes = "-";
    parser.onPlainArgument = [](const std::string&) { throw fatal::usage(); };
    parser.onUnknownSwitch = [](const std::string& name) { throw fatal::unknownSwitch(name); };
    parser.parseSwitches(expandResponseFiles(switchWords), table);

    // Newest first within each name, so the last -tag of a name is tried first.
    for (auto it = rules_.rbegin(); it != rules_.rend(); ++it)
        rulesByName_[lowerCased((*it)->name)].push_back(it->get());
    if (rulesByName_.size() <= 8) ruleGroups_.assign(rulesByName_.begin(), rulesByName_.end());
    for (const auto& rule : rules_)
        for (const FormatItem& item : rule->format) {
            resolvesUrls_ = resolvesUrls_ || item.steps.resolve;
            needsEncoding_ = needsEncoding_ || item.steps.decode || item.variable == Variable::Charset;
        }
    // A tag without a rule, outside a body region, is only skipped: the scanner can do that alone.
    // %U resolves against a document's first <base href>: only then are base tags looked at.
    for (const auto& rule : rules_) wantedNames_.push_back(rule->name);
    if (resolvesUrls_) wantedNames_.emplace_back("base");
    // Without --, or with nothing after it and no list, standard input is the one document.
    if (documents_.files.empty() && documents_.listName.empty()) documents_.files.assign(1, "-");
    return documents_;
}

const std::vector<TagRule*>* Program::findRules(std::string_view name) {
    if (!ruleGroups_.empty()) {
        for (const auto& [key, rules] : ruleGroups_)
            if (equalsIgnoringCase(key, name)) return &rules;
        return nullptr;
    }
    lookupKey_.assign(name);
    for (char& c : lookupKey_) c = asciiLower(c);
    auto found = rulesByName_.find(lookupKey_);
    return found == rulesByName_.end() ? nullptr : &found->second;
}

void Program::closeRegion(Scanner& scanner, const TagContext& document) {
    scanner.closeRegion();
    convertedEcho_.finish();
    TagContext now = document;
    now.tagName = scanner.tagName();
    now.line = scanner.tagLine();
    now.column = scanner.tagColumn();
    renderer_.closeRegion(now);
}

void Program::filter(Input& input, std::string_view document, const DocumentInfo& info) {
    // Each document is read as if it were the only one: counts start again, and a region left
    // open by the document before is dropped unfinished.
    for (const auto& rule : rules_) rule->count = 0;
    globalCount_ = 0;
    renderer_.dropRegion();
    const Encoding encoding = documentEncoding(input, info);
    renderer_.useEncoding(encoding);
    Scanner scanner(input, out_);
    scanner.passOverTagsOtherThan(wantedNames_);
    bool lookingForBase = resolvesUrls_;
    AttributeList attributes;
    TagContext tag;
    tag.document = document;
    tag.url = info.url;
    tag.date = info.date;
    tag.status = info.status;
    tag.type = info.type;
    const std::string offset = info.offset < 0 ? std::string() : std::to_string(info.offset);
    tag.offset = offset;
    tag.record = info.record;
    tag.truncated = info.truncated;
    tag.charset = encoding.name();
    tag.attributes = &attributes;
    std::string base, nextBase;
    for (Scanner::Found found; (found = scanner.nextTag()) != Scanner::Found::End;) {
        if (found == Scanner::Found::RegionEnd) closeRegion(scanner, tag);
        const std::vector<TagRule*>* rules = findRules(scanner.tagName());
        if (!rules) {
            if (lookingForBase && equalsIgnoringCase(scanner.tagName(), "base")) {
                scanner.skipTagReading(attributes);  // its href, with the echo of any tag without rules
                if (baseOf(attributes, tag.url, renderer_, base)) {
                    tag.base = base;
                    lookingForBase = false;
                }
                attributes.clear();
            } else {
                scanner.skipTag();
            }
            continue;
        }
        scanner.readAttributes(attributes);
        // A base tag's own rules still see the base from before it.
        const bool newBase = lookingForBase && equalsIgnoringCase(scanner.tagName(), "base") &&
                             baseOf(attributes, tag.url, renderer_, nextBase);
        for (TagRule* rule : *rules) {
            if (rule->hasCondition && !checkArgs(rule->condition, attributes)) continue;
            if (renderer_.regionOpen()) closeRegion(scanner, tag);
            ++rule->count;
            ++globalCount_;
            tag.ruleName = rule->name;
            tag.tagName = scanner.tagName();
            tag.line = scanner.tagLine();
            tag.column = scanner.tagColumn();
            tag.ruleCount = rule->count;
            tag.globalCount = globalCount_;
            if (std::optional<BodyMode> mode = renderer_.render(tag, rule->format))
                scanner.openRegion(rule->name, *mode != BodyMode::TextOnly, *mode == BodyMode::Everything,
                                   convertedEcho_.start(renderer_.regionSteps(), encoding));
            break;
        }
        // A region opened just now took the attributes and left an empty list here.
        attributes.clear();
        if (newBase) {
            base.swap(nextBase);
            tag.base = base;
            lookingForBase = false;
        }
    }
    // A region left open at the end still prints what its conversion held back.
    convertedEcho_.finish();
}

namespace {

// The names of the documents: the words after --, then the lines of the --files-from list,
// read as they are needed.
class DocumentNames {
public:
    DocumentNames(const Documents& documents, int inFd) : files_(documents.files), listName_(documents.listName) {
        if (listName_.empty()) return;
        int fd = inFd;
        if (listName_ != "-") {
            fd = ::open(listName_.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) throw fatal::fileListError(listName_, std::strerror(errno));
        }
        list_.emplace(fd, std::size_t{1} << 16, "the file list \"" + listName_ + "\"", fd != inFd);
    }

    bool next(std::string& name) {
        if (nextFile_ < files_.size()) {
            name = files_[nextFile_++];
            return true;
        }
        while (list_) {
            // A read error of the list ends the run: what it would have named is unknown.
            const char* lf = at_ == end_ ? nullptr : static_cast<const char*>(std::memchr(at_, '\n', static_cast<std::size_t>(end_ - at_)));
            if (lf) {
                name.append(at_, lf);
                at_ = lf + 1;
            } else if (at_ != end_) {
                name.append(at_, end_);
                at_ = end_;
                continue;
            } else if (list_->refill()) {
                at_ = list_->begin();
                end_ = list_->end();
                continue;
            } else {
                list_.reset();
            }
            if (!name.empty()) return true;  // blank lines name nothing
        }
        return false;
    }

private:
    const std::vector<std::string>& files_;
    std::size_t nextFile_ = 0;
    std::string listName_;
    std::optional<Input> list_;
    const char* at_ = nullptr;
    const char* end_ = nullptr;
};

}  // namespace

int runMain(std::span<const std::string> words, int inFd, int outFd, int errFd) {
    Output out(outFd);
    // Writes the message of f after what standard output holds; false when that output cannot
    // be written any more, which ends the run.
    int status = 0;
    auto report = [&](const Fatal& f) {
        status = std::max(status, f.status);
        // What the run printed before the error stays in front of a message on standard output.
        try {
            if (f.stream == Fatal::Stream::Out) out.write(f.text);
            out.flush();
        } catch (const QuietExit&) {
            status = 1;
            return false;
        } catch (const Fatal& failed) {
            writeAll(errFd, std::string(kBanner) + failed.text);
            status = 1;
            return false;
        }
        if (f.stream == Fatal::Stream::Err) {
            if (f.banner) writeAll(errFd, std::string(kBanner) + f.text);
            else writeAll(errFd, f.text);
        }
        return true;
    };
    long long undecodable = 0;
    try {
        Program program(out);
        const Documents documents = program.parseCommandLine(words);
        DocumentNames names(documents, inFd);
        for (std::string name; names.next(name); name.clear()) {
            std::optional<Input> input;
            try {
                const std::string what = name == "-" ? "standard input" : "\"" + name + "\"";
                std::unique_ptr<ByteSource> file;
                if (name == "-") {
                    file = std::make_unique<FdSource>(inFd, what, false);
                } else {
                    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
                    if (fd < 0) throw fatal::readError(what, std::strerror(errno));
                    file = std::make_unique<FdSource>(fd, what, true);
                }
                if (!documents.warc) {
                    input.emplace(std::move(file));
                    program.filter(*input, name);
                    continue;
                }
                input.emplace(std::make_unique<WarcSource>(std::move(file), name));
            } catch (const Fatal& f) {
                if (!f.endsDocument) throw;
                if (!report(f)) return status;
                continue;
            }
            // A crawl file: one document for each captured page, and the problems of the file in
            // between, where they were found.
            for (DocumentInfo info;;) {
                bool more = false;
                try {
                    more = input->nextDocument(info);
                } catch (const Fatal& f) {
                    if (!f.endsDocument) throw;
                    if (!report(f)) return status;
                    break;
                }
                for (const std::string& problem : info.problems)
                    if (!report(fatal::withBanner(problem))) return status;
                undecodable += info.undecodable;
                if (!more) break;
                try {
                    program.filter(*input, name, info);
                } catch (const Fatal& f) {
                    if (!f.endsDocument) throw;
                    if (!report(f)) return status;
                    if (input->failed()) break;
                }
            }
        }
        if (undecodable > 0 && !report(fatal::undecodable(undecodable))) return status;
        out.flush();
        return status;
    } catch (const Fatal& f) {
        report(f);
        return status;
    } catch (const QuietExit& q) {
        return q.status;
    } catch (const std::bad_alloc&) {
        report(fatal::onStderr("Lack of memory."));
        return status;
    }
}

}  // namespace tagsift
