// Runs the built tagsift binary as a child process, for end-to-end tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tagsift::testing {

struct RunResult {
    std::string out, err;
    int status = -1;  // the exit status, or 128 + signal
};

struct RunOptions {
    std::string cwd, stdoutPath;    // empty: the current directory, a pipe read into RunResult::out
    bool closeStdoutEarly = false;  // read nothing of standard output: close the pipe at once
    int timeoutSeconds = 60;
};

// Runs binary with args (args[0] is not the program name: it is the first argument).
RunResult runBinary(const std::string& binary, const std::vector<std::string>& args,
                    const std::string& input, const RunOptions& options = {});

std::string binaryPath();  // the tagsift binary under test
std::string testDir();     // tests/ of the source tree

// Runs script with bash, for redirections runBinary() has no option for; in it "$0" is the
// tagsift binary and "$@" are args.
inline RunResult runScript(const std::string& script, const std::vector<std::string>& args = {},
                           const std::string& input = "", const RunOptions& options = {}) {
    std::vector<std::string> words{"-c", script, binaryPath()};
    return words.insert(words.end(), args.begin(), args.end()), runBinary("/bin/bash", words, input, options);
}

// A directory of its own under the system's temporary one, removed with all it holds.
class ScratchDir {
public:
    ScratchDir() : path_(std::filesystem::temp_directory_path() / "tagsift-test-XXXXXX") {
        std::string p = path_.string();
        if (!mkdtemp(p.data())) throw std::runtime_error("mkdtemp failed");
        path_ = p;
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    // Writes content to the named file in the directory and returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        std::ofstream(path_ / name, std::ios::binary) << content;
        return (path_ / name).string();
    }

private:
    std::filesystem::path path_;
};

}  // namespace tagsift::testing
