// Compiling -out formats: item lists, escapes and the fatal messages.
#include <gtest/gtest.h>

#include <string>

#include "base/fatal.h"
#include "format/format.h"

namespace tagsift {
namespace {

using namespace std::string_literals;

struct Live {
    std::string tagName;
    long long tagLine = 0, tagColumn = 0, globalCount = 0, ruleCount = 0;
    FormatBindings bindings() const { return {&tagName, &tagLine, &tagColumn, &globalCount}; }
};

// One word per item: L[text], then for variables kind(conversion)target, where
// the target of a system variable names the storage it is bound to.
std::string shape(const Format& items, const Live& live) {
    std::string s;
    for (const FormatItem& item : items) {
        if (!s.empty()) s += ' ';
        switch (item.kind) {
            case FormatKind::Literal: s += "L[" + item.text + "]"; continue;
            case FormatKind::Number: s += "N"; break;
            case FormatKind::Text: s += "T"; break;
            case FormatKind::WholeTag: s += "W"; break;
            case FormatKind::Attribute: s += "A"; break;
            case FormatKind::Body: s += "B"; break;
        }
        s += "(" + item.conversion + ")";
        if (item.kind == FormatKind::Attribute) s += item.text;
        if (item.number == &live.tagLine) s += "line";
        if (item.number == &live.tagColumn) s += "pos";
        if (item.number == &live.globalCount) s += "gnum";
        if (item.number == &live.ruleCount) s += "num";
        if (item.textTarget == &live.tagName) s += "name";
    }
    return s;
}

std::string compiled(const std::string& text) {
    Live live;
    return shape(compileFormat(text, &live.ruleCount, live.bindings()), live);
}

TEST(CompileFormat, ItemLists) {
    struct Case {
        std::string format;
        std::string items;
    } cases[] = {
        {"", ""},
        {"plain text", "L[plain text]"},
        {"$href$", "A(%s)href"},
        {"$~href$", "A(%s)~href"},
        {"%-20$href$", "A(%-20s)href"},
        {"%-20$~HREF$\\n", "A(%-20s)~HREF L[\n]"},
        {"$$", "A(%s)"},
        {"$a$$b$", "A(%s)a A(%s)b"},
        {"<$a$>", "L[<] A(%s)a L[>]"},
        {"$_line$$_LINE$$_Pos$$_num$$_GNUM$", "N(%d)line N(%d)line N(%d)pos N(%d)num N(%d)gnum"},
        {"%5$_line$", "N(%5d)line"},
        {"%x$_num$", "N(%xd)num"},
        {"%-08.3ld$_gnum$", "N(%-08.3ldd)gnum"},
        {"$_name$ %-9$_NaMe$", "T(%s)name L[ ] T(%-9s)name"},
        {"%-9$_tag$", "W(%-9s)"},
        {"$_body$", "B(%)"},
        {"%c$_body$", "B(%c)"},
        {"%t$_body$", "B(%t)"},
        {"%T$_BODY$", "B(%T)"},
        {"a$_body$b$_body$", "L[a] B(%) L[b] B(%)"},
        {"%%$a$", "A(%%s)a"},
        {"%$a$", "A(%s)a"},
        {"%5%x$a$", "A(%5%xs)a"},
        // A backslash before '%' or '$' stays in the literal; the variable still starts.
        {"a\\$_line$", "L[a\\] N(%d)line"},
        {"\\%5$a$", "L[\\] A(%5s)a"},
        {"x\\", "L[x\\]"},
        // A '%' from an escape is printed as it stands, "%%" as one.
        {"100\\x25\\x25", "L[100%]"},
        {"\\045d\\x25s", "L[%d%s]"},
        {"a\\0b$x$c", "L[a] A(%s)x L[c]"},
        // Names and conversions of any length stay whole.
        {"$" + std::string(300, 'n') + "$", "A(%s)" + std::string(300, 'n')},
        {"%" + std::string(40, '1') + "$a$", "A(%" + std::string(40, '1') + "s)a"},
        {"$a\0b$"s, "A(%s)a\0b"s},
        {"$a b$", "A(%s)a b"},
    };
    for (const Case& c : cases) EXPECT_EQ(compiled(c.format), c.items) << '"' << c.format << '"';
}

TEST(CompileFormat, NumVariableBindsToTheGivenRuleCount) {
    Live live;
    long long otherRule = 0;
    Format items = compileFormat("$_num$", &otherRule, live.bindings());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].number, &otherRule);
}

std::string fatalText(const std::string& format) {
    Live live;
    try {
        compileFormat(format, &live.ruleCount, live.bindings());
    } catch (const Fatal& f) {
        EXPECT_EQ(f.stream, Fatal::Stream::Err) << format;
        EXPECT_TRUE(f.banner) << format;
        EXPECT_EQ(f.status, 1) << format;
        return f.text;
    }
    return "(compiled)";
}

TEST(CompileFormat, FatalMessagesInTextOrder) {
    const std::string noVariable = "\n! Output format error : no variable after $ or no second $ !\n";
    auto notSystem = [](const std::string& n) {
        return "\n! Output format error : $_" + n + "$ is not a system variable!\n";
    };
    auto badEscape = [](const std::string& l) { return "\n! Bad escape sequence in : \"" + l + "\"!\n"; };
    struct Case {
        std::string format;
        std::string message;
    } cases[] = {
        {"50%", noVariable},
        {"%5", noVariable},
        {"$href", noVariable},
        {"$", noVariable},
        {"$a$ $", noVariable},
        {"$a$%-3", noVariable},
        {"$_lines$", notSystem("lines")},
        {"$_$", notSystem("")},
        {"$_Body2$", notSystem("Body2")},
        {"$__line$", notSystem("_line")},
        {"\\xg", badEscape("\\xg")},
        {"a\\x", badEscape("a\\x")},
        {"ok$a$ bad\\x $b$ fine", badEscape(" bad\\x ")},
        {"\\\\x41\\xZ", badEscape("\\\\x41\\xZ")},
        // The first malformed place wins.
        {"\\xg $_foo$", badEscape("\\xg ")},
        {"$_foo$ \\xg", notSystem("foo")},
        {"$_foo$ %", notSystem("foo")},
        {"\\xg %", badEscape("\\xg ")},
        {"% \\xg", noVariable},
        {"$a$\\xg$", badEscape("\\xg")},
        {"$_x$ $_y$", notSystem("x")},
    };
    for (const Case& c : cases) EXPECT_EQ(fatalText(c.format), c.message) << '"' << c.format << '"';
}

TEST(DecodeEscapes, Table) {
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"plain % $ text", "plain % $ text"},
        {"\\\"\\'\\\\", "\"'\\"},
        {"\\a\\b\\f\\n\\r\\t\\v", "\a\b\f\n\r\t\v"},
        // Anything else keeps its backslash.
        {"\\q\\8\\9\\%\\$\\X41\\ \\N", "\\q\\8\\9\\%\\$\\X41\\ \\N"},
        {"a\\", "a\\"},
        {"\\", "\\"},
        {"\\\\x41", "\\x41"},
        // Hexadecimal runs of any length, modulo 256.
        {"\\x41", "A"},
        {"\\x4142", "B"},
        {"\\x41g", "Ag"},
        {"\\xfF\\XfF", "\xff\\XfF"},
        {"\\x000041", "A"},
        {"\\x" + std::string(40, 'f') + "!", "\xff!"},
        {"\\x9\\xa", "\t\n"},
        // Octal runs of any length, modulo 256; every following decimal digit is consumed.
        {"\\101", "A"},
        {"\\1010", "\b"},
        {"\\18x", "\x01x"},
        {"\\181x", "\x01x"},
        {"\\19", "\x01"},
        {"\\777", "\xff"},
        {"\\1234567", "w"},
        {"\\" + std::string(30, '1'), "I"},
        {"\\7\\77", "\a?"},
        // A zero byte ends the text.
        {"a\\0b", "a"},
        {"a\\400b", "a"},
        {"a\\x100 b", "a"},
        {"a\\x0b", "a\v"},   // not a zero: "0b" is one hexadecimal run
        {"a\\09b", "a"},
        {"a\\000\\x41", "a"},
        // A zero byte written as such is an ordinary character.
        {"a\0b\\n"s, "a\0b\n"s},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_TRUE(decodeEscapes(text)) << '"' << c.in << '"';
        EXPECT_EQ(text, c.out) << '"' << c.in << '"';
    }
    for (std::string bad : {"\\x", "\\xg", "a\\x$", "\\x\\x41", "ok\\n\\x"}) {
        std::string text = bad;
        EXPECT_FALSE(decodeEscapes(text)) << bad;
    }
}

}  // namespace
}  // namespace tagsift
