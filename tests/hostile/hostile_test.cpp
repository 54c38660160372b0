// Hostile input, end to end: huge values and names, input that stops in the
// middle of things, NUL and 8-bit bytes, line ends split between reads, and
// command lines far larger than any real one. Every run must end with a clear
// result and lose nothing. The suite HostileSlow holds the runs that take
// seconds under the sanitizers (filter them with -E HostileSlow for a quick run).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

using namespace std::string_literals;
using Words = std::vector<std::string>;

struct Run {
    std::string name;
    Words args;
    std::string input, out;
    int status = 0;
    std::string responseFile = {};  // when set, written to a file whose path follows "--f" in args
};

// For outputs of megabytes: where they differ, not both texts.
::testing::AssertionResult sameText(const std::string& expected, const std::string& got) {
    if (expected == got) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < expected.size() && at < got.size() && expected[at] == got[at]) ++at;
    return ::testing::AssertionFailure() << expected.size() << " bytes expected, " << got.size() << " got, first difference at "
                                         << at << ": " << ::testing::PrintToString(got.substr(at < 20 ? 0 : at - 20, 60));
}

void expectRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        ScratchDir dir;
        Words args = run.args;
        for (std::size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == "--f") args[i + 1] = dir.write("words", run.responseFile);
        RunResult r = runBinary(binaryPath(), args, run.input);
        EXPECT_TRUE(sameText(run.out, r.out));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, run.status);
    }
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string s;
    for (std::size_t i = 0; i < times; ++i) s += piece;
    return s;
}

const std::string kEofInTag = "Error: EOF inside a tag - corrupted HTML code!\n";

TEST(HostileSlow, FiftyMegabyteQuotedValueComesBackWhole) {
    // Every byte value but the closing quote, the line feed (read as a blank) and
    // ^Z (the end of text-mode input); '>', the other quote and lone CRs stay.
    std::string value;
    value.reserve(50'000'000);
    for (std::size_t i = 0; value.size() < 50'000'000; ++i) {
        auto c = static_cast<unsigned char>(i * 131 + (i >> 9));
        value.push_back(c == '"' || c == '\n' || c == 26 ? 'v' : static_cast<char>(c));
    }
    expectRuns({{"value", {"-tag", "a", "-out", "[$href$]\\n"},
                 "<p>x</p><a id=1 href=\"" + value + "\" title='t'>after<a href=2>", "[" + value + "]\n[2]\n"}});
}

// Input that ends inside things: inside a rule's tag an error, elsewhere just the end.
TEST(Hostile, InputEndingInsideThings) {
    const std::pair<const char*, bool> cuts[] = {  // what follows "<a href=x>", and whether a rule's tag is cut
        {"<!-- <a href=y> never closed", false}, {"<!--", true}, {"<!-- --", false}, {"<b title=\"<a href=y>", false},
        {"<b c=d", false}, {"<a href=\"y>", true}, {"<a href='y>", true}, {"<", true}, {"<abc", true}, {"<a ", true},
        {"<a hr", true}, {"<a href=", true}, {"<a href=y", true}};
    for (const auto& [rest, cut] : cuts)
        expectRuns({{rest, {"-tag", "a", "-out", "$href$\\n"}, "<a href=x>"s + rest, cut ? "x\n" + kEofInTag : "x\n", cut}});
    expectRuns({{"region", {"-tag", "p", "-out", "[$_body$]"}, "<p>abc<!-- x", "[abc<!-- x"}});
}

TEST(Hostile, NulAndHighBytes) {
    expectRuns({
        {"in quoted and unquoted values and the whole tag", {"-tag", "a", "-out", "$href$|$t$|$_tag$\\n"},
         "<a href=\"x\0y\xff\" t=\x80\0\xfe>"s, "x\0y\xff|\x80\0\xfe|<a href=\"x\0y\xff\" t=\x80\0\xfe>\n"s},
        // The raw NUL is printed; the escape \0 ends its literal.
        {"NUL in rule, attribute and format words from a response file", {"--f", ""},
         "<a\0b n\0m=\"v\0w\"><ab n\0m=z>"s, "v\0w\0|\na\0b"s, 0,
         "-tag a\0b -out '$n\0m$\0|\\n$_name$\\0gone\\n'"s},
        {"NUL and high bytes in a pattern and the value it matches",
         {"-tag", "a", "-if", "href=y\xff$", "-out", "$href$\\n"},
         "<a href=\"x\0y\xff\"><a href=y\xfe><a href=\"y\xff\0\">"s, "x\0y\xff\n"s},
    });
}

// Read from a file, blocks are 256 KiB: a CR LF pair split by a block's end,
// then runs of pairs, lone CRs and CR CR LF that cover every alignment of
// later edges (a held CR shifts them by a byte), and a CR as the last byte.
TEST(HostileSlow, CrLfSplitAtReadBlockEdges) {
    constexpr std::size_t kBlock = 1 << 18;
    const std::string pieces[] = {"\r\n", repeated("\r\n", 24), repeated("\rx", 24), repeated("\r\r\n", 24)};
    std::string in = "<p>", out = "[";
    for (std::size_t k = 0; k < 4; ++k) {
        in.append((k + 1) * kBlock - pieces[k].size() / 2 - in.size(), 'x');
        in += pieces[k] + "<a>";
    }
    in += "\r";
    for (std::size_t i = 3; i < in.size(); ++i)
        if (in[i] != '\r' || i + 1 == in.size() || in[i + 1] != '\n') out += in[i] == '\n' ? ' ' : in[i];
    ScratchDir dir;
    RunResult r = runScript("f=$1; shift; exec \"$0\" \"$@\" < \"$f\"",
                            {dir.write("input.html", in), "-tag", "p", "-out", "[$_body$]"});
    EXPECT_TRUE(sameText(out, r.out));
    EXPECT_EQ(r.status, 0);
}

TEST(HostileSlow, TenThousandRules) {
    Words sameName;
    std::string words;
    for (int i = 0; i < 10000; ++i) {
        const std::string n = std::to_string(i);
        sameName.insert(sameName.end(), {"-tag", "a", "-if", "n==" + n, "-out", n + ":$_num$/$_gnum$ "});
        // Blanks, tabs and line ends separate words in a file; a quoted word keeps its blank.
        words += "-tag" + std::string(i % 3 ? " " : "\t") + "t" + n + " -out '" + n + " $_num$\\n'\n";
    }
    // And a rule name of a megabyte, which only a file can hold, matched ignoring case.
    words += "-tag " + repeated("name_:.\xc3\xa9", 1 << 17) + " -out '$_line$:$_pos$\\n'";
    expectRuns({
        {"ten thousand rules of one name, newest first", sameName,
         "<a n=7777><a n=0><a n=7777><a n=10000><a><a n=9999>", "7777:1/1 0:1/2 7777:2/3 9999:1/4 "},
        {"ten thousand rules from a response file", {"--f", ""}, "<t9999><t0><t1234><T1234><t10000>\n <" + repeated("NAME_:.\xc3\xa9", 1 << 17) + " x>",
         "9999 1\n0 1\n1234 1\n1234 2\n2:2\n", 0, words},
    });
}

TEST(Hostile, HundredWordConditions) {
    Words all;
    for (int i = 0; i <= 100; ++i) all.push_back("a" + std::to_string(i));
    const Words tooMany = all;
    all.pop_back();

    auto rule = [](const Words& words) {
        Words args{"-tag", "p", "-if"};
        args.insert(args.end(), words.begin(), words.end());
        args.insert(args.end(), {"-out", "$id$;"});
        return args;
    };
    std::string every, allButOne = " id=2";
    for (const std::string& w : all) {
        every += " " + w;
        if (w != "a57") allButOne += " " + w;
    }
    expectRuns({
        {"one hundred tests", rule(all), "<p id=1" + every + "><p" + allButOne + ">", "1;"},
    });
    // The 101st word is no longer part of the list but a plain word.
    RunResult r = runBinary(binaryPath(), rule(tooMany), "<p>");
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Ussage:"), std::string::npos) << r.err;
    EXPECT_EQ(r.status, 1);
}

TEST(Hostile, NestedAndUnclosedBodyRegions) {
    expectRuns({
        {"ten thousand nested elements of one rule: each match closes the region before",
         {"-tag", "div", "-out", "<%t$_body$>"}, repeated("<div>x", 10000) + "y" + repeated("</div>", 10000) + "tail",
         repeated("<x>", 9999) + "<xy>"},
        {"a hundred thousand nested tags without a rule inside one region", {"-tag", "p", "-out", "[$_body$]"},
         "<p>" + repeated("<i>", 100000) + "z" + repeated("</i>", 100000) + "</p>after",
         "[" + repeated("<i>", 100000) + "z" + repeated("</i>", 100000) + "]"},
        // Found by fuzzing: names that begin in one 64-byte window of the scanner and end in a later one.
        {"names running across scanner windows", {"-tag", "abcdefghijklmnopqrstuvw]xyz", "-out", "[$_name$]"},
         "<abcdegjfkhilmnopqrstuvw`xy><ABCDEFGHIJKLMNOPQRSTUVWXYZ><abcdefghijklmnopqrstuvwxyzz>" +
             std::string(100, '\n') + "<" + std::string(200, 'n') + "><ABCDEFGHIJKLMNOPQRSTUVW]XYZ>",
         "[ABCDEFGHIJKLMNOPQRSTUVW]XYZ]"},
    });
}

}  // namespace
}  // namespace tagsift::testing
