// Response files: splitting a file into words, and "--f" expansion.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "base/fatal.h"
#include "switches/response_files.h"

namespace tagsift {
namespace {

using Words = std::vector<std::string>;

Words split(const std::string& text) {
    std::istringstream in(text);
    Words list;
    readResponseWords(in, list);
    return list;
}

TEST(ReadResponseWords, SplitsAndUnquotes) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        Words words;
    } cases[] = {
        {"", {}},
        {" \t\n\v\f\r ", {}},
        {"a b\tc\n d", {"a", "b", "c", "d"}},
        {"a\vb\fc\rd\r\n", {"a", "b", "c", "d"}},
        {"-if href", {"-if", "href"}},
        {"'x y \"z\"'", {"x y \"z\""}},
        {"\"a\\\"b c\"", {"a\\\"b c"}},       // the backslash stays for the later decoder
        {"'a\\'b'", {"a\\'b"}},
        {"\"\\\\\" x", {"\\\\", "x"}},        // a backslash pair does not escape the quote
        {"'$a$\\n'", {"$a$\\n"}},
        {"'a'b", {"a", "b"}},                 // no white space needed after a closing quote
        {"'a''b'\"c\"", {"a", "b", "c"}},
        {"a'b'c \"d", {"a'b'c"}},             // quotes inside a word are ordinary
        {"''", {""}},
        {"'' \"\" x", {"", "", "x"}},
        {"x 'unfinished", {"x"}},
        {"x 'unfinished\\'", {"x"}},
        {"x \"ends in a backslash\\", {"x"}},
        {"x 'dropped' 'unfinished y", {"x", "dropped"}},
        {"a\0b c"s, {"a\0b"s, "c"}},
        {"'a\0b'"s, {"a\0b"s}},
        {"'line\nbreak'", {"line\nbreak"}},
        {"\x80\xff \xa0", {"\x80\xff", "\xa0"}},  // only ASCII white space separates
    };
    for (const Case& c : cases) EXPECT_EQ(split(c.text), c.words) << '"' << c.text << '"';
}

TEST(ReadResponseWords, AppendsToTheList) {
    std::istringstream in("b c");
    Words list{"a"};
    readResponseWords(in, list);
    EXPECT_EQ(list, (Words{"a", "b", "c"}));
}

TEST(ReadResponseWords, LongWordsAndManyWordsStayWhole) {
    std::string plain(5000, 'p');
    std::string quoted(70000, 'q');
    quoted[100] = ' ';
    std::string text = plain + " '" + quoted + "'";
    Words expected{plain, quoted};
    for (int i = 0; i < 3000; ++i) {
        text += " w" + std::to_string(i);
        expected.push_back("w" + std::to_string(i));
    }
    EXPECT_EQ(split(text), expected);
}

TEST(ReadQuotedWord, StopsRightAfterTheQuote) {
    std::istringstream in("ab\\'c'rest");
    std::string word = "old";
    EXPECT_TRUE(readQuotedWord(in, '\'', word));
    EXPECT_EQ(word, "ab\\'c");
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, "rest");

    std::istringstream open("no end \"");
    EXPECT_FALSE(readQuotedWord(open, '\'', word));
}

// Response files on disk, removed when the test ends.
class ExpandedWords : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tagsift-rsp-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string file(const std::string& name, const std::string& text) {
        std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::filesystem::path dir_;
};

TEST_F(ExpandedWords, ReplacesEachResponseSwitchOfTheCommandLine) {
    std::string more = file("more.txt", "-if\nhref\n");
    std::string a = file("a.txt", "'-out' '$a$\\n' --f");
    std::string b = file("b.txt", "x");
    std::string empty = file("empty.txt", "");

    EXPECT_EQ(expandedWords(Words{"prog", "-tag", "a"}), (Words{"prog", "-tag", "a"}));
    EXPECT_EQ(expandedWords(Words{"prog", "-tag", "a", "--f", more, "-out", "x"}),
              (Words{"prog", "-tag", "a", "-if", "href", "-out", "x"}));
    // A "--f" read from a file is an ordinary word.
    EXPECT_EQ(expandedWords(Words{"prog", "--f", a, "--f", b, "-n"}),
              (Words{"prog", "-out", "$a$\\n", "--f", "x", "-n"}));
    EXPECT_EQ(expandedWords(Words{"prog", "--f", empty, "--f", more}), (Words{"prog", "-if", "href"}));
    // Only an exact "--f" counts, and never the program's own name.
    EXPECT_EQ(expandedWords(Words{"--f", "--F", "--f=x", "-f"}), (Words{"--f", "--F", "--f=x", "-f"}));
}

TEST_F(ExpandedWords, AFileMayBeNamedLikeTheSwitch) {
    file("--f", "inner");
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir_);
    Words got = expandedWords(Words{"prog", "--f", "--f"});
    std::filesystem::current_path(cwd);
    EXPECT_EQ(got, (Words{"prog", "inner"}));
}

TEST_F(ExpandedWords, ReportsAMissingNameOrFile) {
    try {
        expandedWords(Words{"prog", "-n", "--f"});
        FAIL() << "no Fatal";
    } catch (const Fatal& f) {
        EXPECT_EQ(f.stream, Fatal::Stream::Err);
        EXPECT_TRUE(f.banner);
        EXPECT_EQ(f.text, "\n! Error : No file name specified after --f!\n");
    }
    std::string missing = (dir_ / "missing.txt").string();
    try {
        expandedWords(Words{"prog", "--f", missing});
        FAIL() << "no Fatal";
    } catch (const Fatal& f) {
        EXPECT_EQ(f.stream, Fatal::Stream::Err);
        EXPECT_FALSE(f.banner);
        EXPECT_EQ(f.status, 1);
        EXPECT_EQ(f.text, "\n! File not found : \"" + missing + "\"!\n");
    }
}

TEST_F(ExpandedWords, ParsesTheExpandedList) {
    std::string rsp = file("r.txt", "'' /x");
    SwitchParser parser;
    Words seen;
    parser.onPlainArgument = [&](const std::string& w) { seen.push_back("plain:" + w); };
    parser.onUnknownSwitch = [&](const std::string& w) { seen.push_back("unknown:" + w); };
    std::vector<SwitchSpec> rows{{"n", 3, 0, 0, "", [&](int, std::span<const std::string>) {
                                      seen.push_back("n");
                                      return 0;
                                  }}};
    expandResponseFiles(Words{"prog", "-n", "--f", rsp, "-n"}, rows, parser);
    EXPECT_EQ(seen, (Words{"n", "plain:", "unknown:x", "n"}));
}

}  // namespace
}  // namespace tagsift
