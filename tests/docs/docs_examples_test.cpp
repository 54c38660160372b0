// Every example of the user's documentation, run as a user would run it: in
// docs/tagsift.txt a line "    $ command" and the lines of four blanks after it
// (its output, four blanks off); in README.md a "$ command" line in a ```console
// fence and the lines up to the next. Each runs under /bin/sh in the repository
// with the binary first on PATH and standard error joined to standard output.
#include <gtest/gtest.h>

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
        RunOptions options;
        options.cwd = repoRoot();
        RunResult r = runBinary("/bin/sh", {"-c", "PATH='" + bin + "':\"$PATH\"; exec 2>&1; " + e_.command}, "", options);
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
