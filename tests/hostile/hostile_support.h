// Helpers for the hostile-input and output-failure tests: a scratch
// directory, and runs of the built binary under bash for redirections that
// runBinary() has no option for (a regular file or a directory on standard
// input, a real pipe into head, an ignored SIGPIPE).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/run_binary.h"

namespace tagsift::testing {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tagsift-hostile-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Writes content to the named file in the directory and returns its path.
    std::string write(const std::string& name, const std::string& content) const {
        std::filesystem::path p = path_ / name;
        std::ofstream out(p, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) throw std::runtime_error("cannot write " + p.string());
        return p.string();
    }

private:
    std::filesystem::path path_;
};

// Runs script with bash; in it "$0" is the tagsift binary and "$@" are args.
inline RunResult runScript(const std::string& script, const std::vector<std::string>& args = {},
                           const std::string& input = "", const RunOptions& options = {}) {
    std::vector<std::string> words{"-c", script, binaryPath()};
    words.insert(words.end(), args.begin(), args.end());
    return runBinary("/bin/bash", words, input, options);
}

}  // namespace tagsift::testing
