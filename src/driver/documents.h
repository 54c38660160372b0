// The documents of a run: their names, and their files.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "driver/command_line.h"
#include "io/input.h"
#include "tag/tag.h"

namespace tagsift {

// The names of the documents: the words after --, then the lines of each --files-from list in
// turn, read as they are needed. A list that cannot be read ends the run (a Fatal): what it
// would have named is unknown.
class DocumentNames {
public:
    // Opens the list, if there is one; inFd is standard input.
    DocumentNames(const Settings& settings, int inFd);
    bool next(std::string& name);

private:
    // Reads into memory what standard input still holds of the lists read from it, so that a
    // document named "-" finds it read, and no name is taken for a page.
    void holdStandardInputLists();

    const std::vector<std::string>& files_;
    std::size_t nextFile_ = 0;
    const std::vector<std::string>& listNames_;
    // Each opened at the start; the front one is read. A list is no page: read as it stands,
    // without the cleaning of a page (a byte 26 in it ends nothing).
    std::vector<std::unique_ptr<ByteSource>> lists_;
    std::size_t list_ = 0;
    std::unique_ptr<char[]> block_;
    const char* at_ = nullptr;
    const char* end_ = nullptr;
};

// What --doc-if says of a document: its fields are the attributes that the condition tests,
// and an empty field is an absent one. Without --doc-if every document is taken.
class DocumentChoice {
public:
    explicit DocumentChoice(const Settings& settings) : settings_(settings) {}
    bool takes(const std::string& name, const DocumentInfo& info);

private:
    const Settings& settings_;
    AttributeList fields_;
    std::string offset_;
};

// A source whose bytes are counted as they are read (for --stats and --progress): into read,
// and into inflated too unless it is null.
class CountedSource final : public ByteSource {
public:
    CountedSource(std::unique_ptr<ByteSource> source, std::atomic<long long>& read, std::atomic<long long>* inflated)
        : source_(std::move(source)), read_(read), inflated_(inflated) {}
    std::size_t read(char* to, std::size_t room) override {
        const std::size_t n = source_->read(to, room);
        count(static_cast<long long>(n));
        return n;
    }
    long long skip(long long n) override {
        const long long k = source_->skip(n);
        count(k);
        return k;
    }
    bool mayWaitForEver() const override { return source_->mayWaitForEver(); }
    long long knownSize() const override { return source_->knownSize(); }
    bool worthReadingAhead() const override { return source_->worthReadingAhead(); }
    std::size_t readAt(char* to, std::size_t room, long long offset) const override {
        return source_->readAt(to, room, offset);
    }
    bool readableAt() const override { return source_->readableAt(); }

private:
    void count(long long n) {
        read_ += n;
        if (inflated_) *inflated_ += n;
    }

    std::unique_ptr<ByteSource> source_;
    std::atomic<long long>& read_;
    std::atomic<long long>* inflated_;
};

// The number of files and their bytes in all, where they are known before the run (the names
// after --, of regular files).
struct KnownSizes {
    std::optional<long long> files;
    std::optional<long long> bytes;
};
KnownSizes knownSizes(const Settings& settings, int inFd);

// How a message names the file name: standard input for "-", else the name in quotes, with
// any NUL byte shown as \0.
std::string describeFile(const std::string& name);

// The bytes of the named file ("-": standard input, which stays open), or the reason it
// cannot be read as a DocumentError.
std::unique_ptr<ByteSource> openDocument(const std::string& name, int inFd);

}  // namespace tagsift
