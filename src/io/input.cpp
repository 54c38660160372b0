#include "io/input.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

#include "base/fatal.h"

namespace tagsift {

namespace {
// Removes every carriage return that directly precedes a line feed in
// data[0, len); returns the new length. Pages with CR LF line ends have one
// every few dozen bytes, so the text between them moves in memmove-sized runs
// rather than byte by byte.
std::size_t dropCarriageReturns(char* data, std::size_t len) {
    char* const end = data + len;
    char* from = static_cast<char*>(std::memchr(data, '\r', len));
    if (!from) return len;
    char* to = from;
    for (;;) {
        // from stands on a carriage return: drop it when a line feed follows, else keep it.
        if (from + 1 != end && from[1] == '\n') ++from;
        char* next = from + 1 == end
                         ? nullptr
                         : static_cast<char*>(std::memchr(from + 1, '\r', static_cast<std::size_t>(end - from - 1)));
        char* runEnd = next ? next : end;
        if (to != from) std::memmove(to, from, static_cast<std::size_t>(runEnd - from));
        to += runEnd - from;
        if (!next) return static_cast<std::size_t>(to - data);
        from = next;
    }
}
}  // namespace

std::size_t Input::Source::readRaw(char* to, std::size_t room) {
    if (fd < 0) {
        std::size_t n = std::min({room, textBlock, text.size() - textPos});
        std::memcpy(to, text.data() + textPos, n);
        textPos += n;
        return n;
    }
    for (;;) {
        ssize_t n = ::read(fd, to, room);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw fatal::readError(what, std::strerror(errno));
    }
}

void Input::Source::close() {
    if (ownsFd && fd >= 0) ::close(fd);
    ownsFd = false;
}

std::size_t Input::Source::next(std::string& buffer) {
    while (!finished) {
        char* data = buffer.data();
        std::size_t len = 0;
        if (heldCarriageReturn) {
            data[len++] = '\r';
            heldCarriageReturn = false;
        }
        std::size_t got = readRaw(data + len, buffer.size() - len);
        if (got == 0) finished = true;
        len += got;
        if (void* stop = std::memchr(data, 26, len)) {
            len = static_cast<std::size_t>(static_cast<char*>(stop) - data);
            finished = true;
        }
        // A carriage return at the end of a block may be the first half of a pair.
        if (!finished && len > 0 && data[len - 1] == '\r') {
            heldCarriageReturn = true;
            --len;
        }
        len = dropCarriageReturns(data, len);
        if (len > 0) return len;
    }
    return 0;
}

// Two buffers: the scanner works on one while the reader fills the other. The reader owns the
// source; what it hands over is guarded by the mutex.
struct Input::ReadAhead {
    Source source;
    std::mutex mutex;
    std::condition_variable changed;
    std::string slots[2];
    std::size_t lengths[2] = {};
    bool full[2] = {};
    bool done = false;          // nothing follows the full slots
    std::exception_ptr failed;  // follows the full slots
    bool abandoned = false;     // the scanner is gone
    bool reading = false;       // the reader is in a read, which on a pipe may never end
    bool regularFile = false;   // where reads always end
    int next = 0;               // the slot the scanner takes next
    int held = -1;              // the slot the scanner works on

    void run() {
        read();
        source.close();
    }

    void read() {
        for (int k = 0;; k ^= 1) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !full[k] || abandoned; });
                if (abandoned) return;
                reading = true;
            }
            std::size_t n = 0;
            std::exception_ptr error;
            try {
                n = source.next(slots[k]);
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                reading = false;
                if (error) failed = error;
                else if (n == 0) done = true;
                else {
                    lengths[k] = n;
                    full[k] = true;
                }
            }
            changed.notify_all();
            if (error || n == 0) return;
        }
    }
};

Input::Input(int fd, std::size_t blockSize, std::string what, bool ownsFd)
    : blockSize_(std::max<std::size_t>(blockSize, 1)), source_(std::make_unique<Source>()) {
    source_->fd = fd;
    source_->ownsFd = ownsFd;
    source_->what = std::move(what);
}

Input Input::fromText(std::string text, std::size_t blockSize) {
    Input in(-1, blockSize);
    in.source_->text = std::move(text);
    in.source_->textBlock = in.blockSize_;
    return in;
}

Input::Input(Input&&) noexcept = default;

Input::~Input() {
    if (source_) source_->close();
    if (!ahead_) return;
    bool waitForIt;
    {
        std::lock_guard lock(ahead_->mutex);
        ahead_->abandoned = true;
        waitForIt = !ahead_->reading || ahead_->regularFile;
    }
    ahead_->changed.notify_all();
    // A reader in a read of a pipe may wait there for ever: it is left to find itself abandoned
    // when it comes back, and the state it shares stays alive until then.
    if (waitForIt) reader_.join();
    else reader_.detach();
}

bool Input::refill() {
    if (!started_) {
        started_ = true;
        // A file that fits in one block is read on this thread, into a buffer of its size: with
        // many small documents, starting a reader and waiting for it to be scheduled would cost
        // more than the read.
        struct stat info;
        const bool small = source_->fd >= 0 && fstat(source_->fd, &info) == 0 && S_ISREG(info.st_mode) &&
                           static_cast<unsigned long long>(info.st_size) < blockSize_;
        // One byte more than a block, for a carriage return held from the block before.
        const std::size_t room = (small ? static_cast<std::size_t>(info.st_size) + 1 : blockSize_) + 1;
        if (source_->fd >= 0 && !small) {
            try {
                auto ahead = std::make_shared<ReadAhead>();
                ahead->slots[0].assign(room, '\0');
                ahead->slots[1].assign(room, '\0');
                ahead->source = std::move(*source_);
                struct stat info;
                ahead->regularFile = fstat(ahead->source.fd, &info) == 0 && S_ISREG(info.st_mode);
                reader_ = std::thread([ahead] { ahead->run(); });
                ahead_ = std::move(ahead);
                source_.reset();
            } catch (const std::system_error&) {
                // No thread to be had: read on this one.
            }
        }
        if (source_) buffer_.assign(room, '\0');
    }
    if (source_) {
        std::size_t n = source_->next(buffer_);
        begin_ = buffer_.data();
        end_ = begin_ + n;
        if (n == 0) begin_ = end_ = nullptr;
        return n > 0;
    }
    ReadAhead& a = *ahead_;
    std::unique_lock lock(a.mutex);
    if (a.held >= 0) {
        a.full[a.held] = false;
        a.held = -1;
        a.changed.notify_all();
    }
    a.changed.wait(lock, [&] { return a.full[a.next] || a.done || a.failed; });
    if (a.full[a.next]) {
        a.held = a.next;
        a.next ^= 1;
        begin_ = a.slots[a.held].data();
        end_ = begin_ + a.lengths[a.held];
        return true;
    }
    begin_ = end_ = nullptr;
    if (a.failed) std::rethrow_exception(a.failed);
    return false;
}

}  // namespace tagsift
