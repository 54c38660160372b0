// The tagsift program: its switch table, its tag rules and its main loop.
//
// A Program owns every piece of run-wide state: the rules (newest first),
// the global match count, the case setting for patterns, the scanner over
// the input, the output buffer and the body region. run() parses the command
// line, then filters the input; fatal errors leave it as a Fatal exception,
// which runMain() turns into the message and the exit status.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "conditions/conditions.h"
#include "format/body.h"
#include "format/format.h"
#include "format/output.h"
#include "format/render.h"
#include "scanner/input.h"
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

class Program {
public:
    Program(Input& input, Output& out);

    // Parses the words (words[0] is the program's name), then scans the input. Returns 0.
    int run(std::span<const std::string> words);

    // The rules in command-line order; the newest is the last.
    const std::vector<std::unique_ptr<TagRule>>& rules() const { return rules_; }
    int ignoreCase() const { return ignoreCase_; }
    long long globalCount() const { return globalCount_; }

    void parseCommandLine(std::span<const std::string> words);
    void scanInput();

private:
    std::vector<SwitchSpec> switchTable();
    int nHandler(int count, std::span<const std::string> words);
    int tagHandler(int count, std::span<const std::string> words);
    int outHandler(int count, std::span<const std::string> words);
    int ifHandler(int count, std::span<const std::string> words);
    int caseHandler(int count, std::span<const std::string> words);

    // The rules named name (ignoring ASCII case), newest first; nullptr when there are none.
    const std::vector<TagRule*>* findRules(std::string_view name);

    Output& out_;
    BodyCapture body_;
    Renderer renderer_;
    Scanner scanner_;
    std::vector<std::unique_ptr<TagRule>> rules_;
    std::unordered_map<std::string, std::vector<TagRule*>> rulesByName_;
    // The same groups in a plain list, searched instead of the map while it is short.
    std::vector<std::pair<std::string, std::vector<TagRule*>>> ruleGroups_;
    std::string lookupKey_;
    long long globalCount_ = 0;
    int ignoreCase_ = 1;
};

// Runs tagsift with the given words on the given descriptors; returns the exit status.
int runMain(std::span<const std::string> words, int inFd = 0, int outFd = 1, int errFd = 2);

}  // namespace tagsift
