#include "driver/program.h"

#include <cerrno>
#include <unistd.h>

#include "driver/fatal.h"
#include "scanner/text.h"
#include "switches/response_files.h"

namespace tagsift {

namespace {
constexpr const char* kConditionWords = "or OR and AND i i- i+ I I- I+";
}

Program::Program(Input& input, Output& out)
    : out_(out),
      renderer_(out, body_),
      scanner_(input, out, body_, [this] { renderer_.flushBody(); }) {}

std::vector<SwitchSpec> Program::switchTable() {
    auto bind = [this](int (Program::*handler)(int, std::span<const std::string>)) {
        return [this, handler](int count, std::span<const std::string> words) {
            return (this->*handler)(count, words);
        };
    };
    return {
        {"n", 3, 0, 0, "", bind(&Program::nHandler)},
        {"tag", 4, 1, 0, "", bind(&Program::tagHandler)},
        {"t", 4, 1, 0, "", bind(&Program::tagHandler)},
        {"out", 4, 1, 0, "", bind(&Program::outHandler)},
        {"o", 4, 1, 0, "", bind(&Program::outHandler)},
        {"arg", 4, 100, 2, kConditionWords, bind(&Program::ifHandler)},
        {"a", 4, 100, 2, kConditionWords, bind(&Program::ifHandler)},
        {"if", 4, 100, 2, kConditionWords, bind(&Program::ifHandler)},
        {"i", 1, 0, 0, "", bind(&Program::caseHandler)},
        {"I", 1, 0, 0, "", bind(&Program::caseHandler)},
    };
}

int Program::nHandler(int, std::span<const std::string>) { return 0; }

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
    FormatBindings live{&scanner_.tagName, &scanner_.tagLine, &scanner_.tagColumn, &globalCount_};
    rule.format = compileFormat(words[0], &rule.count, live);
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
    ignoreCase_ = (count == 0 || words[0] == "+") ? 1 : 0;
    return count;
}

void Program::parseCommandLine(std::span<const std::string> words) {
    if (words.size() <= 1) throw fatal::usage();
    std::vector<SwitchSpec> table = switchTable();
    SwitchParser parser;
    parser.switchPrefixes = "-";
    parser.onPlainArgument = [](const std::string&) { throw fatal::usage(); };
    parser.onUnknownSwitch = [](const std::string& name) { throw fatal::unknownSwitch(name); };
    expandResponseFiles(words, table, parser);

    // Newest first within each name, so the last -tag of a name is tried first.
    for (auto it = rules_.rbegin(); it != rules_.rend(); ++it)
        rulesByName_[lowerCased((*it)->name)].push_back(it->get());
    if (rulesByName_.size() <= 8) ruleGroups_.assign(rulesByName_.begin(), rulesByName_.end());
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

void Program::scanInput() {
    // A tag without a rule, outside a body region, is only skipped: the scanner can do that alone.
    std::vector<std::string> names;
    for (const auto& rule : rules_) names.push_back(rule->name);
    scanner_.passOverTagsOtherThan(names);
    AttributeList attributes;
    while (scanner_.nextTag()) {
        const std::vector<TagRule*>* rules = findRules(scanner_.tagName);
        if (!rules) {
            if (scanner_.echoingTags()) out_.write(scanner_.tagName);
            scanner_.skipTagRest();
            continue;
        }
        readAttributes(scanner_, attributes);
        for (TagRule* rule : *rules) {
            if (rule->hasCondition && !checkArgs(rule->condition, attributes)) continue;
            renderer_.flushBody();
            ++rule->count;
            ++globalCount_;
            renderer_.renderFormat(rule->name, rule->format, attributes);
            break;
        }
        // A region opened just now took the attributes and left an empty list here.
        attributes.clear();
    }
}

int Program::run(std::span<const std::string> words) {
    parseCommandLine(words);
    scanInput();
    return 0;
}

namespace {
void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}
}  // namespace

int runMain(std::span<const std::string> words, int inFd, int outFd, int errFd) {
    Output out(outFd);
    Input input(inFd);
    auto report = [&](const Fatal& f) {
        // What the run printed before the error stays in front of a message on standard output.
        try {
            if (f.stream == Fatal::Stream::Out) out.write(f.text);
            out.flush();
        } catch (const QuietExit&) {
            return 1;
        } catch (const Fatal& failed) {
            writeAll(errFd, std::string(kBanner) + failed.text);
            return 1;
        }
        if (f.stream == Fatal::Stream::Err) {
            if (f.banner) writeAll(errFd, std::string(kBanner) + f.text);
            else writeAll(errFd, f.text);
        }
        return f.status;
    };
    try {
        Program program(input, out);
        int status = program.run(words);
        out.flush();
        return status;
    } catch (const Fatal& f) {
        return report(f);
    } catch (const QuietExit& q) {
        return q.status;
    } catch (const std::bad_alloc&) {
        return report(fatal::onStderr("Lack of memory."));
    }
}

}  // namespace tagsift
