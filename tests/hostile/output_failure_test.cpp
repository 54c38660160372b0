// Failures of the standard streams are never reported as success: a full
// disk is a clear error, a reader that went away (head -n 1) ends the run
// quietly, and a failing read of standard input is an error, not an end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hostile/hostile_support.h"

namespace tagsift::testing {
namespace {

const std::string kFull = "Tagsifter 1.2\n! Error : cannot write standard output : No space left on device\n";

std::string manyLinks(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "<a href=" + std::to_string(i) + ">";
    return s;
}

TEST(OutputFailure, FullDiskIsAnErrorWithStatusOne) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string input;
    };
    const std::vector<Case> cases = {
        {"a little output, written at the end", {"-tag", "a", "-out", "$href$\\n"}, "<a href=x>"},
        {"megabytes of output, failing in the middle", {"-tag", "a", "-out", "$href$\\n"}, manyLinks(300000)},
        {"output pending when the input ends inside a tag",
         {"-tag", "a", "-out", "$href$\\n"},
         "<a href=x><a href="},
        {"text copied by a region left open", {"-tag", "p", "-out", "[$_body$"}, "<p>" + std::string(200000, 't')},
    };
    RunOptions full;
    full.stdoutPath = "/dev/full";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunResult r = runBinary(binaryPath(), c.args, c.input, full);
        EXPECT_EQ(r.err, kFull);
        EXPECT_EQ(r.status, 1);
    }
    // Nothing to print is no failure, even on a full disk.
    RunResult quiet = runBinary(binaryPath(), {"-tag", "a"}, manyLinks(1000), full);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.status, 0);
}

TEST(OutputFailure, ClosedPipeEndsQuietly) {
    const std::vector<std::string> args = {"-tag", "a", "-out", "$href$\\n"};
    struct Case {
        const char* name;
        std::string input;
    };
    for (const Case& c : {Case{"a little output", "<a href=x>"}, Case{"megabytes of output", manyLinks(300000)}}) {
        SCOPED_TRACE(c.name);
        RunOptions closed;
        closed.closeStdoutEarly = true;
        RunResult r = runBinary(binaryPath(), args, c.input, closed);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 128 + 13) << "killed by SIGPIPE";
    }

    // A real pipeline; the script reports tagsift's own status on standard error.
    const std::string pipeline = "\"$0\" \"$@\" | head -n 1; echo \"status ${PIPESTATUS[0]}\" >&2";
    RunResult head = runScript(pipeline, args, manyLinks(300000));
    EXPECT_EQ(head.out, "0\n");
    EXPECT_EQ(head.err, "status 141\n");

    // With SIGPIPE ignored the write fails with EPIPE: status 1, still no message.
    RunResult ignored = runScript("trap '' PIPE; " + pipeline, args, manyLinks(300000));
    EXPECT_EQ(ignored.out, "0\n");
    EXPECT_EQ(ignored.err, "status 1\n");
}

TEST(OutputFailure, ReadErrorOnStandardInputIsAnError) {
    // A directory opens for reading, but read(2) fails on it.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-n"}, std::vector<std::string>{"-tag", "a", "-out", "x"}}) {
        RunResult r = runScript("exec \"$0\" \"$@\" < /", args);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "Tagsifter 1.2\n! Error : cannot read standard input : Is a directory\n");
        EXPECT_EQ(r.status, 1);
    }
}

}  // namespace
}  // namespace tagsift::testing
