#include "conditions/conditions.h"

#include "base/fatal.h"

namespace tagsift {

namespace {

struct OperatorForm {
    std::string_view text;
    IfOp plain;
    IfOp negated;
};

// Tried in this order: the two-character forms before the one-character ones.
constexpr OperatorForm kOperators[] = {
    {"!=", IfOp::OpNoMatch, IfOp::OpMatch},       {"<>", IfOp::OpDiffer, IfOp::OpEqual},
    {"<=", IfOp::OpLessEqual, IfOp::OpGreater},   {">=", IfOp::OpGreaterEqual, IfOp::OpLess},
    {"==", IfOp::OpEqual, IfOp::OpDiffer},        {"=", IfOp::OpMatch, IfOp::OpNoMatch},
    {"<", IfOp::OpLess, IfOp::OpGreaterEqual},    {">", IfOp::OpGreater, IfOp::OpLessEqual},
};

Condition parseTest(const std::string& word, bool ignoreCase) {
    Condition test;
    std::string_view rest = word;
    bool negated = !rest.empty() && rest[0] == '!';
    if (negated) rest.remove_prefix(1);
    std::size_t at = rest.find_first_of("!=<>");
    if (at == std::string_view::npos) {
        test.attrName = std::string(rest);
        test.operation = negated ? IfOp::OpAbsent : IfOp::OpPresent;
        return test;
    }
    const OperatorForm* form = nullptr;
    for (const OperatorForm& f : kOperators) {
        if (rest.substr(at, f.text.size()) == f.text) {
            form = &f;
            break;
        }
    }
    if (!form) throw fatal::unknownOperation(rest);
    test.attrName = std::string(rest.substr(0, at));
    test.operation = negated ? form->negated : form->plain;
    test.rightSide = std::string(rest.substr(at + form->text.size()));
    if (test.operation == IfOp::OpMatch || test.operation == IfOp::OpNoMatch) {
        std::string why;
        test.caseless = ignoreCase;
        test.pattern = test.caseless ? compilePatternIgnoringCase(test.rightSide, &why)
                                     : compilePattern(test.rightSide, &why);
        if (!test.pattern) throw fatal::badPattern(test.rightSide, why);
    } else {
        std::optional<Number> n = readNumber(test.rightSide);
        if (!n) throw fatal::notNumber(test.rightSide);
        test.number = *n;
    }
    return test;
}

struct OpenGroup {
    ConditionList list;
    bool mustHold;
};

bool isCaseWord(const std::string& w) {
    return w.size() >= 2 && w[0] == '-' && (w[1] == 'i' || w[1] == 'I');
}

using OpFunction = bool (*)(const Attribute&, const Condition&);

bool readsAs(const Attribute& a, const Condition& test, bool (*holds)(std::strong_ordering)) {
    if (!a.hasValue) return false;
    std::optional<Number> n = readNumber(a.value);
    return n && holds(compareNumbers(*n, test.number));
}

bool matches(const Attribute& a, const Condition& test) {
    std::string_view value = a.hasValue ? std::string_view(a.value) : std::string_view();
    return test.caseless ? matchPatternIgnoringCase(value, *test.pattern)
                         : matchPattern(value, *test.pattern);
}

// Indexed by IfOp.
constexpr OpFunction kOpTable[] = {
    [](const Attribute&, const Condition&) { return true; },
    [](const Attribute&, const Condition&) { return false; },
    [](const Attribute& a, const Condition& t) { return matches(a, t); },
    [](const Attribute& a, const Condition& t) { return readsAs(a, t, [](std::strong_ordering c) { return c == 0; }); },
    [](const Attribute& a, const Condition& t) { return !matches(a, t); },
    [](const Attribute& a, const Condition& t) {
        return !readsAs(a, t, [](std::strong_ordering c) { return c == 0; });
    },
    [](const Attribute& a, const Condition& t) { return readsAs(a, t, [](std::strong_ordering c) { return c < 0; }); },
    [](const Attribute& a, const Condition& t) { return readsAs(a, t, [](std::strong_ordering c) { return c > 0; }); },
    [](const Attribute& a, const Condition& t) { return readsAs(a, t, [](std::strong_ordering c) { return c <= 0; }); },
    [](const Attribute& a, const Condition& t) { return readsAs(a, t, [](std::strong_ordering c) { return c >= 0; }); },
};

}  // namespace

ConditionList parseConditions(std::span<const std::string> words, bool& ignoreCase) {
    std::vector<OpenGroup> levels(1);  // the list itself, which is no group: its mustHold is never read
    for (const std::string& word : words) {
        ConditionList& current = levels.back().list;
        if (word == "-and" || word == "-AND") continue;
        if (word == "[" || word == "![") {
            levels.push_back(OpenGroup{{}, word == "["});
        } else if (word == "]") {
            if (levels.size() == 1) throw fatal::closeWithoutOpen();
            Condition group;
            group.type = IfType::IfGroup;
            group.mustHold = levels.back().mustHold;
            group.members = std::move(levels.back().list);
            levels.pop_back();
            levels.back().list.push_back(std::move(group));
        } else if (word == "-or" || word == "-OR") {
            Condition alternative;
            alternative.type = IfType::IfOr;
            alternative.members = std::move(current);
            current.clear();
            current.push_back(std::move(alternative));
        } else if (isCaseWord(word)) {
            ignoreCase = word.size() > 2 && word[2] == '+';
        } else {
            current.push_back(parseTest(word, ignoreCase));
        }
    }
    if (levels.size() > 1) throw fatal::groupsLeftOpen();
    return std::move(levels.front().list);
}

namespace {
bool checkOneArg(const Condition& test, const AttributeList& attributes) {
    const Attribute* a = attributes.find(test.attrName);
    if (!a) return test.operation == IfOp::OpAbsent;
    return kOpTable[static_cast<int>(test.operation)](*a, test);
}
}  // namespace

bool checkArgs(const ConditionList& list, const AttributeList& attributes) {
    for (const Condition& node : list) {
        switch (node.type) {
            case IfType::IfTest:
                if (!checkOneArg(node, attributes)) return false;
                break;
            case IfType::IfOr:
                if (checkArgs(node.members, attributes)) return true;
                break;
            case IfType::IfGroup:
                if (checkArgs(node.members, attributes) != node.mustHold) return false;
                break;
            default: throw fatal::unknownIfType();
        }
    }
    return true;
}

}  // namespace tagsift
