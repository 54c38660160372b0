#include "warc/block.h"

#include <algorithm>
#include <cstring>

#include "warc/headers.h"

namespace tagsift::warc {

namespace {
// Header blocks of real crawls are a few hundred bytes: the buffer is filled by steps of this
// much (in a plain file, what a step reads past the headers is read again by the document's
// worker), and holds the largest header block allowed with room to spare.
constexpr std::size_t kStep = 1 << 12;
constexpr std::size_t kBuffer = 1 << 17;
// Reads at least this large skip the buffer.
constexpr std::size_t kDirect = 1 << 12;

std::size_t atMost(std::size_t n, long long limit) {
    return static_cast<std::size_t>(std::min<long long>(static_cast<long long>(std::min<std::size_t>(n, LLONG_MAX)), limit));
}
}  // namespace

BlockReader::BlockReader(Members& members) : members_(members), buffer_(new char[kBuffer]) {}

bool BlockReader::nextMember() {
    at_ = end_ = 0;
    drained_ = false;
    position_ = 0;
    unlimit();
    return members_.next();
}

bool BlockReader::memberEnded() { return buffered(1) == 0; }

std::size_t BlockReader::fill(std::size_t n) {
    buffered(atMost(n, left_));
    return visible().size();
}

std::size_t BlockReader::buffered(std::size_t n) {
    n = std::min(n, kBuffer);
    if (at_ == end_) at_ = end_ = 0;  // most of the time: the buffer's pages stay few
    while (end_ - at_ < n && !drained_) {
        if (kBuffer - end_ < kStep) {
            std::memmove(buffer_.get(), buffer_.get() + at_, end_ - at_);
            end_ -= at_;
            at_ = 0;
        }
        const std::size_t got = members_.read(buffer_.get() + end_, std::min(std::max(kStep, n - (end_ - at_)), kBuffer - end_));
        drained_ = got == 0;
        end_ += got;
    }
    return end_ - at_;
}

std::string_view BlockReader::visible() const { return {buffer_.get() + at_, atMost(end_ - at_, left_)}; }

void BlockReader::consume(std::size_t n) {
    at_ += n;
    position_ += static_cast<long long>(n);
    left_ -= static_cast<long long>(n);
}

std::size_t BlockReader::read(char* to, std::size_t room) {
    room = atMost(room, left_);
    if (room == 0) return 0;
    if (at_ == end_ && room >= kDirect && !drained_) {
        const std::size_t n = members_.read(to, room);
        drained_ = n == 0;
        position_ += static_cast<long long>(n);
        left_ -= static_cast<long long>(n);
        return n;
    }
    const std::size_t n = std::min(room, fill(1));
    std::memcpy(to, buffer_.get() + at_, n);
    consume(n);
    return n;
}

long long BlockReader::skip(long long n) {
    if (!members_.compressed()) {
        // A plain file's bytes past the buffer are passed over where they are: a document handed
        // out as a stretch of the file is read by its worker, not here.
        n = std::min(n, left_);
        const auto buffered = static_cast<std::size_t>(std::min<long long>(n, static_cast<long long>(end_ - at_)));
        consume(buffered);
        if (static_cast<long long>(buffered) == n || drained_) return static_cast<long long>(buffered);
        const long long rest = n - static_cast<long long>(buffered);
        const long long k = members_.skipPlain(rest);
        drained_ = k < rest;
        position_ += k;
        left_ -= k;
        return static_cast<long long>(buffered) + k;
    }
    long long done = 0;
    while (done < n) {
        const std::size_t k = std::min(fill(kBuffer / 2), atMost(kBuffer, n - done));
        if (k == 0) break;
        consume(k);
        done += static_cast<long long>(k);
    }
    return done;
}

bool BlockReader::line(std::string_view& line, std::size_t max) {
    for (std::size_t searched = 0;;) {
        const std::string_view here = visible();
        const std::size_t lf = here.find('\n', searched);
        if (lf != std::string_view::npos) {
            if (lf > max) return false;
            line = here.substr(0, lf > 0 && here[lf - 1] == '\r' ? lf - 1 : lf);
            consume(lf + 1);
            return true;
        }
        if (here.size() > max || fill(here.size() + 1) == here.size()) return false;
        searched = here.size();
    }
}

std::size_t BlockReader::headerBlock(std::size_t max) {
    for (std::size_t size = fill(kStep);; size = fill(size + kStep)) {
        const std::size_t end = headerBlockEnd(visible().substr(0, max + 1));
        if (end != std::string_view::npos && end <= max) return end;
        if (size > max || fill(size + 1) == size) return 0;
    }
}

}  // namespace tagsift::warc
