#include "driver/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fatal.h"
#include "base/text.h"
#include "switches/switches.h"

namespace tagsift {

namespace {

constexpr const char* kConditionWords = "or OR and AND i i- i+ I I- I+";
constexpr unsigned kMostJobs = 1024;

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
           "  -i+  -i-           patterns ignore / respect letter case (-i+ is the default;\n"
           "                     -I+ -I- the same; -i, -I or any other -i... respect it)\n"
           "  -n                 read the input, print nothing\n"
           "  --f FILE           read more switches from FILE\n"
           "\n"
           "Documents:\n"
           "  --warc             every input is a WARC file: each captured HTML page a document\n"
           "  --doc-if CONDITION...  only the documents whose fields meet the condition: url status\n"
           "                     type date file record offset truncated\n"
           "  --jobs N           filter N documents at once (default: one a processor)\n"
           "  --stats            counts of what was read, on standard error at the end\n"
           "  --progress         a line of progress on standard error, when it is a terminal\n"
           "  --encoding LABEL   the encoding of the pages that declare none (default UTF-8)\n"
           "\n"
           "Formats: text with \\n \\t \\xHH escapes, and\n"
           "  $attr$  $~attr$    an attribute's value, bare / in its own quotes\n"
           "  $_name$ $_line$ $_pos$ $_num$ $_gnum$\n"
           "                     tag name, line, column, count of the rule, count of all rules\n"
           "  $_tag$  $_body$    the whole tag, the element's content (%c: no comments, %t: text only)\n"
           "  $_file$ $_url$ $_date$ $_status$ $_type$ $_offset$ $_record$ $_truncated$\n"
           "                     the document: its file, and what its crawl record says\n"
           "  $_charset$         the encoding its text is read in\n"
           "  %-20$href$         a printf-style conversion before any variable\n"
           "  %H  %U  %J  %UJ    decode character references; and resolve as a URL; and escape for JSON\n"
           "\n"
           "  --help  --version  this text, the version\n"
           "The reference: tagsift.txt, and man tagsift.\n";
}


}  // namespace

std::size_t RuleSet::CaseBlindHash::operator()(std::string_view s) const {
    std::size_t h = 14695981039346656037ull;
    for (char c : s) h = (h ^ static_cast<unsigned char>(asciiLower(c))) * 1099511628211ull;
    return h;
}

bool RuleSet::CaseBlindEqual::operator()(std::string_view a, std::string_view b) const {
    return equalsIgnoringCase(a, b);
}

const std::vector<const TagRule*>* RuleSet::findInMap(std::string_view name) const {
    auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : &found->second;
}

void RuleSet::index() {
    // Newest first within each name, so the last -tag of a name is tried first.
    for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) byName_[(*it)->name].push_back(it->get());
    if (byName_.size() <= 8)
        for (const auto& [name, rules] : byName_) groups_.push_back({name, &rules});
    for (const auto& rule : rules_) {
        rule->plain = plainFormat(rule->format);
        rule->plainTextBody = plainTextBody(rule->format);
        rule->endTagWanted = byName_.contains("/" + rule->name);
        if (rule->plainTextBody != std::string::npos) {
            rule->endTag = region::TagBytes("</" + rule->name);
            rule->cellTag = region::TagBytes("<" + rule->name + ">");
            rule->literalAroundBody = true;
            for (std::size_t i = 0; i != rule->format.size(); ++i) {
                if (i == rule->plainTextBody) continue;
                const FormatItem& item = rule->format[i];
                rule->literalAroundBody = rule->literalAroundBody && item.kind == FormatKind::Literal;
                (i < rule->plainTextBody ? rule->beforeBody : rule->afterBody) += item.text;
            }
            // Otherwise they hold attribute names, which are no text to print.
            if (!rule->literalAroundBody) {
                rule->beforeBody.clear();
                rule->afterBody.clear();
            }
        }
        for (const FormatItem& item : rule->format) {
            resolvesUrls_ = resolvesUrls_ || item.steps.resolve;
            needsEncoding_ = needsEncoding_ || item.steps.decode || item.variable == Variable::Charset;
            printsPlaces_ = printsPlaces_ || item.variable == Variable::Line || item.variable == Variable::Pos;
            rule->opensRegion = rule->opensRegion || item.kind == FormatKind::Body;
        }
        takesTagsInPlace_ = takesTagsInPlace_ || !rule->opensRegion || rule->plainTextBody != std::string::npos;
    }
    // A tag without a rule, outside a body region, is only skipped: the scanner can do that alone.
    // %U resolves against a document's first <base href>: only then are base tags looked at.
    for (const auto& rule : rules_) wantedNames_.push_back(rule->name);
    if (resolvesUrls_) wantedNames_.emplace_back("base");
}

// The handlers of the switch table, building one CommandLine.
class CommandLineReader {
public:
    CommandLine read(std::span<const std::string> words);

private:
    std::vector<SwitchSpec> switchTable();
    int tagHandler(int count, std::span<const std::string> words);
    int outHandler(int count, std::span<const std::string> words);
    int ifHandler(int count, std::span<const std::string> words);
    int caseHandler(int count, std::span<const std::string> words);
    int filesFromHandler(int count, std::span<const std::string> words);
    int jobsHandler(int count, std::span<const std::string> words);
    int docIfHandler(int count, std::span<const std::string> words);
    int encodingHandler(int count, std::span<const std::string> words);
    int answer(std::string text) {
        line_.answer = std::move(text);
        return SwitchParser::kEnough;
    }

    CommandLine line_;
    std::vector<std::unique_ptr<TagRule>>& rules_ = line_.rules.rules_;
    bool ignoreCase_ = true;
};

std::vector<SwitchSpec> CommandLineReader::switchTable() {
    auto bind = [this](int (CommandLineReader::*handler)(int, std::span<const std::string>)) {
        return [this, handler](int count, std::span<const std::string> words) { return (this->*handler)(count, words); };
    };
    using enum SwitchKind;
    const auto upTo = CountRule::UpToNextSwitch;
    const auto listed = CountRule::WhileListed;
    // A switch without words: a name alone, which sets a flag or answers, or a letter with its text.
    auto wordless = [](std::string name, SwitchKind kind, SwitchHandler handler) {
        SwitchSpec row;
        row.name = std::move(name);
        row.kind = kind;
        row.handler = std::move(handler);
        return row;
    };
    auto alone = [&](std::string name, SwitchHandler handler) { return wordless(std::move(name), Name, std::move(handler)); };
    auto sets = [&](std::string name, bool Settings::*flag) {
        return alone(std::move(name), [this, flag](int, std::span<const std::string>) {
            line_.settings.*flag = true;
            return 0;
        });
    };
    return {
        alone("n", [](int, std::span<const std::string>) { return 0; }),
        {"tag", NameWithWords, 1, upTo, "", bind(&CommandLineReader::tagHandler)},
        {"t", NameWithWords, 1, upTo, "", bind(&CommandLineReader::tagHandler)},
        {"out", NameWithWords, 1, upTo, "", bind(&CommandLineReader::outHandler)},
        {"o", NameWithWords, 1, upTo, "", bind(&CommandLineReader::outHandler)},
        {"arg", NameWithWords, 100, listed, kConditionWords, bind(&CommandLineReader::ifHandler)},
        {"a", NameWithWords, 100, listed, kConditionWords, bind(&CommandLineReader::ifHandler)},
        {"if", NameWithWords, 100, listed, kConditionWords, bind(&CommandLineReader::ifHandler)},
        wordless("i", LetterWithText, bind(&CommandLineReader::caseHandler)),
        wordless("I", LetterWithText, bind(&CommandLineReader::caseHandler)),
        sets("-warc", &Settings::warc),
        {"-files-from", NameWithWords, 1, CountRule::All, "", bind(&CommandLineReader::filesFromHandler)},
        {"-jobs", NameWithWords, 1, CountRule::All, "", bind(&CommandLineReader::jobsHandler)},
        {"-doc-if", NameWithWords, 100, listed, kConditionWords, bind(&CommandLineReader::docIfHandler)},
        {"-encoding", NameWithWords, 1, CountRule::All, "", bind(&CommandLineReader::encodingHandler)},
        sets("-stats", &Settings::stats),
        sets("-progress", &Settings::progress),
        alone("-help", [this](int, std::span<const std::string>) { return answer(helpText()); }),
        alone("-version", [this](int, std::span<const std::string>) { return answer("tagsift " TAGSIFT_VERSION "\n"); }),
    };
}

int CommandLineReader::tagHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noTagName();
    auto rule = std::make_unique<TagRule>();
    rule->name = words[0];
    rule->index = rules_.size();
    rules_.push_back(std::move(rule));
    return count;
}

int CommandLineReader::outHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noFormat();
    if (count > 1) throw fatal::outTakesOneWord();
    if (rules_.empty()) throw fatal::outBeforeTag();
    rules_.back()->format = compileFormat(words[0]);
    return count;
}

int CommandLineReader::ifHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noConditionWords();
    ConditionList condition = parseConditions(words.first(static_cast<std::size_t>(count)), ignoreCase_);
    if (rules_.empty()) throw fatal::ifBeforeTag();
    rules_.back()->condition = std::move(condition);
    return count;
}

int CommandLineReader::caseHandler(int count, std::span<const std::string> words) {
    ignoreCase_ = count == 0 || words[0] == "+";
    return count;
}

int openFileList(const std::string& name, int inFd) {
    int fd = inFd;
    if (name != "-") {
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw fatal::fileListError(name, std::strerror(errno));
    }
    // A directory opens, and fails at its first read.
    struct stat info;
    if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        if (fd != inFd) ::close(fd);
        throw fatal::fileListError(name, std::strerror(EISDIR));
    }
    return fd;
}

int CommandLineReader::filesFromHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noFileListName();
    // Told in its turn among the switches. Only a plain file is opened to see (a pipe's bytes
    // would go with the reader that closes it); standard input is looked at when the run starts.
    const std::string& name = words[0];
    if (struct stat info; name != "-") {
        if (::stat(name.c_str(), &info) != 0) throw fatal::fileListError(name, std::strerror(errno));
        if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) ::close(openFileList(name, -1));
    }
    line_.settings.listNames.push_back(name);
    line_.settings.named = true;
    return 1;
}

int CommandLineReader::encodingHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noEncodingLabel();
    const std::optional<Encoding> named = Encoding::forLabel(words[0]);
    if (!named) throw fatal::unknownEncoding(words[0]);
    line_.settings.fallbackEncoding = *named;
    return 1;
}

int CommandLineReader::jobsHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noJobCount();
    const std::string& word = words[0];
    std::size_t end = 0;
    const long long n = readDigits(word, end, kMostJobs + 1);
    if (end == 0 || end != word.size() || n < 1 || n > kMostJobs) throw fatal::badJobCount(word, kMostJobs);
    line_.settings.jobs = static_cast<unsigned>(n);
    return 1;
}

namespace {
// Every test of a --doc-if condition names a field it knows.
void checkFields(const ConditionList& list) {
    for (const Condition& node : list) {
        checkFields(node.members);
        if (node.type != IfType::IfTest) continue;
        const auto known = std::find_if(std::begin(kDocumentFields), std::end(kDocumentFields),
                                        [&](std::string_view f) { return equalsIgnoringCase(f, node.attrName); });
        if (known != std::end(kDocumentFields)) continue;
        std::string all;
        for (std::string_view f : kDocumentFields) all.append(all.empty() ? "" : ", ").append(f);
        throw fatal::unknownDocumentField(node.attrName, all);
    }
}
}  // namespace

int CommandLineReader::docIfHandler(int count, std::span<const std::string> words) {
    if (count == 0) throw fatal::noDocumentCondition();
    ConditionList condition = parseConditions(words.first(static_cast<std::size_t>(count)), ignoreCase_);
    checkFields(condition);
    line_.settings.documentCondition = std::move(condition);
    line_.settings.choosesDocuments = true;
    return count;
}

CommandLine CommandLineReader::read(std::span<const std::string> words) {
    // The words after the first "--" name the documents, and are never switches.
    auto separator = std::find(words.begin() + std::min<std::size_t>(words.size(), 1), words.end(), "--");
    const std::span<const std::string> switchWords(words.begin(), separator);
    Settings& settings = line_.settings;
    if (separator != words.end()) {
        settings.named = true;
        settings.files.assign(separator + 1, words.end());
    }
    if (switchWords.size() <= 1) throw fatal::usage();
    std::vector<SwitchSpec> table = switchTable();
    SwitchParser parser;
    parser.switchPrefixes = "-";
    parser.onPlainArgument = [](const std::string&) { throw fatal::usage(); };
    parser.onUnknownSwitch = [](const std::string& name) { throw fatal::unknownSwitch(name); };
    std::vector<std::string> expanded = expandResponseFiles(switchWords);
    // A response file's words stand in its place: a "--" among them starts the names there, and
    // those after the command line's own "--" follow them.
    if (auto inner = std::find(expanded.begin() + std::min<std::size_t>(expanded.size(), 1), expanded.end(), "--");
        inner != expanded.end()) {
        std::vector<std::string> files(inner + 1, expanded.end());
        files.insert(files.end(), settings.files.begin(), settings.files.end());
        settings.files = std::move(files);
        settings.named = true;
        expanded.erase(inner, expanded.end());
    }
    parser.parseSwitches(expanded, table);
    line_.rules.index();
    // Without --, or with nothing after it and no list, standard input is the one document.
    if (settings.files.empty() && settings.listNames.empty()) settings.files.assign(1, "-");
    return std::move(line_);
}

CommandLine readCommandLine(std::span<const std::string> words) { return CommandLineReader().read(words); }

}  // namespace tagsift
