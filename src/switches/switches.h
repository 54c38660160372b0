// A table-driven command-line parser.
//
// Each SwitchSpec row says how a switch is written (its kind), how many of
// the following words it may take and which of them it is offered (its count
// rule). parseSwitches() walks the words once, left to right, and calls the
// handler of every switch it recognises; a handler returns how many of the
// following words it consumed, kEnough when the words after it are not to be
// read at all (--help), or another negative number to end the run.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tagsift {

// count: how many words the handler is offered; words: for kinds 1 and 2 the
// attached text and the offered words, for kind 4 the rest of the command line
// from the first following word (it may look past count).
enum class SwitchKind {
    Letters,                 // single letter, more such letters may follow in the same word (-abc)
    LetterWithText,          // letter with attached text (-i+, -Ifoo)
    LetterWithTextAndWords,  // letter with attached text, then following words
    Name,                    // whole name, no words
    NameWithWords,           // whole name, then following words
};

// Which of the following words (up to maxArgs) a switch is offered.
enum class CountRule {
    UpToNextSwitch,  // those before the next switch word
    All,             // all of them
    WhileListed,     // those before the first switch word not named in the row's words
    UntilListed,     // those before the first switch word named in the row's words
};

using SwitchHandler = std::function<int(int count, std::span<const std::string> words)>;

struct SwitchSpec {
    std::string name;
    SwitchKind kind = SwitchKind::Name;
    int maxArgs = 0;
    CountRule countRule = CountRule::UpToNextSwitch;
    std::string words;  // WhileListed, UntilListed: switch names separated by white space
    SwitchHandler handler;
};

struct SwitchParser {
    static constexpr int kEnough = -1000;
    std::string switchPrefixes = "-/";
    std::function<void(const std::string&)> onPlainArgument;
    std::function<void(const std::string&)> onUnknownSwitch;

    // words[0] is the program's name and is skipped.
    void parseSwitches(std::span<const std::string> words, std::span<const SwitchSpec> rows) const;

private:
    bool isSwitchWord(std::string_view word) const;
    int countArguments(const SwitchSpec& row, std::span<const std::string> following) const;
};

// The words with every "--f FILE" replaced by the words of FILE (words[0], the program's name,
// is kept as it is). Words in a file are separated by white space; a word that begins with a
// single or double quote runs to the next unescaped quote of that kind (the quotes are dropped,
// backslash pairs are kept for the format or pattern that decodes them). Only the command line's
// own words are expanded: a "--f" inside a file is an ordinary word.
std::vector<std::string> expandResponseFiles(std::span<const std::string> words);

}  // namespace tagsift
