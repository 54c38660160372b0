// The generic switch parser, driven by a table of its own: every call a
// handler or callback receives is logged, and whole command lines are
// compared against the expected log.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "switches/switches.h"

namespace tagsift {
namespace {

struct Recorder {
    std::vector<std::string> log;

    // A handler that logs "name(count:w1,w2,...)"; for kind 4 the words after
    // '|' are the rest of the view beyond the offered ones, so a handler that
    // looks past its count can be seen to get the whole command line.
    SwitchHandler handler(std::string name, int kind, int result = kDefault) {
        return [this, name, kind, result](int count, std::span<const std::string> words) {
            std::string entry = name + "(" + std::to_string(count) + ":";
            std::size_t shown = kind == 4 ? std::min<std::size_t>(count, words.size()) : words.size();
            for (std::size_t i = 0; i < shown; ++i) entry += (i ? "," : "") + words[i];
            if (kind == 4 && words.size() > shown) {
                entry += "|";
                for (std::size_t i = shown; i < words.size(); ++i)
                    entry += (i > shown ? "," : "") + words[i];
            }
            log.push_back(entry + ")");
            if (result != kDefault) return result;
            return kind == 2 ? count - 1 : count;  // consume what was offered
        };
    }

    SwitchParser parser(std::string prefixes = "-/") {
        SwitchParser p;
        p.switchPrefixes = std::move(prefixes);
        p.onPlainArgument = [this](const std::string& w) { log.push_back("plain(" + w + ")"); };
        p.onUnknownSwitch = [this](const std::string& w) { log.push_back("unknown(" + w + ")"); };
        return p;
    }

    static constexpr int kDefault = -1000;
};

// Whole-name rows come first, so "-if" and "-all" are not taken by the
// letter rows 'i' and 'a' that follow them.
std::vector<SwitchSpec> table(Recorder& r) {
    auto row = [&](std::string name, int kind, int maxArgs = 0, int rule = 0, std::string words = "",
                   int result = Recorder::kDefault) {
        SwitchSpec s;
        s.name = name;
        s.kind = kind;
        s.maxArgs = maxArgs;
        s.countRule = rule;
        s.words = words;
        s.handler = r.handler(name, kind, result);
        return s;
    };
    return {
        row("verbose", 3),
        row("list", 4, 3, 0),
        row("all", 4, 5, 1),
        row("if", 4, 100, 2, " or\tand \n"),
        row("upto", 4, 100, 3, "end stop"),
        row("odd", 4, 5, 7),
        row("one", 4, 1, 0),
        row("zero", 4, 5, 1, "", 0),
        row("skip", 4, 1, 0, "", 3),
        row("neg", 4, 5, 0, "", -1),
        row("ghost", 9),
        row("alpha", 0),
        row("beta", 0),
        row("i", 1),
        row("w", 2, 2, 0),
        row("many", 4, 5, 1),
        row("q", 2, 150, 1),
    };
}

std::vector<std::string> words(std::initializer_list<const char*> list) {
    std::vector<std::string> w{"prog"};
    for (const char* s : list) w.emplace_back(s);
    return w;
}

struct ParseCase {
    const char* title;
    std::vector<std::string> words;
    std::vector<std::string> log;
    std::string prefixes = "-/";
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.title; }

class ParseSwitches : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseSwitches, CallsHandlersLeftToRight) {
    const ParseCase& c = GetParam();
    Recorder r;
    std::vector<SwitchSpec> rows = table(r);
    r.parser(c.prefixes).parseSwitches(c.words, rows);
    EXPECT_EQ(r.log, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseSwitches,
    ::testing::Values(
        ParseCase{"nothing", words({}), {}},
        ParseCase{"plain and empty words", words({"x", "", "y"}), {"plain(x)", "plain()", "plain(y)"}},
        ParseCase{"kind 3", words({"-verbose", "x"}), {"verbose(0:)", "plain(x)"}},
        ParseCase{"kind 3 needs the whole name", words({"-verb"}), {"unknown(verb)"}},
        // Kind 0: letters are matched by the first character of the row's name.
        ParseCase{"letter group", words({"-ab", "-ba"}), {"alpha(0:)", "beta(0:)", "beta(0:)", "alpha(0:)"}},
        ParseCase{"letter row with a long name", words({"-b", "-alph"}),
                  {"beta(0:)", "alpha(0:)", "unknown(l)"}},
        ParseCase{"unknown second letter ends the group", words({"-azb", "x"}),
                  {"alpha(0:)", "unknown(z)", "plain(x)"}},
        ParseCase{"only kind 0 rows join a group", words({"-ai"}), {"alpha(0:)", "unknown(i)"}},
        ParseCase{"whole name before letter row", words({"-all", "x", "y"}), {"all(2:x,y)"}},
        // Kind 1: the rest of the word is the text, possibly empty.
        ParseCase{"kind 1 texts", words({"-i+", "-i", "-index"}), {"i(1:+)", "i(1:)", "i(1:ndex)"}},
        ParseCase{"kind 4 before kind 1 of the same letter", words({"-if", "a", "-i-"}),
                  {"if(1:a|-i-)", "i(1:-)"}},
        // Kind 2: the text, then the offered words; the result says how many are consumed.
        ParseCase{"kind 2 text and words", words({"-wfoo", "a", "b", "c"}), {"w(3:foo,a,b)", "plain(c)"}},
        ParseCase{"kind 2 stops at a switch", words({"-w", "a", "-verbose"}), {"w(2:,a)", "verbose(0:)"}},
        ParseCase{"kind 2 last word", words({"-wx"}), {"w(1:x)"}},
        // Kind 4: count rule 0 stops at any switch word.
        ParseCase{"rule 0", words({"-list", "a", "b", "-verbose"}),
                  {"list(2:a,b|-verbose)", "verbose(0:)"}},
        ParseCase{"rule 0 limited by maxArgs", words({"-list", "a", "b", "c", "d"}),
                  {"list(3:a,b,c|d)", "plain(d)"}},
        ParseCase{"maxArgs 1 as the last word", words({"-one"}), {"one(0:)"}},
        // Count rule 1 offers everything, switches included.
        ParseCase{"rule 1", words({"-all", "-verbose", "x"}), {"all(2:-verbose,x)"}},
        // Count rule 2: switches named in the word list are offered.
        ParseCase{"rule 2", words({"-if", "a", "-or", "b", "-and", "-verbose", "c"}),
                  {"if(4:a,-or,b,-and|-verbose,c)", "verbose(0:)", "plain(c)"}},
        ParseCase{"rule 2 is case-sensitive", words({"-if", "a", "-OR", "b"}),
                  {"if(1:a|-OR,b)", "unknown(OR)", "plain(b)"}},
        ParseCase{"rule 2 stops at a lone prefix", words({"-if", "a", "-", "b"}),
                  {"if(1:a|-,b)", "unknown()", "plain(b)"}},
        // Count rule 3: switches named in the word list end the offer; others do not.
        ParseCase{"rule 3", words({"-upto", "a", "-verbose", "-end", "b"}),
                  {"upto(2:a,-verbose|-end,b)", "unknown(end)", "plain(b)"}},
        ParseCase{"unknown count rule offers nothing", words({"-odd", "a"}), {"odd(0:|a)", "plain(a)"}},
        // Handler results.
        ParseCase{"result 0 leaves the words to the parser", words({"-zero", "a", "-verbose"}),
                  {"zero(2:a,-verbose)", "plain(a)", "verbose(0:)"}},
        ParseCase{"result above the offer skips words", words({"-skip", "a", "b", "c", "d"}),
                  {"skip(1:a|b,c,d)", "plain(d)"}},
        ParseCase{"result beyond the end", words({"-skip", "a"}), {"skip(1:a)"}},
        // Prefixes.
        ParseCase{"slash prefix", words({"/list", "a", "/verbose"}), {"list(1:a|/verbose)", "verbose(0:)"}},
        ParseCase{"slash is plain with dash only", words({"/list", "a"}), {"plain(/list)", "plain(a)"}, "-"},
        ParseCase{"lone prefix", words({"-"}), {"unknown()"}},
        ParseCase{"kind 9 never matches", words({"-ghost"}), {"unknown(ghost)"}},
        ParseCase{"program name is skipped", std::vector<std::string>{"-verbose"}, {}}),
    [](const auto& info) {
        std::string name = info.param.title;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(ParseSwitches, NegativeResultEndsTheRunSilently) {
    Recorder r;
    std::vector<SwitchSpec> rows = table(r);
    std::vector<std::string> w = words({"-neg", "a", "-verbose"});
    try {
        r.parser().parseSwitches(w, rows);
        FAIL() << "no Fatal";
    } catch (const Fatal& f) {
        EXPECT_EQ(f.status, 1);
        EXPECT_EQ(f.stream, Fatal::Stream::None);
        EXPECT_TRUE(f.text.empty());
    }
    EXPECT_EQ(r.log, std::vector<std::string>{"neg(1:a|-verbose)"});
}

TEST(ParseSwitches, KindTwoTakesMoreThanNinetyNineWords) {
    Recorder r;
    std::vector<SwitchSpec> rows = table(r);
    std::vector<std::string> w{"prog", "-qtext"};
    for (int i = 0; i < 140; ++i) w.push_back("w" + std::to_string(i));
    int offered = -1;
    std::string last;
    rows.back().handler = [&](int count, std::span<const std::string> ws) {
        offered = count;
        last = ws.back();
        return count - 1;
    };
    r.parser().parseSwitches(w, rows);
    EXPECT_EQ(offered, 141);
    EXPECT_EQ(last, "w139");
    EXPECT_TRUE(r.log.empty());
}

TEST(InWordList, MatchesWholeWordsOnly) {
    struct Case {
        const char* list;
        const char* name;
        bool in;
    } cases[] = {
        {"or and", "or", true},     {"or and", "and", true},    {" \t\vor\n\f\r", "or", true},
        {"or and", "o", false},     {"or and", "r", false},     {"oror", "or", false},
        {"or and", "or and", false}, {"or", "", false},         {"", "or", false},
        {"", "", false},            {"   ", "", false},         {"i i- i+", "i+", true},
        {"Or", "or", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(inWordList(c.list, c.name), c.in) << '"' << c.list << "\" / \"" << c.name << '"';
}

}  // namespace
}  // namespace tagsift
