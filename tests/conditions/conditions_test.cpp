// Condition lists: the trees parseConditions builds, its fatal messages, and
// checkArgs over attribute lists read from real tags. The patterns used here
// are plain letters, which match wherever they occur in a value.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "conditions/conditions.h"
#include "base/fatal.h"
#include "scanner/scanner.h"

namespace tagsift {
namespace {

std::vector<std::string> split(const std::string& words) {
    std::istringstream in(words);
    std::vector<std::string> list;
    for (std::string w; in >> w;) list.push_back(w);
    return list;
}

ConditionList parse(const std::string& words, int& ignoreCase) {
    return parseConditions(split(words), ignoreCase);
}

std::string tree(const std::string& words) {
    int ignoreCase = 1;
    return describe(parse(words, ignoreCase));
}

TEST(ParseConditions, TreeShapes) {
    struct Case {
        const char* words;
        const char* tree;
    } cases[] = {
        {"", ""},
        {"-and", ""},
        {"-and -AND", ""},
        {"a b", "a b"},
        {"a -and b", "a b"},
        {"a -AND -and b -and", "a b"},
        // Conjunction binds tighter; several -or nest to the left.
        {"a b -or c", "or(a b) c"},
        {"a -or b c", "or(a) b c"},
        {"a -or b -or c", "or(or(a) b) c"},
        {"a -OR b -or c d -or", "or(or(or(a) b) c d)"},
        {"-or a", "or() a"},
        {"a -or", "or(a)"},
        {"-or -or", "or(or())"},
        // Groups.
        {"[ ]", "[]"},
        {"![ ]", "![]"},
        {"[ -or a ]", "[or() a]"},
        {"![ a b ]", "![a b]"},
        {"[ a -or b ] c", "[or(a) b] c"},
        {"a [ b -or c ] d", "a [or(b) c] d"},
        {"a [ b -or c ] -or d", "or(a [or(b) c]) d"},
        {"[ a ![ b [ c ] ] ] d", "[a ![b [c]]] d"},
        {"[x x] ]x", "[x x] ]x"},
        {"-Or -ANd", "-Or -ANd"},
        // Tests and their operators, tried in the order != <> <= >= == = < >.
        {"a !a", "a !a"},
        {"a=x a!=x a==5 a<>5 a<5 a>5 a<=5 a>=5",
         "a=x/i a!=x/i a==5 a<>5 a<5 a>5 a<=5 a>=5"},
        {"!a=x !a!=x !a==5 !a<>5 !a<5 !a>5 !a<=5 !a>=5",
         "a!=x/i a=x/i a<>5 a==5 a>=5 a<=5 a>5 a<5"},
        {"a=<5 a=>5 a=!x a==-5 a<=+5 a>=-0", "a=<5/i a=>5/i a=!x/i a==-5 a<=+5 a>=-0"},
        {"a!==5 a=b=c", "a!==5/i a=b=c/i"},
        {"=x !=x ==1 <>2", "=x/i !=x/i ==1 <>2"},
        {"a= a!=", "a=/i a!=/i"},
        {"![x", "![x"},
    };
    for (const Case& c : cases) EXPECT_EQ(tree(c.words), c.tree) << '"' << c.words << '"';
}

TEST(ParseConditions, DeepGroupsAreAccepted) {
    std::string words;
    for (int i = 0; i < 60; ++i) words += i % 2 ? "[ " : "![ ";
    words += "a";
    for (int i = 0; i < 60; ++i) words += " ]";
    std::string expected;
    for (int i = 0; i < 60; ++i) expected += i % 2 ? "[" : "![";
    expected += "a" + std::string(60, ']');
    EXPECT_EQ(tree(words), expected);
}

TEST(ParseConditions, CaseWordsChangeLaterPatternsOnly) {
    struct Case {
        int before;
        const char* words;
        const char* tree;
        int after;
    } cases[] = {
        {1, "a=X", "a=X/i", 1},
        {1, "-i a=X", "a=X", 0},
        {1, "a=x -i b=y", "a=x/i b=y", 0},
        {0, "a=x -i+ b=y", "a=x b=y/i", 1},
        {0, "-I+ a=x -I- b=y", "a=x/i b=y", 0},
        {1, "-I a=x", "a=x", 0},
        {1, "-i- a=x", "a=x", 0},
        {0, "-i+x a=x", "a=x/i", 1},
        {1, "-ix a=x", "a=x", 0},
        {0, "-i+", "", 1},
        {1, "a==1 -i b<>2", "a==1 b<>2", 0},
        {1, "[ a=x -i ] b=x", "[a=x/i] b=x", 0},
    };
    for (const Case& c : cases) {
        int ignoreCase = c.before;
        EXPECT_EQ(describe(parse(c.words, ignoreCase)), c.tree) << c.words;
        EXPECT_EQ(ignoreCase, c.after) << c.words;
    }
}

std::string fatalText(const std::vector<std::string>& words, Fatal::Stream stream = Fatal::Stream::Err) {
    int ignoreCase = 1;
    try {
        parseConditions(words, ignoreCase);
    } catch (const Fatal& f) {
        EXPECT_EQ(f.stream, stream);
        EXPECT_EQ(f.banner, stream == Fatal::Stream::Err);
        EXPECT_EQ(f.status, 1);
        return f.text;
    }
    return "(parsed)";
}

TEST(ParseConditions, FatalMessages) {
    auto unknown = [](const std::string& w) { return "\n! Error : unknown operation : " + w + "\n"; };
    auto notNumber = [](const std::string& t) { return "\n! Error : This is not number : " + t + "\n"; };
    const std::string open = "\n! Error : [ or ![ without ] .\n";
    struct Case {
        std::vector<std::string> words;
        std::string message;
    } cases[] = {
        {{"a!5"}, unknown("a!5")},
        {{"!!a"}, unknown("!a")},
        {{"!a!b"}, unknown("a!b")},
        {{"a!"}, unknown("a!")},
        {{"ok", "a!<b"}, unknown("a!<b")},
        {{"width==wide"}, notNumber("wide")},
        {{"a=="}, notNumber("")},
        {{"a<"}, notNumber("")},
        {{"a<<5"}, notNumber("<5")},
        {{"a<>-"}, notNumber("-")},
        {{"a>=+ 5"}, notNumber("+ 5")},
        {{"a<= "}, notNumber(" ")},
        {{"!a==x"}, notNumber("x")},
        {{"["}, open},
        {{"![", "a"}, open},
        {{"[", "[", "a", "]"}, open},
        {{"[", "a", "-or"}, open},
        // The first bad word wins.
        {{"a==x", "]"}, notNumber("x")},
        {{"a!5", "b==x"}, unknown("a!5")},
    };
    for (const Case& c : cases) EXPECT_EQ(fatalText(c.words), c.message) << c.words[0];

    const std::string close = "\nError: ] without [ or ![.\n";
    for (std::vector<std::string> words :
         {std::vector<std::string>{"]"}, {"a", "]"}, {"[", "a", "]", "]"}, {"]", "a==x"}, {"![", "]", "]", "["}})
        EXPECT_EQ(fatalText(words, Fatal::Stream::Out), close) << words.size();
}

TEST(ParseConditions, APatternThatDoesNotCompileIsFatal) {
    for (int ignoreCase : {0, 1}) {
        int setting = ignoreCase;
        try {
            parseConditions(std::vector<std::string>{"ok=x", "href=[z-a]"}, setting);
            FAIL() << "compiled";
        } catch (const Fatal& f) {
            EXPECT_TRUE(f.banner);
            const std::string head = "\n! Error : bad regexp : [z-a] : ";
            EXPECT_EQ(f.text.substr(0, head.size()), head);
            EXPECT_GT(f.text.size(), head.size() + 1) << "a reason is given";
            EXPECT_EQ(f.text.back(), '\n');
        }
    }
}

// The attributes of the first tag of html.
AttributeList attributesOf(const std::string& html) {
    Input in = Input::fromText(html);
    Output out(-1);
    BodyCapture body;
    Scanner scanner(in, out, body, [] {});
    AttributeList list;
    EXPECT_TRUE(scanner.nextTag()) << html;
    readAttributes(scanner, list);
    return list;
}

bool holds(const std::string& words, const std::string& html) {
    int ignoreCase = 1;
    ConditionList list = parse(words, ignoreCase);
    return checkArgs(list, attributesOf(html));
}

TEST(CheckArgs, OperatorsOnPresentMissingAndValuelessAttributes) {
    const std::string tag = "<t w=100% n=x a W=5>";
    struct Case {
        const char* words;
        bool holds;
    } cases[] = {
        {"", true},
        {"w", true}, {"!w", false}, {"z", false}, {"!z", true}, {"a", true}, {"!a", false},
        // The value reads as 100; the first w is the one tested.
        {"w==100", true}, {"w<>100", false}, {"w<100", false}, {"w<=100", true},
        {"w>100", false}, {"w>=100", true}, {"w<101", true}, {"w>99", true}, {"W==5", false},
        {"!w==100", false}, {"!w<>100", true}, {"!w<100", true}, {"!w<=100", false},
        {"!w>100", true}, {"!w>=100", false},
        // A missing attribute fails every test but absence, whatever the "!".
        {"z==1", false}, {"z<>1", false}, {"!z<>1", false}, {"!z==1", false}, {"z<1", false},
        {"!z<1", false}, {"z=x", false}, {"z!=x", false}, {"!z=x", false}, {"!z!=x", false},
        // A value that is not a number: only "differs" holds.
        {"n==0", false}, {"n<>0", true}, {"n<1", false}, {"n>-1", false}, {"n<=0", false},
        {"n>=0", false}, {"!n==0", true}, {"!n<>0", false},
        // A valueless attribute is the empty text: never a number.
        {"a==0", false}, {"a<>0", true}, {"a<=0", false}, {"a>=0", false}, {"a=x", false}, {"a!=x", true},
        // Patterns.
        {"n=x", true}, {"n!=x", false}, {"!n=x", false}, {"!n!=x", true}, {"w=10", true},
        {"n=X", true}, {"-i n=X", false}, {"-i n=x", true}, {"-i !n=X", true},
        // Lists, alternatives and groups.
        {"w n a", true}, {"w z", false}, {"z -or w", true}, {"z -or y", false}, {"z -or", true},
        {"-or z", true}, {"z y -or w", true}, {"w -or z y", true}, {"z -or y -or n", true},
        {"[ ]", true}, {"![ ]", false}, {"![ z ]", true}, {"![ w ]", false}, {"![ w z ]", true},
        {"[ z -or w ] n", true}, {"[ z -or w ] y", false}, {"w [ z ] -or n", true},
        {"![ [ w ] ]", false},
    };
    for (const Case& c : cases) EXPECT_EQ(holds(c.words, tag), c.holds) << '"' << c.words << "\" on " << tag;
}

TEST(CheckArgs, FirstAttributeOfANameWins) {
    const std::string tag = "<p NAME=a name=b>";
    EXPECT_TRUE(holds("name=a", tag));
    EXPECT_FALSE(holds("name=b", tag));
    EXPECT_TRUE(holds("name!=b", tag));
    EXPECT_TRUE(holds("!alt", "<img src=x>"));
    EXPECT_FALSE(holds("!alt", "<img ALT=''>"));
    EXPECT_FALSE(holds("!alt", "<img alt>"));
    EXPECT_FALSE(holds("a", "<t>"));
    EXPECT_TRUE(holds("", "<t>"));
}

TEST(CheckArgs, ValuesReadAsNumbers) {
    struct Case {
        const char* value;
        const char* words;
        bool holds;
    } cases[] = {
        {"100%", "v==100", true},
        {"50px", "v<51", true},
        {" 7", "v==7", true},
        {"\t\n\v\f\r 9", "v==9", true},
        {"+5", "v==5", true},
        {"-3", "v<-2", true},
        {"-0", "v==0", true},
        {"0x1F", "v==0", true},
        {"0x1F", "v==31", false},
        {"px50", "v<>50", true},
        {"px50", "v==50", false},
        {"", "v<>0", true},
        {"- 5", "v<>-5", true},
        {"--5", "v<>-5", true},
        {"+-5", "v<>-5", true},
        {"5 6", "v==5", true},
        {"0000000000000000000000000042", "v==42", true},
        // The rule's number is read the same way.
        {"5", "v==5x", true},
        {"7", "v==+7", true},
        {"-3", "v<=-3", true},
        {"0", "v==-0", true},
        {"0", "v==0x1F", true},
        {"12", "v>=12px", true},
        {"7", "v==007", true},
        // Exact comparison at any length: no folding into 32 or 64 bits.
        {"4294967297", "v==1", false},
        {"4294967297", "v>4294967296", true},
        {"18446744073709551617", "v==1", false},
        {"18446744073709551617", "v>18446744073709551616", true},
        {"99999999999999999999", "v==99999999999999999999", true},
        {"99999999999999999999", "v<100000000000000000000", true},
        {"99999999999999999999", "v>99999999999999999998", true},
        {"-99999999999999999999", "v<-99999999999999999998", true},
        {"-99999999999999999999", "v>-100000000000000000000", true},
        {"-99999999999999999999", "v<0", true},
        {"2147483648", "v>2147483647", true},
        {"-2147483649", "v<-2147483648", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(holds(c.words, std::string("<t v='") + c.value + "'>"), c.holds)
            << c.words << " on '" << c.value << "'";
}

}  // namespace
}  // namespace tagsift
