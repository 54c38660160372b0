// Failures of the standard streams are never reported as success: a full
// disk is a clear error, a reader that went away (head -n 1) ends the run
// quietly, and a failing read of standard input is an error, not an end.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/run_binary.h"

namespace tagsift::testing {
namespace {

const std::vector<std::string> kLinks = {"-tag", "a", "-out", "$href$\\n"};

std::string manyLinks(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "<a href=" + std::to_string(i) + ">";
    return s;
}

TEST(OutputFailure, FullDiskIsAnErrorWithStatusOne) {
    RunOptions full;
    full.stdoutPath = "/dev/full";
    // At the end, in the middle, pending when the input ends inside a tag, copied by an open region.
    for (const auto& [args, input] : {std::pair{kLinks, std::string("<a href=x>")}, std::pair{kLinks, manyLinks(300000)},
                                      std::pair{kLinks, std::string("<a href=x><a href=")},
                                      std::pair{std::vector<std::string>{"-tag", "p", "-out", "[$_body$"},
                                                "<p>" + std::string(200000, 't')}}) {
        RunResult r = runBinary(binaryPath(), args, input, full);
        EXPECT_EQ(r.err, "Tagsifter 1.2\n! Error : cannot write standard output : No space left on device\n");
        EXPECT_EQ(r.status, 1) << input.substr(0, 20);
    }
    // Nothing to print is no failure, even on a full disk.
    RunResult quiet = runBinary(binaryPath(), {"-tag", "a"}, manyLinks(1000), full);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.status, 0);
}

TEST(OutputFailure, ClosedPipeEndsQuietly) {
    RunOptions closed;
    closed.closeStdoutEarly = true;
    RunResult r = runBinary(binaryPath(), kLinks, "<a href=x>", closed);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 128 + 13) << "killed by SIGPIPE";
    // A real pipeline; the script reports tagsift's own status on standard error.
    const std::string pipeline = "\"$0\" \"$@\" | head -n 1; echo \"status ${PIPESTATUS[0]}\" >&2";
    RunResult head = runScript(pipeline, kLinks, manyLinks(300000));
    EXPECT_EQ(head.out, "0\n");
    EXPECT_EQ(head.err, "status 141\n");
    // With SIGPIPE ignored the write fails with EPIPE: status 1, still no message.
    RunResult ignored = runScript("trap '' PIPE; " + pipeline, kLinks, manyLinks(300000));
    EXPECT_EQ(ignored.out, "0\n");
    EXPECT_EQ(ignored.err, "status 1\n");
}

// With many documents on many threads, the same: the failure of the first write that fails, and
// nothing from the documents after it.
TEST(OutputFailure, ManyJobsFailAsOneDoes) {
    ScratchDir dir;
    const std::string big = dir.write("big.html", manyLinks(200000)), small = dir.write("small.html", "<a href=s>");
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const std::vector<std::string> args = {"-tag", "a", "-out", "$href$\\n", "--jobs", jobs, "--", small, big, small, big};
        RunOptions full;
        full.stdoutPath = "/dev/full";
        RunResult r = runBinary(binaryPath(), args, "", full);
        EXPECT_EQ(r.err, "Tagsifter 1.2\n! Error : cannot write standard output : No space left on device\n");
        EXPECT_EQ(r.status, 1);
        const std::string pipeline = "\"$0\" \"$@\" | head -n 2; echo \"status ${PIPESTATUS[0]}\" >&2";
        RunResult head = runScript(pipeline, args);
        EXPECT_EQ(head.out, "s\n0\n");
        EXPECT_EQ(head.err, "status 141\n");
        RunResult ignored = runScript("trap '' PIPE; " + pipeline, args);
        EXPECT_EQ(ignored.out, "s\n0\n");
        EXPECT_EQ(ignored.err, "status 1\n");
    }
}

// A reader that went away while the read-ahead of standard input waits in a
// read of a pipe whose writer stays open for half a minute: the run ends all
// the same. (Each tag prints 100 kB, so a few bytes of input suffice.)
TEST(OutputFailure, EndingWhileStandardInputWaitsDoesNotHang) {
    const auto start = std::chrono::steady_clock::now();
    RunResult r = runScript("trap '' PIPE; \"$0\" \"$@\" < <({ printf '<a href=x>%.0s' 1 2 3 4 5; exec sleep 30; } "
                            "2>/dev/null) | head -c 1; echo \"status ${PIPESTATUS[0]}\"",
                            {"-tag", "a", "-out", "%100000$href$"});
    EXPECT_EQ(r.out, " status 1\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

// A directory opens for reading, but read(2) fails on it.
TEST(OutputFailure, ReadErrorOnStandardInputIsAnError) {
    RunResult r = runScript("exec \"$0\" \"$@\" < /", kLinks);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Tagsifter 1.2\n! Error : cannot read standard input : Is a directory\n");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace tagsift::testing
