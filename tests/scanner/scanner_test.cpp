// The scanner over in-memory input, with block sizes small enough to split
// every line end, comment opener and tag between two reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fatal.h"
#include "scanner/scanner.h"

namespace tagsift {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;

struct Harness {
    Harness(std::string text, std::size_t blockSize)
        : in(Input::fromText(std::move(text), blockSize)),
          scanner(in, out, body, [this] {
              if (!body.active) return;
              body.active = false;
              out.write("{closed}");
          }) {}

    // What the main loop does with tags that no rule names.
    void skipUnwanted() {
        if (scanner.echoingTags()) out.write(scanner.tagName);
        scanner.skipTagRest();
    }

    std::string output() {
        out.flush();
        return out.collected();
    }

    Input in;
    Output out{-1};
    BodyCapture body;
    Scanner scanner;
};

constexpr std::size_t kBlockSizes[] = {1, 2, 3, 5, 7, 1 << 16};

// Every tag as "name@line:column", each one skipped like a tag without a rule.
Strings tagsOf(const std::string& text, std::size_t blockSize) {
    Harness h(text, blockSize);
    Strings tags;
    try {
        while (h.scanner.nextTag()) {
            tags.push_back(h.scanner.tagName + "@" + std::to_string(h.scanner.tagLine) + ":" +
                           std::to_string(h.scanner.tagColumn));
            h.scanner.skipTagRest();
        }
    } catch (const Fatal& f) {
        tags.push_back(f.text);
    }
    EXPECT_EQ(h.output(), "") << "nothing is echoed without a region";
    return tags;
}

TEST(NextTag, FindsTagsAndTheirPlaces) {
    struct Case {
        std::string text;
        Strings tags;
    } cases[] = {
        {"", {}},
        {"no tags at all\n", {}},
        {"<a>", {"a@1:1"}},
        {"x\n\t<b>", {"b@2:2"}},
        {"<a>\n<b>", {"a@1:1", "b@2:1"}},
        // A name ended by a line end: the pushed-back line end is read again as
        // a blank in column 1, so the rest of that line counts one too high.
        {"<a\nx><b>", {"a@1:1", "b@2:4"}},
        {"<a\n>\n<b>", {"a@1:1", "b@3:1"}},
        {"<a>\r\n<b>\r\n\r\n<c>", {"a@1:1", "b@2:1", "c@4:1"}},
        {"<a>\r<b>", {"a@1:1", "b@1:5"}},         // a lone carriage return is a character
        {"\r\r\n<b>", {"b@2:1"}},
        {"<a>\x1a<b>", {"a@1:1"}},                 // byte 26 ends the input
        {"<a>\x1a\n<b>", {"a@1:1"}},
        {"a < b > c", {"@1:3"}},
        {"<A HREF=x></A>", {"A@1:1", "/A@1:11"}},
        {"<br/>", {"br/@1:1"}},
        {"<a\0b>"s, {"a\0b@1:1"s}},
        {"<\xe9t\xe9>", {"\xe9t\xe9@1:1"}},
        {"<a\fb><c\td><e\rf>", {"a@1:1", "c@1:6", "e@1:11"}},
        {"<a\vb>", {"a\vb@1:1"}},                  // a vertical tab is not a delimiter
        {"<a=b>", {"a@1:1"}},
        // Quoted stretches inside the rest of a tag.
        {"<a title='>' x=\">\">after<b>", {"a@1:1", "b@1:25"}},
        {"<a t=\"it's\"><b>", {"a@1:1", "b@1:13"}},
        {"<a '>", {"a@1:1"}},
        {"<a \"x\n<b>\n\"><c>", {"a@1:1", "c@3:3"}},
        // Comments.
        {"<!-- <x> -->\n<b>", {"b@2:1"}},
        {"<!-->x--><b>", {"b@1:10"}},
        {"<!-- a -- b ---><c>", {"c@1:17"}},
        {"<!-- a --\n> --><c>", {"c@2:6"}},
        {"<!---><c>", {"!---@1:1", "c@1:7"}},     // "!---" is a name, not a comment opener
        {"<!-- -- --> <c>", {"c@1:13"}},
        {"<!--x-- y><c>", {"!--x--@1:1", "c@1:11"}},
        {"<!--\n<b>", {}},
        {"<!--\t--><b>", {"b@1:9"}},
        {"<x><!-- c --><!----><y>", {"x@1:1", "!----@1:14", "y@1:21"}},
    };
    for (const Case& c : cases)
        for (std::size_t bs : kBlockSizes)
            EXPECT_EQ(tagsOf(c.text, bs), c.tags) << '"' << c.text << "\" in blocks of " << bs;
}

// A region is open from the start; tags without a rule are skipped as the main loop does.
struct RegionCase {
    std::string text;
    std::string all;       // $_body$: text, tags and comments
    std::string noComments;  // %c$_body$
    std::string textOnly;  // %t$_body$
};

std::string region(const std::string& text, bool tags, bool comments, std::size_t bs) {
    Harness h(text, bs);
    h.body.active = true;
    h.body.echoTags = tags;
    h.body.echoComments = comments;
    h.body.endName = "p";
    try {
        while (h.scanner.nextTag()) h.skipUnwanted();
    } catch (const Fatal& f) {
        h.out.write(f.text);
    }
    return h.output();
}

// A deterministic page of text, both kinds of line ends, tags, quotes, comments.
std::string mixedPage(unsigned seed, int pieces) {
    const char* parts[] = {
        "text ", "\n", "\r\n", "\r", "  ", "<a href=\"x>y\">", "<b t='it\"s'>", "</p>", "</P >",
        "<!-- <a> -- -->", "<!---->", "<!-->", "--->", "<p\nclass=c>", "<br/>", "<>", "a < b ", "\t",
        "<x y=\"\n\">", "\"", "'", ">",
    };
    std::string page;
    for (int i = 0; i < pieces; ++i) {
        seed = seed * 1103515245u + 12345u;
        page += parts[(seed >> 16) % std::size(parts)];
    }
    if (seed % 3 == 0) page += "<late>\x1a<gone>";
    return page;
}

TEST(NextTag, PlacesAndEchoDoNotDependOnBlockSize) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::string page = mixedPage(seed, 400);
        Strings whole = tagsOf(page, 1 << 16);
        EXPECT_GT(whole.size(), 20u) << page;
        for (std::size_t bs : {std::size_t{1}, std::size_t{2}, std::size_t{63}, std::size_t{64}, std::size_t{65}})
            ASSERT_EQ(tagsOf(page, bs), whole) << "seed " << seed << ", blocks of " << bs << "\n" << page;
        for (bool tags : {false, true}) {
            std::string echoed = region(page, tags, tags, 1 << 16);
            for (std::size_t bs : {std::size_t{1}, std::size_t{64}, std::size_t{65}})
                ASSERT_EQ(region(page, tags, tags, bs), echoed) << "seed " << seed << ", blocks of " << bs;
        }
    }
}

TEST(NextTag, LongNamesStayWhole) {
    std::string name(100000, 'n');
    name[5000] = '\0';
    for (std::size_t bs : {std::size_t{7}, std::size_t{1} << 16})
        EXPECT_EQ(tagsOf("<" + name + " x>\n<b>", bs), (Strings{name + "@1:1", "b@2:1"}));
}

TEST(NextTag, EndOfInputInsideANameIsFatal) {
    for (std::string text : {"<", "text <abc", "<!-"}) {
        Harness h(text, 2);
        try {
            h.scanner.nextTag();
            FAIL() << text;
        } catch (const Fatal& f) {
            EXPECT_EQ(f.stream, Fatal::Stream::Out);
            EXPECT_FALSE(f.banner);
            EXPECT_EQ(f.text, "Error: EOF inside a tag - corrupted HTML code!\n");
        }
    }
}

// Every character getChar delivers, with the line and column after it.
std::string trace(const std::string& text, std::size_t blockSize) {
    Harness h(text, blockSize);
    std::string out;
    for (int c; (c = h.scanner.getChar()) != Scanner::kEnd;)
        out += std::string(1, static_cast<char>(c)) + std::to_string(h.scanner.lineCount) + "." +
               std::to_string(h.scanner.columnCount) + " ";
    return out;
}

TEST(GetChar, TextModeLineEndsAtEveryBlockBoundary) {
    struct Case {
        std::string text;
        std::string trace;
    } cases[] = {
        {"a\r\nb", "a1.1  2.0 b2.1 "},
        {"\r\n\r\n", " 2.0  3.0 "},
        {"a\rb", "a1.1 \r1.2 b1.3 "},
        {"\r", "\r1.1 "},
        {"\r\r\n", "\r1.1  2.0 "},
        {"\r\r\r", "\r1.1 \r1.2 \r1.3 "},
        {"a\r\x1a\n", "a1.1 \r1.2 "},
        {"\r\x1a", "\r1.1 "},
        {"ab\x1a", "a1.1 b1.2 "},
        {"\x1a" "abc", ""},
        {"\n\r", " 2.0 \r2.1 "},
        {"x\r\n\r\ry\r\n", "x1.1  2.0 \r2.1 \r2.2 y2.3  3.0 "},
    };
    for (const Case& c : cases)
        for (std::size_t bs = 1; bs <= c.text.size() + 1; ++bs)
            EXPECT_EQ(trace(c.text, bs), c.trace) << '"' << c.text << "\" in blocks of " << bs;
}

TEST(GetChar, PushBackCountsColumnsAgain) {
    Harness h("ab\ncd", 1 << 16);
    Scanner& s = h.scanner;
    std::string word;
    s.readWord(word);
    EXPECT_EQ(word, "ab");
    EXPECT_EQ(s.lineCount, 2);  // the line end was read, then pushed back as a blank
    EXPECT_EQ(s.columnCount, 0);
    EXPECT_EQ(s.getChar(), ' ');
    EXPECT_EQ(s.columnCount, 1);
    EXPECT_EQ(s.getChar(), 'c');
    EXPECT_EQ(s.columnCount, 2);
    s.ungetChar('c');
    EXPECT_EQ(s.columnCount, 1);
    EXPECT_EQ(s.getChar(), 'c');
    EXPECT_EQ(s.getChar(), 'd');
    EXPECT_EQ(s.getChar(), Scanner::kEnd);
    s.ungetChar(Scanner::kEnd);
    EXPECT_EQ(s.getChar(), Scanner::kEnd);
    EXPECT_EQ(s.getChar(), Scanner::kEnd);
    EXPECT_EQ(s.lineCount, 2);
}

TEST(ReadWord, StopsAtTheSevenDelimiters) {
    for (char d : std::string(" =>\t\n\r\f")) {
        Harness h("w\x01\v/\"'" + std::string(1, d) + "rest", 3);
        std::string word;
        h.scanner.readWord(word);
        EXPECT_EQ(word, "w\x01\v/\"'") << int(d);
        EXPECT_EQ(h.scanner.getChar(), d == '\n' ? ' ' : d) << int(d);
    }
    Harness empty("=x", 3);
    std::string word = "old";
    empty.scanner.readWord(word);
    EXPECT_EQ(word, "");
}

TEST(NextTag, AnOpenRegionEchoesAsItsFlagsSay) {
    RegionCase cases[] = {
        {"text", "text", "text", "text"},
        {"a\nb\r\nc\rd", "a b c\rd", "a b c\rd", "a b c\rd"},
        {"x<b>y</b>z</p>after", "x<b>y</b>z{closed}", "x<b>y</b>z{closed}", "xyz{closed}"},
        {"x</P>y</p>z", "x{closed}", "x{closed}", "x{closed}"},
        {"x</pre>y</p >z", "x</pre>y{closed}", "x</pre>y{closed}", "xy{closed}"},
        {"x<!-- c -->y", "x<!-- c -->y", "xy", "xy"},
        {"x<!-- -->y", "x<!-- -->y", "xy", "xy"},
        {"x<!---->y", "x<!---->y", "x<!---->y", "xy"},  // a tag named "!----"
        {"x<!-- </p> -->y", "x<!-- </p> -->y", "xy", "xy"},
        {"x<b t='>' u=\"</p>\">y", "x<b t='>' u=\"</p>\">y", "x<b t='>' u=\"</p>\">y", "xy"},
        {"x<b\nt>y", "x<b t>y", "x<b t>y", "xy"},
        {"x<p>y</p>z", "x<p>y{closed}", "x<p>y{closed}", "xy{closed}"},
        {"x<b '>", "x<b '>", "x<b '>", "x"},
        {"x<!-- never closed", "x<!-- never closed", "x", "x"},
    };
    for (const RegionCase& c : cases)
        for (std::size_t bs : kBlockSizes) {
            EXPECT_EQ(region(c.text, true, true, bs), c.all) << '"' << c.text << "\" " << bs;
            EXPECT_EQ(region(c.text, true, false, bs), c.noComments) << '"' << c.text << "\" " << bs;
            EXPECT_EQ(region(c.text, false, false, bs), c.textOnly) << '"' << c.text << "\" " << bs;
        }
}

TEST(NextTag, TheClosingEndTagIsReturnedAfterTheRegionCloses) {
    Harness h("a</P x=1>b", 1 << 16);
    h.body.active = true;
    h.body.echoTags = true;
    h.body.endName = "p";
    ASSERT_TRUE(h.scanner.nextTag());
    EXPECT_FALSE(h.body.active);
    EXPECT_EQ(h.scanner.tagName, "/P");
    EXPECT_EQ(h.scanner.tagColumn, 2);
    h.scanner.skipTagRest();
    EXPECT_FALSE(h.scanner.nextTag());
    EXPECT_EQ(h.output(), "a{closed}");
}

TEST(SkipSpace, EchoesTheCharacterAfterTheWhiteSpace) {
    Harness h(" \t\n\v\f\rx", 2);
    h.body.active = true;
    h.body.echoTags = true;
    h.scanner.skipSpace();
    EXPECT_EQ(h.scanner.getChar(), 'x');
    EXPECT_EQ(h.output(), " \t \v\f\rx");

    Harness quiet(" \tx", 2);
    quiet.body.active = true;
    quiet.scanner.skipSpace();
    EXPECT_EQ(quiet.scanner.getChar(), 'x');
    EXPECT_EQ(quiet.output(), "");
}

}  // namespace
}  // namespace tagsift
