#include "driver/documents.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <optional>
#include <thread>
#include <unistd.h>

namespace tagsift {

namespace {
constexpr std::size_t kListBlock = std::size_t{1} << 16;

// The rest of a list, read already, and the failure that ended the reading, if one did: told
// in its turn, after the names before it.
class HeldList final : public ByteSource {
public:
    HeldList(std::string bytes, std::optional<DocumentError> failure)
        : bytes_(std::move(bytes)), failure_(std::move(failure)) {}
    std::size_t read(char* to, std::size_t room) override {
        const std::size_t n = bytes_.read(to, room);
        if (n == 0 && failure_) throw *failure_;
        return n;
    }

private:
    TextSource bytes_;
    std::optional<DocumentError> failure_;
};
}  // namespace

DocumentNames::DocumentNames(const Settings& settings, int inFd)
    : files_(settings.files), listNames_(settings.listNames) {
    for (const std::string& listName : listNames_) {
        const int fd = openFileList(listName, inFd);
        lists_.push_back(std::make_unique<FdSource>(fd, "the file list \"" + listName + "\"", fd != inFd));
    }
    if (!lists_.empty()) block_ = std::make_unique_for_overwrite<char[]>(kListBlock);
}

bool DocumentNames::next(std::string& name) {
    name.clear();
    if (nextFile_ < files_.size()) {
        name = files_[nextFile_++];
        if (name == "-") holdStandardInputLists();
        return true;
    }
    while (list_ < lists_.size()) {
        const char* lf =
            at_ == end_ ? nullptr : static_cast<const char*>(std::memchr(at_, '\n', static_cast<std::size_t>(end_ - at_)));
        if (lf) {
            name.append(at_, lf);
            at_ = lf + 1;
        } else if (at_ != end_) {
            name.append(at_, end_);
            at_ = end_;
            continue;
        } else {
            std::size_t n = 0;
            try {
                n = lists_[list_]->read(block_.get(), kListBlock);
            } catch (const DocumentError& e) {
                throw fatal::fileListError(listNames_[list_], e.why);
            }
            if (n > 0) {
                at_ = block_.get();
                end_ = at_ + n;
                continue;
            }
            lists_[list_++].reset();
        }
        // A list written on Windows ends its lines with a CR.
        if (!name.empty() && name.back() == '\r') name.pop_back();
        // A line of blanks names nothing: no one names a file so, and a stray space in a list is easily made.
        if (name.find_first_not_of(" \t") == std::string::npos) {
            name.clear();
            continue;
        }
        if (name == "-") holdStandardInputLists();
        return true;
    }
    return false;
}

void DocumentNames::holdStandardInputLists() {
    for (std::size_t k = list_; k < lists_.size(); ++k) {
        if (listNames_[k] != "-" || !lists_[k]) continue;
        std::string rest;
        std::optional<DocumentError> failure;
        for (std::size_t n = 1; n > 0;) {
            rest.resize(rest.size() + kListBlock);
            n = 0;
            try {
                n = lists_[k]->read(rest.data() + rest.size() - kListBlock, kListBlock);
            } catch (const DocumentError& e) {
                failure = e;
            }
            rest.resize(rest.size() - kListBlock + n);
        }
        lists_[k] = std::make_unique<HeldList>(std::move(rest), std::move(failure));
    }
}

bool DocumentChoice::takes(const std::string& name, const DocumentInfo& info) {
    if (!settings_.choosesDocuments) return true;
    offset_ = info.offset < 0 ? std::string() : std::to_string(info.offset);
    const std::string_view values[] = {info.url, info.status, info.type,  info.date,
                                       name,     info.record, offset_,    info.truncated};
    static_assert(std::size(values) == std::size(kDocumentFields));
    fields_.clear();
    for (std::size_t i = 0; i < std::size(values); ++i) {
        if (values[i].empty()) continue;
        Attribute& field = fields_.add();
        field.name = kDocumentFields[i];
        field.hasValue = true;
        field.value = values[i];
    }
    return checkArgs(settings_.documentCondition, fields_);
}

KnownSizes knownSizes(const Settings& settings, int inFd) {
    KnownSizes sizes;
    if (!settings.listNames.empty()) return sizes;
    sizes.files = static_cast<long long>(settings.files.size());
    long long bytes = 0;
    for (const std::string& name : settings.files) {
        struct stat info;
        const int got = name == "-" ? fstat(inFd, &info) : stat(name.c_str(), &info);
        if (got != 0 || !S_ISREG(info.st_mode)) return sizes;
        bytes += info.st_size;
    }
    sizes.bytes = bytes;
    return sizes;
}

std::string describeFile(const std::string& name) {
    if (name == "-") return "standard input";
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '\0') quoted += "\\0";
        else quoted += c;
    }
    return quoted + "\"";
}

std::unique_ptr<ByteSource> openDocument(const std::string& name, int inFd) {
    const std::string what = describeFile(name);
    if (name == "-") return std::make_unique<FdSource>(inFd, what, false);
    // A name is a C string to the system: one that holds a NUL would name another file.
    if (name.find('\0') != std::string::npos) throw fatal::readError(what, "a file name cannot hold a NUL byte");
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    // Out of descriptors: the documents of other jobs give theirs back as they end (for two
    // seconds at most), so that a low limit costs time, not documents.
    for (int waited = 0; fd < 0 && (errno == EMFILE || errno == ENFILE) && waited < 400; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) throw fatal::readError(what, std::strerror(errno));
    // A directory opens, and fails at its first read: told here, it is not a file that was read.
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw fatal::readError(what, std::strerror(EISDIR));
    }
    return std::make_unique<FdSource>(fd, what, true);
}

}  // namespace tagsift
