// Conditions of -if: tests on a tag's attributes, joined into lists.
//
//   name  !name                 present / absent
//   name=re  name!=re           value matches / does not match a pattern
//   name==n name<>n name<n name>n name<=n name>=n   numeric comparisons
//   !test                       the complementary test
//   -and  (or nothing)          both;  -or  either (conjunction binds tighter)
//   [ ... ]   ![ ... ]          a group that must hold / must not hold
//   -i -i- -I -I-  /  -i+ -I+   later patterns respect / ignore letter case
//
// parseConditions() builds the tree once, compiling each pattern with the
// case setting of that moment; checkArgs() evaluates it for one tag.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "conditions/number.h"
#include "regex/pattern.h"
#include "tag/tag.h"

namespace tagsift {

enum class IfType : int { IfTest = 0, IfOr = 1, IfGroup = 2 };

enum class IfOp : int {
    OpPresent = 0,
    OpAbsent = 1,
    OpMatch = 2,
    OpEqual = 3,
    OpNoMatch = 4,
    OpDiffer = 5,
    OpLess = 6,
    OpGreater = 7,
    OpLessEqual = 8,
    OpGreaterEqual = 9,
};

struct Condition;
using ConditionList = std::vector<Condition>;  // all must hold, in order

struct Condition {
    IfType type = IfType::IfTest;
    // IfTest
    std::string attrName;
    IfOp operation = IfOp::OpPresent;
    std::optional<Pattern> pattern;  // OpMatch, OpNoMatch
    bool caseless = false;           // the pattern was compiled ignoring case
    Number number;                   // numeric operations
    std::string rightSide;           // as written
    // IfOr: the alternative written before the -or; IfGroup: the group's own list
    ConditionList members;
    bool mustHold{};  // IfGroup: true for "[", false for "!["; read by nothing else
};

// ignoreCase is the program-wide setting; case words in the list change it.
ConditionList parseConditions(std::span<const std::string> words, bool& ignoreCase);

bool checkArgs(const ConditionList& list, const AttributeList& attributes);

}  // namespace tagsift
