#include "driver/program.h"

#include "base/fatal.h"
#include "base/text.h"

namespace tagsift {

namespace {
constexpr const char* kConditionWords = "or OR and AND i i- i+ I I- I+";
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

void Program::parseCommandLine(std::span<const std::string> words) {
    if (words.size() <= 1) throw fatal::usage();
    std::vector<SwitchSpec> table = switchTable();
    SwitchParser parser;
    parser.switchPrefixes = "-";
    parser.onPlainArgument = [](const std::string&) { throw fatal::usage(); };
    parser.onUnknownSwitch = [](const std::string& name) { throw fatal::unknownSwitch(name); };
    parser.parseSwitches(expandResponseFiles(words), table);

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

void Program::closeRegion(Scanner& scanner, std::string_view document) {
    scanner.closeRegion();
    TagContext now;
    now.tagName = scanner.tagName();
    now.line = scanner.tagLine();
    now.column = scanner.tagColumn();
    now.document = document;
    renderer_.closeRegion(now);
}

void Program::filter(Input& input, std::string_view document) {
    Scanner scanner(input, out_);
    // A tag without a rule, outside a body region, is only skipped: the scanner can do that alone.
    std::vector<std::string> names;
    for (const auto& rule : rules_) names.push_back(rule->name);
    scanner.passOverTagsOtherThan(names);
    AttributeList attributes;
    TagContext tag;
    tag.document = document;
    tag.attributes = &attributes;
    for (Scanner::Found found; (found = scanner.nextTag()) != Scanner::Found::End;) {
        if (found == Scanner::Found::RegionEnd) closeRegion(scanner, document);
        const std::vector<TagRule*>* rules = findRules(scanner.tagName());
        if (!rules) {
            scanner.skipTag();
            continue;
        }
        scanner.readAttributes(attributes);
        for (TagRule* rule : *rules) {
            if (rule->hasCondition && !checkArgs(rule->condition, attributes)) continue;
            if (renderer_.regionOpen()) closeRegion(scanner, document);
            ++rule->count;
            ++globalCount_;
            tag.ruleName = rule->name;
            tag.tagName = scanner.tagName();
            tag.line = scanner.tagLine();
            tag.column = scanner.tagColumn();
            tag.ruleCount = rule->count;
            tag.globalCount = globalCount_;
            if (std::optional<BodyMode> mode = renderer_.render(tag, rule->format))
                scanner.openRegion(rule->name, *mode != BodyMode::TextOnly, *mode == BodyMode::Everything);
            break;
        }
        // A region opened just now took the attributes and left an empty list here.
        attributes.clear();
    }
}

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
        Program program(out);
        program.parseCommandLine(words);
        program.filter(input);
        out.flush();
        return 0;
    } catch (const Fatal& f) {
        return report(f);
    } catch (const QuietExit& q) {
        return q.status;
    } catch (const std::bad_alloc&) {
        return report(fatal::onStderr("Lack of memory."));
    }
}

}  // namespace tagsift
