#include "io/output.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "base/fatal.h"

namespace tagsift {

int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

void writeOutput(int fd, std::string_view text) {
    const int err = writeAll(fd, text);
    if (err == EPIPE) throw QuietExit{};
    if (err) throw fatal::writeError(std::strerror(err));
}

class Output::FdSink final : public OutputSink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    void take(std::string_view bytes) override { writeOutput(fd_, bytes); }

private:
    int fd_;
};

class Output::MemorySink final : public OutputSink {
public:
    void take(std::string_view bytes) override { collected.append(bytes); }
    std::string collected;
};

Output::Output(int fd, std::size_t capacity)
    : ownSink_(fd < 0 ? std::unique_ptr<OutputSink>(std::make_unique<MemorySink>()) : std::make_unique<FdSink>(fd)),
      sink_(ownSink_.get()), buffer_(capacity, '\0') {}

Output::Output(OutputSink& sink, std::size_t capacity) : sink_(&sink), buffer_(capacity, '\0') {}

Output::~Output() = default;

void Output::writeOver(std::string_view text) {
    while (!text.empty()) {
        if (used_ == buffer_.size()) drain();
        std::size_t n = std::min(text.size(), buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, text.data(), n);
        used_ += n;
        text.remove_prefix(n);
    }
}

void Output::writeBlanked(std::string_view text) {
    while (!text.empty()) {
        if (used_ == buffer_.size()) drain();
        std::size_t n = std::min(text.size(), buffer_.size() - used_);
        char* to = buffer_.data() + used_;
        std::memcpy(to, text.data(), n);
        // Line feeds are rare in the text between two tags.
        for (char* lf = to; (lf = static_cast<char*>(std::memchr(lf, '\n', n - static_cast<std::size_t>(lf - to)))); ++lf)
            *lf = ' ';
        used_ += n;
        text.remove_prefix(n);
    }
}

void Output::repeat(char c, std::size_t count) {
    while (count > 0) {
        if (used_ == buffer_.size()) drain();
        std::size_t n = std::min(count, buffer_.size() - used_);
        std::memset(buffer_.data() + used_, c, n);
        used_ += n;
        count -= n;
    }
}

void Output::flush() { drain(); }

void Output::drain() {
    const std::size_t used = used_;
    used_ = 0;  // never retry the same bytes while a failure is reported
    if (used > 0) sink_->take({buffer_.data(), used});
}

const std::string& Output::collected() const {
    static const std::string kNone;
    const auto* memory = dynamic_cast<const MemorySink*>(sink_);
    return memory ? memory->collected : kNone;
}

}  // namespace tagsift
