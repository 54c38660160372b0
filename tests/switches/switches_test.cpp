// The switch parser on a table with a row of every kind and count rule, which the program's own
// table does not have: each row of the test is a command line and the calls it must make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fatal.h"
#include "switches/switches.h"

namespace tagsift {
namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> words{"prog"};
    std::string word;
    for (char c : line + " ") {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// Every call in order: "name(count:word,word)", "?unknown", "+plain".
std::string parse(const std::string& line) {
    std::string calls;
    auto record = [&](std::string name, int consumed) {
        return [&calls, name, consumed](int count, std::span<const std::string> words) {
            calls += name + "(" + std::to_string(count) + ":";
            for (int i = 0; i < count; ++i) calls += (i ? "," : "") + words[static_cast<std::size_t>(i)];
            calls += ") ";
            // A letter's text is offered as the first word, but consumes nothing after the switch.
            if (name == "w") return count - 1;
            return consumed < 0 ? consumed : std::min(consumed, count);
        };
    };
    using enum SwitchKind;
    const std::vector<SwitchSpec> rows = {
        {"x", Letters, 0, CountRule::UpToNextSwitch, "", record("x", 0)},
        {"y", Letters, 0, CountRule::UpToNextSwitch, "", record("y", 0)},
        {"i", LetterWithText, 0, CountRule::UpToNextSwitch, "", record("i", 0)},
        {"w", LetterWithTextAndWords, 2, CountRule::UpToNextSwitch, "", record("w", 3)},
        {"flag", Name, 0, CountRule::UpToNextSwitch, "", record("flag", 0)},
        {"stop", Name, 0, CountRule::UpToNextSwitch, "", record("stop", SwitchParser::kEnough)},
        {"two", NameWithWords, 2, CountRule::UpToNextSwitch, "", record("two", 2)},
        {"all", NameWithWords, 3, CountRule::All, "", record("all", 3)},
        {"list", NameWithWords, 9, CountRule::WhileListed, "or and", record("list", 9)},
        {"until", NameWithWords, 9, CountRule::UntilListed, "flag two", record("until", 9)},
        {"keep", NameWithWords, 5, CountRule::UpToNextSwitch, "", record("keep", 1)},
        {"fail", NameWithWords, 1, CountRule::UpToNextSwitch, "", record("fail", -1)},
    };
    SwitchParser parser;
    parser.switchPrefixes = "-/";
    parser.onPlainArgument = [&](const std::string& w) { calls += "+" + w + " "; };
    parser.onUnknownSwitch = [&](const std::string& w) { calls += "?" + w + " "; };
    try {
        parser.parseSwitches(split(line), rows);
    } catch (const Fatal&) {
        calls += "ended";
    }
    return calls;
}

TEST(Switches, EachKindAndCountRule) {
    const struct {
        const char* line;
        const char* calls;
    } rows[] = {
        // Grouped letters: each is called; an unknown one is named alone and ends the group.
        {"-xyx", "x(0:) y(0:) x(0:) "},
        {"-xzy -y", "x(0:) ?z y(0:) "},
        {"-x", "x(0:) "},
        // A letter with text, and a letter with text and then words.
        {"-i+ -i", "i(1:+) i(1:) "},
        {"-wtext a b c", "w(3:text,a,b) +c "},
        {"-w", "w(1:) "},
        {"-w a -flag", "w(2:,a) flag(0:) "},
        // Names: exactly the name; words up to the next switch, at most the row's count.
        {"-flag -fla -flagg", "flag(0:) ?fla ?flagg "},
        {"-two a b c", "two(2:a,b) +c "},
        {"-two a /flag", "two(1:a) flag(0:) "},
        {"-two", "two(0:) "},
        {"-all -x -y -flag z", "all(3:-x,-y,-flag) +z "},
        {"-list a -or b -and c -flag d", "list(5:a,-or,b,-and,c) flag(0:) +d "},
        {"-list a -x b", "list(1:a) x(0:) +b "},
        {"-until a -x b -two c", "until(3:a,-x,b) two(1:c) "},
        // A handler takes fewer words than offered: the rest are read again as they stand.
        {"-keep a b -x", "keep(2:a,b) +b x(0:) "},
        // kEnough stops the parse quietly; another negative ends the run.
        {"-stop -zzz q", "stop(0:) "},
        {"-fail a -x", "fail(1:a) ended"},
        {"plain -x", "+plain x(0:) "},
    };
    for (const auto& row : rows) EXPECT_EQ(parse(row.line), row.calls) << row.line;
}

TEST(Switches, ARowWithoutWordsOffersNone) {
    SwitchParser parser;
    const std::vector<SwitchSpec> rows = {{"n", SwitchKind::Name, 1, CountRule::UpToNextSwitch, "", {}}};
    EXPECT_THROW(parser.parseSwitches(std::vector<std::string>{"prog"}, rows), std::logic_error);
}

}  // namespace
}  // namespace tagsift
