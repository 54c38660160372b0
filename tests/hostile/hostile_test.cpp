// Hostile input, end to end: huge values and names, input that stops in the
// middle of things, NUL and 8-bit bytes, line ends split between reads, and
// command lines far larger than any real one. Every run must end with a clear
// result and lose nothing. The suite HostileSlow holds the runs that take
// seconds under the sanitizers (filter them with -E HostileSlow for a quick run).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile/hostile_support.h"

namespace tagsift::testing {
namespace {

using namespace std::string_literals;

struct Run {
    Run(std::string name, std::vector<std::string> args, std::string input, std::string out,
        int status = 0, std::string responseFile = {})
        : name(std::move(name)), args(std::move(args)), input(std::move(input)), out(std::move(out)),
          status(status), responseFile(std::move(responseFile)) {}
    std::string name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
    int status;
    std::string responseFile;  // when set, written to a file whose path follows "--f" in args
};

// For outputs of megabytes: where they differ, not both texts.
::testing::AssertionResult sameText(const std::string& expected, const std::string& got) {
    if (expected == got) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < expected.size() && at < got.size() && expected[at] == got[at]) ++at;
    auto around = [at](const std::string& s) {
        std::size_t from = at < 20 ? 0 : at - 20;
        return ::testing::PrintToString(s.substr(from, 60));
    };
    return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes, got " << got.size()
                                         << "; first difference at byte " << at << ": expected ..."
                                         << around(expected) << "..., got ..." << around(got) << "...";
}

void expectRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        ScratchDir dir;
        std::vector<std::string> args = run.args;
        if (!run.responseFile.empty()) {
            std::string path = dir.write("words", run.responseFile);
            for (std::size_t i = 0; i + 1 < args.size(); ++i)
                if (args[i] == "--f") args[i + 1] = path;
        }
        RunResult r = runBinary(binaryPath(), args, run.input);
        EXPECT_TRUE(sameText(run.out, r.out));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, run.status);
    }
}

std::string repeated(const std::string& piece, std::size_t times) {
    std::string s;
    s.reserve(piece.size() * times);
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
        if (c == '"' || c == '\n' || c == 26) c = 'v';
        value.push_back(static_cast<char>(c));
    }
    RunResult r = runBinary(binaryPath(), {"-tag", "a", "-out", "[$href$]\\n"},
                            "<p>x</p><a id=1 href=\"" + value + "\" title='t'>after<a href=2>");
    EXPECT_TRUE(sameText("[" + value + "]\n[2]\n", r.out));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Hostile, MegabyteTagName) {
    std::string name;
    for (std::size_t i = 0; name.size() < (1u << 20); ++i)
        name.push_back("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_:.\xc3\xa9"[i % 41]);
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    expectRuns({
        {"copied whole by a region, start and end tag",
         {"-tag", "p", "-out", "[$_body$]"},
         "<p><" + name + " k=\"v>\">in</" + name + "></p>",
         "[<" + name + " k=\"v>\">in</" + name + ">]"},
        // A command line cannot hold a megabyte word; a response file can.
        {"a rule of that name, matched ignoring case",
         {"--f", ""},
         "\n  <" + name + " x=1><a>",
         name + ":2:3\n" + "a:2:" + std::to_string(name.size() + 9) + "\n",
         0,
         "-tag " + lower + " -out '$_name$:$_line$:$_pos$\\n' -tag a -out '$_name$:$_line$:$_pos$\\n'"},
    });
}

TEST(Hostile, InputEndingInsideThings) {
    const std::vector<std::string> href = {"-tag", "a", "-out", "$href$\\n"};
    expectRuns({
        {"comment left open", href, "<a href=x><!-- <a href=y> never closed", "x\n"},
        {"comment opener at the very end: its name is cut", href, "<a href=x><!--", "x\n" + kEofInTag, 1},
        {"comment ended by dashes only", href, "<a href=x><!-- --", "x\n"},
        {"quote left open in a tag without a rule", href, "<a href=x><b title=\"<a href=y>", "x\n"},
        {"rest of a tag without a rule", href, "<a href=x><b c=d", "x\n"},
        {"double quote left open in a rule's tag", href, "<a href=x><a href=\"y>", "x\n" + kEofInTag, 1},
        {"single quote left open in a rule's tag", href, "<a href=x><a href='y>", "x\n" + kEofInTag, 1},
        {"input ends after '<'", href, "<a href=x><", "x\n" + kEofInTag, 1},
        {"input ends in a tag name", href, "<a href=x><abc", "x\n" + kEofInTag, 1},
        {"input ends after '='", href, "<a href=x><a href=", "x\n" + kEofInTag, 1},
        {"input ends in an unquoted value", href, "<a href=x><a href=y", "x\n" + kEofInTag, 1},
        {"region open when a comment runs to the end",
         {"-tag", "p", "-out", "[$_body$]"}, "<p>abc<!-- x", "[abc<!-- x"},
    });
}

TEST(Hostile, NulAndHighBytes) {
    expectRuns({
        {"in quoted and unquoted values and the whole tag",
         {"-tag", "a", "-out", "$href$|$t$|$_tag$\\n"},
         "<a href=\"x\0y\xff\" t=\x80\0\xfe>"s,
         "x\0y\xff|\x80\0\xfe|<a href=\"x\0y\xff\" t=\x80\0\xfe>\n"s},
        {"in tag and rule names, case folded for ASCII letters only",
         {"-tag", "\xe9t\xc9", "-out", "[$_name$]"},
         "<\xe9T\xc9><\xc9t\xc9><\xe9t\xe9>",
         "[\xe9T\xc9]"},
        {"in attribute names, case folded for ASCII letters only",
         {"-tag", "a", "-out", "$\xe9$|$\xc9Z$|$_tag$"},
         "<a \xe9=1 \xc9z=2>",
         "1|2|<a \xe9=1 \xc9z=2>"},
        {"in text, tags and comments copied by a region",
         {"-tag", "p", "-out", "[$_body$]"},
         "<p>a\0b\xff\x80<i\0 \xfe>c<!-- \0 -->\xc3\xa9</p>"s,
         "[a\0b\xff\x80<i\0 \xfe>c<!-- \0 -->\xc3\xa9]"s},
        {"NUL in rule, attribute and format words from a response file",
         {"--f", ""},
         "<a\0b n\0m=\"v\0w\"><ab n\0m=z>"s,
         "v\0w\0|\na\0b"s,
         0,
         // The raw NUL is printed; the escape \0 ends its literal.
         "-tag a\0b -out '$n\0m$\0|\\n$_name$\\0gone\\n'"s},
        {"NUL and high bytes in a pattern and the value it matches",
         {"-tag", "a", "-if", "href=y\xff$", "-out", "$href$\\n"},
         "<a href=\"x\0y\xff\"><a href=y\xfe><a href=\"y\xff\0\">"s,
         "x\0y\xff\n"s},
        {"NUL inside a pattern from a response file",
         {"--f", ""},
         "<a href=\"ax\0yb\"><a href=axyb><a href=\"AX\0YB\">"s,
         "ax\0yb\nAX\0YB\n"s,
         0,
         "-tag a -if 'href=x\0y' -out '$href$\\n'"s},
    });
}

// Text-mode reading: a CR directly before an LF is dropped, wherever the read
// blocks (256 KiB from a file) happen to split the pair; any other CR stays.
std::string textMode(const std::string& in) {
    std::string s;
    for (std::size_t i = 0; i < in.size(); ++i)
        if (!(in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n')) s.push_back(in[i]);
    return s;
}

TEST(HostileSlow, CrLfSplitAtReadBlockEdges) {
    constexpr std::size_t kBlock = 1 << 18;
    std::string in = "<body>";
    auto fillTo = [&](std::size_t offset) { in.append(offset - in.size(), 'x'); };
    fillTo(kBlock - 1);  // the first block ends between CR and LF
    in += "\r\n<a t=1>";
    // A held CR shifts the later edges by a byte, so past the first edge runs
    // of pairs cover every alignment.
    fillTo(2 * kBlock - 24);
    in += repeated("\r\n", 24) + "<a t=2>";
    fillTo(3 * kBlock - 24);
    in += repeated("\rx", 24) + "<a t=3>";  // lone CRs
    fillTo(4 * kBlock - 36);
    in += repeated("\r\r\n", 24) + "<a t=4>";
    fillTo(5 * kBlock - 40);
    in += "<a t=\"" + repeated("\r\n", 24) + "\">";
    fillTo(6 * kBlock - 8);
    in += "<i>\r\n<a t=6>\r";  // and a CR as the very last byte

    std::string text = textMode(in);
    std::string body = "[" + text.substr(6);
    for (char& c : body)
        if (c == '\n') c = ' ';
    std::string lines;
    long long line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') ++line;
        if (text.compare(i, 6, "<a t=\"") == 0) {
            std::size_t end = text.find('"', i + 6);
            std::string value = text.substr(i + 6, end - i - 6);
            for (char& c : value)
                if (c == '\n') c = ' ';
            lines += std::to_string(line) + ":" + value + "\n";
        } else if (text.compare(i, 5, "<a t=") == 0) {
            lines += std::to_string(line) + ":" + text.substr(i + 5, 1) + "\n";
        }
    }

    ScratchDir dir;
    std::string file = dir.write("input.html", in);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    for (const Case& c : {Case{{"-tag", "body", "-out", "[$_body$]"}, body},
                          Case{{"-tag", "a", "-out", "$_line$:$t$\\n"}, lines}}) {
        std::vector<std::string> args{file};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult fromFile = runScript("f=$1; shift; exec \"$0\" \"$@\" < \"$f\"", args);
        EXPECT_TRUE(sameText(c.out, fromFile.out)) << "from a file, " << c.args[1];
        EXPECT_EQ(fromFile.status, 0);
        RunResult fromPipe = runBinary(binaryPath(), c.args, in);
        EXPECT_TRUE(sameText(c.out, fromPipe.out)) << "from a pipe, " << c.args[1];
        EXPECT_EQ(fromPipe.status, 0);
    }
}

TEST(HostileSlow, TenThousandRules) {
    std::vector<std::string> distinct, sameName;
    for (int i = 0; i < 10000; ++i) {
        std::string n = std::to_string(i);
        distinct.insert(distinct.end(), {"-tag", "t" + n, "-out", n + ","});
        sameName.insert(sameName.end(), {"-tag", "a", "-if", "n==" + n, "-out", n + ":$_num$/$_gnum$ "});
    }
    expectRuns({
        {"ten thousand names", distinct, "<T9999><t0><t5000 x=1><t10000><t-1><t09>", "9999,0,5000,"},
        {"ten thousand rules of one name, newest first",
         sameName,
         "<a n=7777><a n=0><a n=7777><a n=10000><a><a n=9999>",
         "7777:1/1 0:1/2 7777:2/3 9999:1/4 "},
    });
}

TEST(Hostile, HundredWordConditions) {
    std::vector<std::string> all, tooMany, nested, negated, unbalanced;
    for (int i = 0; i < 100; ++i) all.push_back("a" + std::to_string(i));
    tooMany = all;
    tooMany.push_back("a100");
    for (int i = 0; i < 49; ++i) nested.push_back("[");
    nested.push_back("x");
    for (int i = 0; i < 49; ++i) nested.push_back("]");
    nested.push_back("y");
    // 33 negations of x, or any of 15 z, or z and w: 33 + 1 + 33 + 32 + 1 words.
    for (int i = 0; i < 33; ++i) negated.push_back("![");
    negated.push_back("x");
    for (int i = 0; i < 33; ++i) negated.push_back("]");
    for (int i = 0; i < 16; ++i) negated.insert(negated.end(), {"-or", "z"});
    negated.push_back("w");
    unbalanced.assign(all.begin(), all.begin() + 99);
    unbalanced.push_back("]");

    auto rule = [](const std::vector<std::string>& words) {
        std::vector<std::string> args{"-tag", "p", "-if"};
        args.insert(args.end(), words.begin(), words.end());
        args.insert(args.end(), {"-out", "$id$;"});
        return args;
    };
    std::string every, allButOne = " id=2";
    for (const std::string& w : all) {
        every += " " + w;
        if (w != "a57") allButOne += " " + w;
    }
    const std::string usage =
        "Tagsifter 1.2\nUssage: tagsift -tag tagname -if condition -out 'format'\n"
        "  condition : argname | !argname | argname=regexp | ... : see tagsift.txt\n";

    expectRuns({
        {"one hundred tests", rule(all), "<p id=1" + every + "><p" + allButOne + ">", "1;"},
        {"49 nested groups", rule(nested), "<p id=1 x y><p id=2 x><p id=3 y>", "1;"},
        {"33 negated groups and alternatives",
         rule(negated),
         "<p id=1><p id=2 x><p id=3 x z><p id=4 x w><p id=5 x z w>",
         "1;3;5;"},
        {"a closing bracket too many", rule(unbalanced), "<p>", "\nError: ] without [ or ![.\n", 1},
    });
    // The 101st word is no longer part of the list but a plain word.
    RunResult r = runBinary(binaryPath(), rule(tooMany), "<p>");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, usage);
    EXPECT_EQ(r.status, 1);
}

TEST(Hostile, NestedAndUnclosedBodyRegions) {
    expectRuns({
        {"ten thousand nested elements of one rule: each match closes the region before",
         {"-tag", "div", "-out", "<%t$_body$>"},
         repeated("<div>x", 10000) + "y" + repeated("</div>", 10000) + "tail",
         repeated("<x>", 9999) + "<xy>"},
        {"a hundred thousand nested tags without a rule inside one region",
         {"-tag", "p", "-out", "[$_body$]"},
         "<p>" + repeated("<i>", 100000) + "z" + repeated("</i>", 100000) + "</p>after",
         "[" + repeated("<i>", 100000) + "z" + repeated("</i>", 100000) + "]"},
        {"regions never closed by an end tag",
         {"-tag", "p", "-out", "[%t$_body$]\\n"},
         "<p>a<b>b</b><p>c<p>d",
         "[ab]\n[c]\n[d"},
        {"a hundred thousand unclosed regions",
         {"-tag", "p", "-out", "[%t$_body$]\\n"},
         repeated("<p>t", 100000),
         repeated("[t]\n", 99999) + "[t"},
        {"only the region's own end tag closes it",
         {"-tag", "a", "-out", "(%t$_body$)", "-tag", "b", "-out", "{%t$_body$}"},
         "<a>1<b>2</a>3</b>4",
         "(1){23}"},
    });
}

// Inputs that fuzzing once found faulty, kept as they were found.
TEST(Hostile, FuzzFindings) {
    expectRuns({
        // Tag names that begin in one 64-byte window of the scanner and end in a later one.
        {"names running across scanner windows",
         {"-tag", "abcdefghijklmnopqrstuvw]xyz", "-out", "[$_name$]"},
         "<abcdegjfkhilmnopqrstuvw`xy><ABCDEFGHIJKLMNOPQRSTUVWXYZ><abcdefghijklmnopqrstuvwxyzz>" +
             std::string(100, '\n') + "<" + std::string(200, 'n') + "><ABCDEFGHIJKLMNOPQRSTUVW]XYZ>",
         "[ABCDEFGHIJKLMNOPQRSTUVW]XYZ]"},
    });
}

TEST(Hostile, ResponseFileOfHundredThousandWords) {
    std::string words;
    for (int i = 0; i < 25000; ++i) {
        std::string n = std::to_string(i);
        // Blanks, tabs and line ends all separate words; a quoted word keeps its blank.
        words += "-tag" + std::string(i % 3 ? " " : "\t") + "t" + n + " -out '" + n + " $_num$\\n'\n";
    }
    expectRuns({
        {"25,000 rules of four words each",
         {"--f", ""},
         "<t24999><t0><t12345><T12345><t25000>",
         "24999 1\n0 1\n12345 1\n12345 2\n",
         0,
         words},
    });
}

}  // namespace
}  // namespace tagsift::testing
