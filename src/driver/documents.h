// The documents of a run: their names, and their files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "driver/command_line.h"
#include "io/input.h"

namespace tagsift {

// The names of the documents: the words after --, then the lines of the --files-from list,
// read as they are needed. A list that cannot be read ends the run (a Fatal): what it would
// have named is unknown.
class DocumentNames {
public:
    // Opens the list, if there is one; inFd is standard input.
    DocumentNames(const Settings& settings, int inFd);
    bool next(std::string& name);

private:
    const std::vector<std::string>& files_;
    std::size_t nextFile_ = 0;
    std::string listName_;
    std::optional<Input> list_;
    const char* at_ = nullptr;
    const char* end_ = nullptr;
};

// How a message names the file name: standard input for "-", else the name in quotes, with
// any NUL byte shown as \0.
std::string describeFile(const std::string& name);

// The bytes of the named file ("-": standard input, which stays open), or the reason it
// cannot be read as a DocumentError.
std::unique_ptr<ByteSource> openDocument(const std::string& name, int inFd);

}  // namespace tagsift
