// Every example of the user's documentation, run as a user would run it.
//
// docs/tagsift.txt: a line of four blanks, "$ " and a shell command starts an
// example; the lines after it that begin with four blanks (up to the first
// line that does not) are its output, without those four blanks (an empty
// output line is written as four blanks, since an empty line ends the example).
// README.md: inside a ```console fence, a line "$ command" starts an example
// and the lines up to the next "$ " line or the closing fence are its output.
//
// Each command runs under /bin/sh in the repository's root with the built
// binary first on PATH and standard error joined to standard output, so the
// output shown is what a terminal shows; it must exit with status 0 (one that
// ends in "; echo $?" prints its status itself).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

struct Example {
    std::string file, command, output;
    int line = 0;
};

std::string repoRoot() { return std::filesystem::path(testDir()).parent_path().string(); }

RunResult runInRoot(const std::string& script) {
    RunOptions options;
    options.cwd = repoRoot();
    return runBinary("/bin/sh", {"-c", script}, "", options);
}

std::vector<Example> examples(const std::string& file) {
    std::ifstream in(repoRoot() + "/" + file);
    if (!in) throw std::runtime_error("cannot open " + file);
    const bool readme = file == "README.md";
    const std::string prompt = readme ? "$ " : "    $ ";
    std::vector<Example> found;
    bool fence = false, open = false;  // inside a console fence of the README; an example takes output lines
    int lineNo = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNo;
        if (readme && line.rfind("```", 0) == 0) {
            fence = !fence && line == "```console";
            open = false;
        } else if ((fence || !readme) && line.rfind(prompt, 0) == 0) {
            found.push_back({file, line.substr(prompt.size()), "", lineNo});
            open = true;
        } else if (!readme && line.rfind("    ", 0) != 0) {
            open = false;
        } else if (open) {
            found.back().output += line.substr(readme ? 0 : 4) + "\n";
        }
    }
    return found;
}

class ExampleTest : public ::testing::Test {
public:
    explicit ExampleTest(Example e) : e_(std::move(e)) {}
    void TestBody() override {
        const std::string bin = std::filesystem::path(binaryPath()).parent_path().string();
        RunResult r = runInRoot("PATH='" + bin + "':\"$PATH\"; export PATH; exec 2>&1; " + e_.command);
        SCOPED_TRACE(e_.file + ":" + std::to_string(e_.line) + ": $ " + e_.command);
        EXPECT_EQ(r.out, e_.output);
        EXPECT_EQ(r.status, 0);
    }

private:
    Example e_;
};

// Guards the extraction: a change of layout that hid the examples would pass with nothing run.
TEST(DocsExamples, EveryDocumentHasItsExamples) {
    EXPECT_GE(examples("docs/tagsift.txt").size(), 60u);
    EXPECT_GE(examples("README.md").size(), 10u);
}

// Both formatters, where installed: each catches mistakes the other lets pass.
TEST(DocsManPage, FormattersFindNothingToWarnAbout) {
    int ran = 0;
    for (const char* command : {"groff -man -ww -z docs/tagsift.1", "mandoc -Tlint docs/tagsift.1"}) {
        const std::string tool = std::string(command).substr(0, std::string(command).find(' '));
        if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0) continue;
        ++ran;
        RunResult r = runInRoot(std::string(command) + " 2>&1");
        EXPECT_EQ(r.out, "") << command;
        EXPECT_EQ(r.status, 0) << command;
    }
    if (ran == 0) GTEST_SKIP() << "neither groff nor mandoc is installed";
}

[[maybe_unused]] const bool registered = [] {
    for (const char* file : {"docs/tagsift.txt", "README.md"})
        for (const Example& e : examples(file))
            ::testing::RegisterTest(e.file == "README.md" ? "DocsReadme" : "DocsReference",
                                    ("line_" + std::to_string(e.line)).c_str(), nullptr, e.command.c_str(), __FILE__,
                                    __LINE__, [e]() -> ::testing::Test* { return new ExampleTest(e); });
    return true;
}();

}  // namespace
}  // namespace tagsift::testing
