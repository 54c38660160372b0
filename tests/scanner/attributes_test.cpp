// Reading a tag's attribute list, and looking attributes up by name.
#include <gtest/gtest.h>

#include <string>

#include "base/fatal.h"
#include "tag/tag.h"
#include "scanner/scanner.h"

namespace tagsift {
namespace {

using namespace std::string_literals;

struct Reader {
    Reader(std::string text, std::size_t blockSize = 1 << 16)
        : in(Input::fromText(std::move(text), blockSize)),
          scanner(in, out, body, [this] { body.active = false; }) {}

    std::string output() {
        out.flush();
        return out.collected();
    }

    Input in;
    Output out{-1};
    BodyCapture body;
    Scanner scanner;
};

// name, then =value with its quotes when it has one; records joined by '|'.
std::string shape(const AttributeList& list) {
    std::string s;
    for (const Attribute& a : list) {
        if (!s.empty()) s += '|';
        s += a.name;
        if (!a.hasValue) {
            EXPECT_EQ(a.quote, 0) << a.name;
            EXPECT_EQ(a.value, "") << a.name;
            continue;
        }
        s += '=';
        if (a.quote) s += a.quote;
        s += a.value;
        if (a.quote) s += a.quote;
    }
    return s;
}

// Reads the attributes of the first tag of text, and returns their shape
// followed by "#" and the character after the tag.
std::string readFirst(const std::string& text, std::size_t blockSize) {
    Reader r(text, blockSize);
    EXPECT_TRUE(r.scanner.nextTag());
    AttributeList list;
    readAttributes(r.scanner, list);
    int next = r.scanner.getChar();
    return shape(list) + "#" + (next == Scanner::kEnd ? std::string("END") : std::string(1, char(next)));
}

TEST(ReadAttributes, Shapes) {
    struct Case {
        std::string tag;
        std::string shape;
    } cases[] = {
        {"<a>", "#END"},
        {"<a >.", "#."},
        {"<a\n>.", "#."},
        {"<a href>", "href#END"},
        {"<a href=>", "href=#END"},
        {"<a href=x>", "href=x#END"},
        {"<a href = x >", "href=x#END"},
        {"<a href\n=\n'x'>", "href='x'#END"},
        {"<a\tB\f=\fb\r>", "B=b#END"},
        {"<a t='a>b\"c'>", "t='a>b\"c'#END"},
        {"<a t=\"a'b>\">", "t=\"a'b>\"#END"},
        {"<a t=\"\">", "t=\"\"#END"},
        {"<a t=''x>", "t=''|x#END"},
        {"<a t='x'b=y>", "t='x'|b=y#END"},
        {"<a a=x=y>", "a=x|=y#END"},           // '=' ends an unquoted value
        {"<a a==y>", "a=|=y#END"},
        {"<a =x>", "=x#END"},
        {"<a a=x'y b=z\">", "a=x'y|b=z\"#END"}, // quotes inside an unquoted value are ordinary
        {"<a / >", "/#END"},
        {"<a a/>", "a/#END"},
        {"<a a=b/>", "a=b/#END"},
        {"<a a b c>", "a|b|c#END"},
        {"<a a=1 A=2 a=3>", "a=1|A=2|a=3#END"},
        {"<a t='line\nbreak'>", "t='line break'#END"},
        {"<a t='cr\r\nlf'>", "t='cr lf'#END"},
        {"<a t='cr\rx'>", "t='cr\rx'#END"},
        {"<a t='a\0b' u=c\0d>"s, "t='a\0b'|u=c\0d#END"s},
        {"<a t='\xe9'>", "t='\xe9'#END"},
        {"<a b>rest", "b#r"},
    };
    for (const Case& c : cases)
        for (std::size_t bs : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 16})
            EXPECT_EQ(readFirst(c.tag, bs), c.shape) << '"' << c.tag << "\" in blocks of " << bs;
}

// A tag on one line, whole in the block, is read in place; every other one a
// character at a time. Both must leave the same records and the same place.
TEST(ReadAttributes, InPlaceAndCharacterWaysAgree) {
    const std::string pieces[] = {" ", "\t", "\v", "\n", "\r", "=", "x", "Ab", "'q'", "\"w w\"", "'\n'", "\"", ">", "\0"s};
    auto read = [](const std::string& text, std::size_t blockSize) {
        Reader r(text, blockSize);
        AttributeList list;
        try {
            EXPECT_TRUE(r.scanner.nextTag());
            readAttributes(r.scanner, list);
        } catch (const Fatal& f) {
            return "{" + f.text + "}";
        }
        return shape(list) + "@" + std::to_string(r.scanner.lineCount) + ":" + std::to_string(r.scanner.columnCount);
    };
    unsigned seed = 7;
    for (int n = 0; n < 3000; ++n) {
        std::string tag = "x\n<a";
        for (int k = n % 9; k >= 0; --k) {
            seed = seed * 1103515245u + 12345u;
            tag += pieces[(seed >> 16) % std::size(pieces)];
        }
        if (n % 2) tag += ">";
        ASSERT_EQ(read(tag, 1 << 16), read(tag, 1)) << tag;
    }
}

TEST(ReadAttributes, LongValuesComeBackWhole) {
    for (std::size_t n : {0, 1, 124, 125, 126, 1023, 1024, 1025, 1149, 1150, 100000}) {
        std::string value;
        for (std::size_t i = 0; i < n; ++i) value.push_back(static_cast<char>('a' + i % 26));
        std::string name(n, 'N');
        for (std::size_t bs : {std::size_t{7}, std::size_t{1} << 16}) {
            EXPECT_EQ(readFirst("<a " + name + "='" + value + "' v=" + value + ">", bs),
                      name + "='" + value + "'|v=" + value + "#END")
                << n << " in blocks of " << bs;
        }
    }
}

TEST(ReadAttributes, LineEndsInsideTheTagCount) {
    Reader r("<a t='x\ny'\nu=v\r\n>\n<b>");
    ASSERT_TRUE(r.scanner.nextTag());
    AttributeList list;
    readAttributes(r.scanner, list);
    ASSERT_TRUE(r.scanner.nextTag());
    EXPECT_EQ(r.scanner.tagName, "b");
    EXPECT_EQ(r.scanner.tagLine, 5);
    EXPECT_EQ(r.scanner.tagColumn, 1);
}

TEST(ReadAttributes, EndOfInputInsideTheListIsFatal) {
    for (std::string text : {"<a ", "<a b", "<a b=", "<a b = ", "<a b=c", "<a b='c", "<a b=\"c'>",
                             "<a b='c\\'"}) {
        Reader r(text, 2);
        ASSERT_TRUE(r.scanner.nextTag()) << text;
        AttributeList list;
        try {
            readAttributes(r.scanner, list);
            FAIL() << text;
        } catch (const Fatal& f) {
            EXPECT_EQ(f.stream, Fatal::Stream::Out) << text;
            EXPECT_EQ(f.text, "Error: EOF inside a tag - corrupted HTML code!\n") << text;
        }
    }
}

TEST(ReadAttributes, ARegionSeesOnlyWhatSkipSpaceEchoes) {
    for (std::size_t bs : {std::size_t{1}, std::size_t{1} << 16}) {
        Reader r("<a href=\"x\" title=y>", bs);
        r.body.active = true;
        r.body.echoTags = true;
        ASSERT_TRUE(r.scanner.nextTag());
        AttributeList list;
        readAttributes(r.scanner, list);
        EXPECT_EQ(shape(list), "href=\"x\"|title=y");
        EXPECT_EQ(r.output(), "< h=\" t=y>");
    }
    Reader quiet("<a  b = 'c' >", 1);
    quiet.body.active = true;  // text only: nothing of a tag is echoed
    ASSERT_TRUE(quiet.scanner.nextTag());
    AttributeList list;
    readAttributes(quiet.scanner, list);
    EXPECT_EQ(quiet.output(), "");
}

TEST(AttributeList, ReusedRecordsStartEmpty) {
    Reader r("<a x='1' y=2 z=\"3\"><b x y><c>");
    AttributeList list;
    ASSERT_TRUE(r.scanner.nextTag());
    readAttributes(r.scanner, list);
    EXPECT_EQ(shape(list), "x='1'|y=2|z=\"3\"");
    list.clear();
    ASSERT_TRUE(r.scanner.nextTag());
    readAttributes(r.scanner, list);
    EXPECT_EQ(shape(list), "x|y");
    list.clear();
    ASSERT_TRUE(r.scanner.nextTag());
    readAttributes(r.scanner, list);
    EXPECT_TRUE(list.empty());
}

TEST(FindAttribute, FirstMatchIgnoringAsciiCaseOnly) {
    Reader r("<a HREF=1 href=2 [=3 \xc9=4 @=5 _=6 =7>");
    ASSERT_TRUE(r.scanner.nextTag());
    AttributeList list;
    readAttributes(r.scanner, list);
    struct Case {
        const char* name;
        const char* value;  // nullptr: not found
    } cases[] = {
        {"href", "1"}, {"HrEf", "1"}, {"[", "3"},     {"{", nullptr}, {"\xc9", "4"}, {"\xe9", nullptr},
        {"@", "5"},    {"`", nullptr}, {"_", "6"},    {"\x7f", nullptr}, {"", "7"},   {"hre", nullptr},
        {"hrefs", nullptr},
    };
    for (const Case& c : cases) {
        const Attribute* a = findAttribute(c.name, list);
        if (!c.value) {
            EXPECT_EQ(a, nullptr) << c.name;
        } else {
            ASSERT_NE(a, nullptr) << c.name;
            EXPECT_EQ(a->value, c.value) << c.name;
        }
    }
    EXPECT_EQ(findAttribute("x", AttributeList{}), nullptr);
}

}  // namespace
}  // namespace tagsift
