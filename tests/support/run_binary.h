// Runs the built tagsift binary as a child process, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace tagsift::testing {

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // the exit status, or 128 + signal
};

struct RunOptions {
    std::string cwd;              // empty: the current directory
    std::string stdoutPath;       // non-empty: standard output goes to this file (e.g. /dev/full)
    bool closeStdoutEarly = false;  // read nothing of standard output: close the pipe at once
    int timeoutSeconds = 60;
};

// Runs binary with args (args[0] is not the program name: it is the first argument).
RunResult runBinary(const std::string& binary, const std::vector<std::string>& args,
                    const std::string& input, const RunOptions& options = {});

// The path of the tagsift binary under test.
std::string binaryPath();
// tests/ of the source tree.
std::string testDir();

}  // namespace tagsift::testing
