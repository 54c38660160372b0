#include "scanner/input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "driver/fatal.h"

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

Input::Input(int fd, std::size_t blockSize) : fd_(fd), buffer_(std::max<std::size_t>(blockSize, 2), '\0') {}

Input Input::fromText(std::string text, std::size_t blockSize) {
    Input in(-1, blockSize + 1);  // one byte more for a held carriage return
    in.text_ = std::move(text);
    return in;
}

std::size_t Input::readRaw(char* to, std::size_t room) {
    if (fd_ < 0) {
        std::size_t n = std::min(room, text_.size() - textPos_);
        std::memcpy(to, text_.data() + textPos_, n);
        textPos_ += n;
        return n;
    }
    for (;;) {
        ssize_t n = ::read(fd_, to, room);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw fatal::readError(std::strerror(errno));
    }
}

bool Input::refill() {
    while (!finished_) {
        char* data = buffer_.data();
        std::size_t len = 0;
        if (heldCarriageReturn_) {
            data[len++] = '\r';
            heldCarriageReturn_ = false;
        }
        std::size_t room = buffer_.size() - len;
        if (fd_ < 0) room = std::min(room, buffer_.size() - 1);
        std::size_t got = readRaw(data + len, room);
        if (got == 0) finished_ = true;
        len += got;
        if (void* stop = std::memchr(data, 26, len)) {
            len = static_cast<std::size_t>(static_cast<char*>(stop) - data);
            finished_ = true;
        }
        // A carriage return at the end of a block may be the first half of a pair.
        if (!finished_ && len > 0 && data[len - 1] == '\r') {
            heldCarriageReturn_ = true;
            --len;
        }
        len = dropCarriageReturns(data, len);
        if (len > 0) {
            begin_ = data;
            end_ = data + len;
            return true;
        }
    }
    begin_ = end_ = nullptr;
    return false;
}

}  // namespace tagsift
