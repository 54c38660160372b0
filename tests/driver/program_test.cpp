// Whole runs in process: runMain on anonymous temporary files, for the
// paths where the order of output and messages matters.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/fatal.h"
#include "driver/program.h"

namespace tagsift {
namespace {

struct Outcome {
    std::string out, err;
    int status = -1;
};

std::string readAll(int fd) {
    std::string s;
    ::lseek(fd, 0, SEEK_SET);
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) s.append(buf, static_cast<std::size_t>(n));
    return s;
}

// outFd < 0: standard output goes to a fresh temporary file.
Outcome run(std::vector<std::string> args, const std::string& input, int outFd = -1, int inFd = -1) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_TRUE(in && out && err);
    std::fwrite(input.data(), 1, input.size(), in);
    std::fflush(in);
    ::lseek(fileno(in), 0, SEEK_SET);
    args.insert(args.begin(), "tagsift");
    Outcome r;
    r.status = runMain(args, inFd < 0 ? fileno(in) : inFd, outFd < 0 ? fileno(out) : outFd, fileno(err));
    r.out = readAll(fileno(out));
    r.err = readAll(fileno(err));
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return r;
}

const std::string kUsage =
    "Tagsifter 1.2\nUssage: tagsift -tag tagname -if condition -out 'format'\n"
    "  condition : argname | !argname | argname=regexp | ... : see tagsift.txt\n";

TEST(RunMain, Runs) {
    struct Case {
        const char* title;
        std::vector<std::string> args;
        std::string in;
        std::string out;
        std::string err;
        int status;
    } cases[] = {
        {"no arguments", {}, "<a>", "", kUsage, 1},
        {"attribute values", {"-tag", "a", "-out", "$href$\\n"}, "<a href=x.html><A HREF='y'><b href=z>",
         "x.html\ny\n", "", 0},
        {"condition with its words", {"-tag", "x", "-if", "a=b", "-or", "c=d", "-out", "$_num$"},
         "<x a=b><x c=d><x e=f><x a=c>", "12", "", 0},
        {"case switch", {"-i", "-tag", "a", "-if", "t=X", "-out", "1", "-i+", "-tag", "b", "-if", "t=X", "-out", "2"},
         "<a t=x><b t=x>", "2", "", 0},
        {"body left open at the end", {"-tag", "p", "-out", "[$_body$]"}, "<p>one\ntwo", "[one two", "", 0},
        {"body closed by its end tag", {"-tag", "p", "-out", "[%t$_body$]$_name$\\n"}, "<p>a<b>c</P>d",
         "[ac]/P\n", "", 0},
        // What was printed before an error stays in front of a message on standard output.
        {"output then EOF in a tag", {"-tag", "a", "-out", "$href$\\n"}, "<a href=1><a href",
         "1\nError: EOF inside a tag - corrupted HTML code!\n", "", 1},
        {"-if before -tag, words first", {"-if", "a==x", "-tag", "a"}, "", "",
         "Tagsifter 1.2\n! Error : This is not number : x\n", 1},
        {"-if before -tag", {"-if", "a", "-tag", "a"}, "", "", "Tagsifter 1.2\n! Error : -if before any -tag .\n", 1},
    };
    for (const Case& c : cases) {
        Outcome r = run(c.args, c.in);
        EXPECT_EQ(r.out, c.out) << c.title;
        EXPECT_EQ(r.err, c.err) << c.title;
        EXPECT_EQ(r.status, c.status) << c.title;
    }
}

TEST(RunMain, AConditionTakesAtMostOneHundredWords) {
    std::vector<std::string> args{"-tag", "a", "-if"};
    for (int i = 0; i < 100; ++i) args.push_back("x");
    Outcome fits = run(args, "<a x>");
    EXPECT_EQ(fits.status, 0);
    args.push_back("x");
    Outcome over = run(args, "<a x>");
    EXPECT_EQ(over.err, kUsage);
    EXPECT_EQ(over.status, 1);
}

TEST(RunMain, WriteAndReadFailuresAreReported) {
    int full = ::open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    Outcome w = run({"-tag", "a", "-out", "x"}, "<a>", full);
    ::close(full);
    EXPECT_EQ(w.err, "Tagsifter 1.2\n! Error : cannot write standard output : No space left on device\n");
    EXPECT_EQ(w.status, 1);

    int dir = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    Outcome r = run({"-n"}, "", -1, dir);
    ::close(dir);
    EXPECT_EQ(r.err, "Tagsifter 1.2\n! Error : cannot read standard input : Is a directory\n");
    EXPECT_EQ(r.status, 1);
}

// Runs the program over in-memory input read in blocks of the given size;
// returns standard output, with the text of a Fatal appended.
std::string filter(const std::vector<std::string>& args, const std::string& html, std::size_t blockSize) {
    std::vector<std::string> words{"tagsift"};
    words.insert(words.end(), args.begin(), args.end());
    Input input = Input::fromText(html, blockSize);
    Output out(-1);
    std::string failure;
    try {
        Program program(input, out);
        program.run(words);
    } catch (const Fatal& f) {
        failure = "{" + f.text + "}";
    }
    out.flush();
    return out.collected() + failure;
}

// Few rule names are looked up in a list, many in a hash map: both must find
// every name in either case, newest rule first, and pass the tag on to older
// rules of its name when a condition fails.
TEST(Program, RuleLookupWithFewAndManyNames) {
    const std::string page = "<A x><a><B><i><I y><z><H></a>";
    for (const char* extra : {"", "cdefgjklmnop"}) {
        std::vector<std::string> args{"-tag", "a", "-out", "a", "-tag", "b", "-out", "b", "-tag", "i",
                                      "-out", "i", "-tag", "h", "-out", "h", "-tag", "A", "-if", "x",
                                      "-out", "X", "-tag", "I", "-if", "y", "-out", "Y", "-tag", "/A",
                                      "-out", "/"};
        for (const char* n = extra; *n; ++n) args.insert(args.end(), {"-tag", std::string(1, *n), "-out", "?"});
        EXPECT_EQ(filter(args, page, 1 << 16), "XabiYh/") << (*extra ? "many names" : "few names");
    }
}

TEST(Program, PlacesOnALongPage) {
    // Long enough that the scanner's bulk paths see whole lines at once.
    const std::string page =
        "<!DOCTYPE html>\n<html>\n<head><title>Sign up</title></head>\n<body>\n<h1>Sign up</h1>\n"
        "<form action=\"/signup\" method=\"post\">\n"
        "    <input type=\"radio\" name=\"plan\" value=\"free\" checked> Free\n"
        "    <input type=\"radio\" name=\"plan\" value=\"pro\"> Pro";
    for (std::size_t bs : {std::size_t{1}, std::size_t{5}, std::size_t{1} << 16})
        EXPECT_EQ(filter({"-tag", "input", "-out", "$_line$:$_pos$ "}, page, bs), "7:5 8:5 ") << bs;
}

// A deterministic page of everything the scanner meets: text, line ends of
// both kinds, tags with and without rules, quoted '>', comments, end tags.
std::string mixedPage(unsigned seed, int pieces) {
    const char* parts[] = {
        "text ", "\n", "\r\n", "  ", "<a href=\"x.html\">", "<a href='y>z' title=t>", "</a>",
        "<b class=c>", "</B>", "<!-- <a href=no> -- -->", "<p>", "</p>", "<P id=\"1\">",
        "<img src=i.png alt>", "<br/>", "<a\nhref=n>", "<td width=100%>", "<x y=\"\n\">", "\t", "&amp; ",
        "<input checked>", "<!---->", "<a href=\"", "\">", "<>", "a < b ",
    };
    std::string page;
    for (int i = 0; i < pieces; ++i) {
        seed = seed * 1103515245u + 12345u;
        page += parts[(seed >> 16) % std::size(parts)];
    }
    return page;
}

TEST(Program, OutputDoesNotDependOnHowTheInputIsRead) {
    const std::vector<std::vector<std::string>> commands = {
        {"-tag", "a", "-out", "$_line$:$_pos$ $_name$ $~href$ $_num$/$_gnum$\\n", "-tag", "td", "-tag", "input",
         "-if", "checked", "-out", "$_tag$\\n"},
        {"-tag", "p", "-out", "[$_body$]$_line$:$_pos$\\n", "-tag", "img", "-out", "$_line$:$_pos$ $_tag$\\n"},
        {"-tag", "p", "-out", "[%c$_body$]\\n", "-tag", "b", "-out", "{%t$_body$}$_name$\\n"},
        {"-tag", "/a", "-out", "$_line$:$_pos$\\n", "-tag", "x", "-out", "<$y$>"},
    };
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::string page = mixedPage(seed, 300);
        for (const auto& args : commands) {
            std::string whole = filter(args, page, 1 << 16);
            for (std::size_t bs : {std::size_t{1}, std::size_t{2}, std::size_t{63}, std::size_t{64},
                                   std::size_t{65}, std::size_t{1000}})
                ASSERT_EQ(filter(args, page, bs), whole) << "seed " << seed << ", blocks of " << bs << ", "
                                                         << args[1] << "\n" << page;
        }
    }
}

}  // namespace
}  // namespace tagsift
