#include "scanner/input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "driver/fatal.h"

namespace tagsift {

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
        if (std::memchr(data, '\r', len)) {
            std::size_t to = 0;
            for (std::size_t from = 0; from < len; ++from) {
                if (data[from] == '\r' && from + 1 < len && data[from + 1] == '\n') continue;
                data[to++] = data[from];
            }
            len = to;
        }
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
