// A table-driven command-line parser.
//
// Each SwitchSpec row says how a switch is written (its kind), how many of
// the following words it may take and which of them it is offered (its count
// rule). parseSwitches() walks the words once, left to right, and calls the
// handler of every switch it recognises; a handler returns how many of the
// following words it consumed, or a negative number to end the run.
//
//   kind 0  single letter, more kind-0 letters may follow in the same word (-abc)
//   kind 1  letter with attached text (-i+, -Ifoo)
//   kind 2  letter with attached text, then following words
//   kind 3  whole name, no words
//   kind 4  whole name, then following words
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
using SwitchHandler = std::function<int(int count, std::span<const std::string> words)>;

struct SwitchSpec {
    std::string name;
    int kind = 3;
    int maxArgs = 0;
    int countRule = 0;
    std::string words;  // count rules 2 and 3: switch names separated by white space
    SwitchHandler handler;
};

struct SwitchParser {
    std::string switchPrefixes = "-/";
    std::function<void(const std::string&)> onPlainArgument;
    std::function<void(const std::string&)> onUnknownSwitch;

    // words[0] is the program's name and is skipped.
    void parseSwitches(std::span<const std::string> words, std::span<const SwitchSpec> rows) const;

    bool isSwitchWord(std::string_view word) const;
    const SwitchSpec* findSwitch(std::string_view name, std::span<const SwitchSpec> rows) const;
    const SwitchSpec* findLetterSwitch(char letter, std::span<const SwitchSpec> rows) const;
    int countArguments(const SwitchSpec& row, std::span<const std::string> following) const;
};

bool inWordList(std::string_view list, std::string_view name);

}  // namespace tagsift
