// Every example of the user's documentation, run as a user would run it.
//
// docs/tagsift.txt: a line of four blanks, "$ " and a shell command starts an
// example; the lines after it that begin with four blanks (up to the first
// line that does not) are its output, without those four blanks.
// README.md: inside a ```console fence, a line "$ command" starts an example
// and the lines up to the next "$ " line or the closing fence are its output.
// In docs/tagsift.txt an output line that is empty is written as four blanks,
// since an empty line ends the example.
//
// Each command runs under /bin/sh in the repository's root with the built
// binary first on PATH and standard error joined to standard output, so the
// output shown is what a terminal shows. A command must exit with status 0
// unless it ends in "; echo $?", which then prints the status itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

struct Example {
    std::string file;
    int line = 0;
    std::string command;
    std::string output;
};

std::filesystem::path repoRoot() { return std::filesystem::path(testDir()).parent_path(); }

std::vector<std::string> readLines(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool startsWith(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

std::vector<Example> referenceExamples(const std::string& name) {
    constexpr std::string_view kIndent = "    ";
    constexpr std::string_view kPrompt = "    $ ";
    std::vector<std::string> lines = readLines(repoRoot() / name);
    std::vector<Example> examples;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!startsWith(lines[i], kPrompt)) continue;
        Example e{name, static_cast<int>(i + 1), lines[i].substr(kPrompt.size()), {}};
        while (i + 1 < lines.size() && startsWith(lines[i + 1], kIndent) &&
               !startsWith(lines[i + 1], kPrompt))
            e.output += lines[++i].substr(kIndent.size()) + "\n";
        examples.push_back(std::move(e));
    }
    return examples;
}

std::vector<Example> readmeExamples(const std::string& name) {
    std::vector<std::string> lines = readLines(repoRoot() / name);
    std::vector<Example> examples;
    bool inConsole = false;
    Example* current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (startsWith(line, "```")) {
            inConsole = !inConsole && line == "```console";
            current = nullptr;
            continue;
        }
        if (!inConsole) continue;
        if (startsWith(line, "$ ")) {
            examples.push_back({name, static_cast<int>(i + 1), line.substr(2), {}});
            current = &examples.back();
        } else if (current) {
            current->output += line + "\n";
        } else {
            throw std::runtime_error(name + ":" + std::to_string(i + 1) +
                                     ": output before the first command of a console block");
        }
    }
    if (inConsole) throw std::runtime_error(name + ": console block left open");
    return examples;
}

class ExampleTest : public ::testing::Test {
public:
    explicit ExampleTest(Example e) : e_(std::move(e)) {}
    void TestBody() override {
        std::string binDir = std::filesystem::path(binaryPath()).parent_path().string();
        std::string script = "PATH='" + binDir + "':\"$PATH\"; export PATH; exec 2>&1; " + e_.command;
        RunOptions options;
        options.cwd = repoRoot().string();
        RunResult r = runBinary("/bin/sh", {"-c", script}, "", options);
        SCOPED_TRACE(e_.file + ":" + std::to_string(e_.line) + ": $ " + e_.command);
        EXPECT_EQ(r.out, e_.output);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }

private:
    Example e_;
};

// Guards the extraction itself: a change of layout that hid the examples would
// otherwise pass unnoticed with nothing run.
TEST(DocsExamples, EveryDocumentHasItsExamples) {
    ASSERT_NO_THROW(referenceExamples("docs/tagsift.txt"));
    ASSERT_NO_THROW(readmeExamples("README.md"));
    EXPECT_GE(referenceExamples("docs/tagsift.txt").size(), 60u);
    EXPECT_GE(readmeExamples("README.md").size(), 10u);
}

// Both formatters, where installed: each catches mistakes the other lets pass.
TEST(DocsManPage, FormattersFindNothingToWarnAbout) {
    struct Checker {
        const char* tool;
        const char* command;
    };
    const Checker checkers[] = {
        {"groff", "groff -man -ww -z docs/tagsift.1"},
        {"mandoc", "mandoc -Tlint docs/tagsift.1"},
    };
    int ran = 0;
    for (const Checker& c : checkers) {
        if (std::system(("command -v " + std::string(c.tool) + " >/dev/null 2>&1").c_str()) != 0)
            continue;
        ++ran;
        RunOptions options;
        options.cwd = repoRoot().string();
        RunResult r = runBinary("/bin/sh", {"-c", std::string(c.command) + " 2>&1"}, "", options);
        EXPECT_EQ(r.out, "") << c.command;
        EXPECT_EQ(r.status, 0) << c.command;
    }
    if (ran == 0) GTEST_SKIP() << "neither groff nor mandoc is installed";
}

// A document that cannot be read fails this one test instead of the whole binary.
std::string loadError;

TEST(DocsExamples, DocumentsCanBeRead) { EXPECT_EQ(loadError, ""); }

[[maybe_unused]] const bool registered = [] {
    std::vector<Example> all;
    try {
        all = referenceExamples("docs/tagsift.txt");
        for (Example& e : readmeExamples("README.md")) all.push_back(std::move(e));
    } catch (const std::exception& e) {
        loadError = e.what();
    }
    for (const Example& e : all) {
        std::string suite = e.file == "README.md" ? "DocsReadme" : "DocsReference";
        std::string name = "line_" + std::to_string(e.line);
        ::testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, e.command.c_str(), __FILE__,
                                __LINE__, [e]() -> ::testing::Test* { return new ExampleTest(e); });
    }
    return true;
}();

}  // namespace
}  // namespace tagsift::testing
