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

// The first carriage return in [from, end) that a line feed follows, or end.
char* nextPair(char* from, char* const end) {
    for (char* cr = from; (cr = static_cast<char*>(std::memchr(cr, '\r', static_cast<std::size_t>(end - cr)))); ++cr)
        if (cr + 1 != end && cr[1] == '\n') return cr;
    return end;
}

// Moving a stretch costs a few instructions for each 32 bytes; cutting the block costs the
// scanner a few hundred. Stretches shorter than this move.
constexpr std::size_t kLongStretch = 4096;

// Drops every carriage return that directly precedes a line feed from data[0, length): pages
// with CR LF line ends have one every few dozen bytes, and the text between them moves up over
// the gaps; a long stretch stays where it is and starts a segment (gaps) of its own. Returns
// where the last segment ends.
std::size_t dropCarriageReturns(char* data, std::size_t length, std::vector<std::size_t>& gaps) {
    char* const end = data + length;
    char* to = nextPair(data, end);  // where the next kept byte goes
    if (to == end) return length;
    for (char* from = to + 1;;) {
        char* const pair = nextPair(from, end);
        const auto run = static_cast<std::size_t>(pair - from);
        if (run < kLongStretch) {
            std::memmove(to, from, run);
            to += run;
        } else {
            gaps.push_back(static_cast<std::size_t>(to - data));
            gaps.push_back(static_cast<std::size_t>(from - data));
            to = pair;
        }
        if (pair == end) return static_cast<std::size_t>(to - data);
        from = pair + 1;
    }
}

}  // namespace

FdSource::FdSource(int fd, std::string what, bool ownsFd) : fd_(fd), what_(std::move(what)), ownsFd_(ownsFd) {
    struct stat info;
    regularFile_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    size_ = regularFile_ ? info.st_size : -1;
    // Standard input may be a file that something read a part of before.
    if (regularFile_) first_ = ::lseek(fd_, 0, SEEK_CUR);
}

FdSource::~FdSource() {
    if (ownsFd_) ::close(fd_);
}

std::size_t FdSource::read(char* to, std::size_t room) {
    for (;;) {
        ssize_t n = ::read(fd_, to, room);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw fatal::readError(what_, std::strerror(errno));
    }
}

long long ByteSource::skip(long long n) {
    char scratch[1 << 14];  // on the stack: a pipe's records are passed over one by one
    long long done = 0;
    while (done < n) {
        const std::size_t got = read(scratch, static_cast<std::size_t>(std::min<long long>(n - done, sizeof scratch)));
        if (got == 0) break;
        done += static_cast<long long>(got);
    }
    return done;
}

long long FdSource::skip(long long n) {
    if (!regularFile_) return ByteSource::skip(n);
    struct stat info;
    const off_t here = ::lseek(fd_, 0, SEEK_CUR);
    if (here < 0 || fstat(fd_, &info) != 0) throw fatal::readError(what_, std::strerror(errno));
    const long long k = std::clamp<long long>(info.st_size - here, 0, n);
    if (::lseek(fd_, here + k, SEEK_SET) < 0) throw fatal::readError(what_, std::strerror(errno));
    // Past the size the file says it has, a read finds the end at once; but some files hold more
    // than they say (those of /proc), and only a read finds how much.
    return k < n ? k + ByteSource::skip(n - k) : k;
}

std::size_t FdSource::readAt(char* to, std::size_t room, long long offset) const {
    for (;;) {
        const ssize_t n = ::pread(fd_, to, room, first_ + offset);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno != EINTR) throw fatal::readError(what_, std::strerror(errno));
    }
}

std::size_t TextSource::read(char* to, std::size_t room) {
    std::size_t n = std::min({room, block_, text_.size() - at_});
    std::memcpy(to, text_.data() + at_, n);
    at_ += n;
    return n;
}

void Input::Cleaner::next(Piece& piece) {
    // One byte more than a block, for a carriage return held from the block before.
    piece.bytes.grow(blockSize + 1);
    piece.end = false;
    piece.length = 0;
    piece.gaps.clear();
    while (!documentDone) {
        char* data = piece.bytes.data();
        std::size_t len = 0;
        if (heldCarriageReturn) {
            data[len++] = '\r';
            heldCarriageReturn = false;
        }
        std::size_t got = source->read(data + len, blockSize);
        if (got == 0) documentDone = true;
        len += got;
        if (void* stop = std::memchr(data, 26, len)) {
            len = static_cast<std::size_t>(static_cast<char*>(stop) - data);
            documentDone = true;
        }
        // A carriage return at the end of a block may be the first half of a pair.
        if (!documentDone && len > 0 && data[len - 1] == '\r') {
            heldCarriageReturn = true;
            --len;
        }
        len = dropCarriageReturns(data, len, piece.gaps);
        if (len > 0) {
            piece.length = len;
            return;
        }
    }
    piece.end = true;
}

// Two pieces: the scanner works on one while the reader makes the other. The reader owns the
// cleaner; what it hands over is guarded by the mutex.
struct Input::ReadAhead {
    std::unique_ptr<Cleaner> cleaner;
    std::mutex mutex;
    std::condition_variable changed;
    Piece slots[2];
    bool full[2] = {};
    bool done = false;          // nothing follows the full slots
    std::exception_ptr failed;  // follows the full slots
    bool abandoned = false;     // the scanner is gone
    bool reading = false;       // the reader is in a read, which on a pipe may never end
    int next = 0;               // the slot the scanner takes next
    int held = -1;              // the slot the scanner works on

    void run() {
        read();
        cleaner.reset();  // closes an owned descriptor as soon as it is read
    }

    void read() {
        for (int k = 0;; k ^= 1) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !full[k] || abandoned; });
                if (abandoned) return;
                reading = true;
            }
            std::exception_ptr error;
            try {
                cleaner->next(slots[k]);
            } catch (...) {
                error = std::current_exception();
            }
            const bool last = error || slots[k].end;
            {
                std::lock_guard lock(mutex);
                reading = false;
                if (error) failed = error;
                else full[k] = true;
                if (last) done = true;
            }
            changed.notify_all();
            if (last) return;
        }
    }
};

Input::Input(int fd, std::size_t blockSize, std::string what, bool ownsFd)
    : Input(std::make_unique<FdSource>(fd, std::move(what), ownsFd), blockSize) {}

// The block of the last Input read on this thread without a reader, kept for the next: a worker
// reads thousands of documents, and a fresh block for each would cost its allocation and its
// first touch every time.
thread_local Input::Room Input::spareBlock;

Input::Input(std::unique_ptr<ByteSource> source, std::size_t blockSize)
    : blockSize_(blockSize), cleaner_(std::make_unique<Cleaner>()) {
    cleaner_->source = std::move(source);
    cleaner_->blockSize = blockSize_;
    piece_.bytes.swap(spareBlock);
}

Input Input::fromText(std::string text, std::size_t blockSize) {
    Input in(std::make_unique<TextSource>(std::move(text), blockSize), blockSize);
    in.started_ = true;  // read on this thread: the bytes are all here
    return in;
}

Input::Input(Input&&) noexcept = default;

Input::~Input() {
    if (piece_.bytes.size() > spareBlock.size()) piece_.bytes.swap(spareBlock);
    if (!ahead_) return;
    bool waitForIt;
    {
        std::lock_guard lock(ahead_->mutex);
        ahead_->abandoned = true;
        waitForIt = !(ahead_->reading && mayWaitForEver_);
    }
    ahead_->changed.notify_all();
    // A reader in a read of a pipe may wait there for ever: it is left to find itself abandoned
    // when it comes back, and the state it shares stays alive until then.
    if (waitForIt) reader_.join();
    else reader_.detach();
}

Input::Piece& Input::take() {
    if (!started_) {
        started_ = true;
        // A document that fits in one block is read on this thread, into a buffer of its size:
        // with many small documents, starting a reader and waiting for it to be scheduled would
        // cost more than the read.
        const long long size = cleaner_->source->knownSize();  // -1, unknown, is past any block
        if (static_cast<unsigned long long>(size) <= blockSize_) {
            cleaner_->blockSize = std::max<std::size_t>(static_cast<std::size_t>(size), 1);
            return take();
        }
        if (!cleaner_->source->worthReadingAhead()) return take();
        mayWaitForEver_ = cleaner_->source->mayWaitForEver();
        auto ahead = std::make_shared<ReadAhead>();
        ahead->cleaner = std::move(cleaner_);
        try {
            reader_ = std::thread([ahead] { ahead->run(); });
            ahead_ = std::move(ahead);
        } catch (const std::system_error&) {
            cleaner_ = std::move(ahead->cleaner);  // no thread to be had: read on this one
        }
    }
    if (!ahead_) {
        cleaner_->next(piece_);
        return piece_;
    }
    ReadAhead& a = *ahead_;
    std::unique_lock lock(a.mutex);
    if (a.held >= 0) {
        a.full[a.held] = false;
        a.held = -1;
        a.changed.notify_all();
    }
    a.changed.wait(lock, [&] { return a.full[a.next] || a.done || a.failed; });
    if (!a.full[a.next]) {
        if (a.failed) std::rethrow_exception(a.failed);
        throw std::logic_error("input read past its end");
    }
    a.held = a.next;
    a.next ^= 1;
    return a.slots[a.held];
}

void Input::takeNextPiece() {
    current_ = &take();
    delivered_ = false;
}

std::string_view Input::start(std::size_t n) {
    if (!looked_.empty()) return {shown_.data(), std::min(n, shown_.size())};
    // The document's first piece, undelivered, as refill() would find it.
    if (current_ && current_->end) return {};
    if (!current_ || delivered_) {
        takeNextPiece();
        if (current_->end) return {};
    }
    if (current_->segments() == 1 && current_->length >= n) return {current_->bytes.data(), n};
    // A short block (a small document, a pipe's read, a small block size) or one in segments: its
    // segments are gathered, and those of the pieces after it; the segments of the pieces before
    // the last one are kept as copies, since taking a piece frees the one before. The end, when
    // it comes, stays in current_ after them.
    shown_.clear();
    for (;;) {
        for (segment_ = 0; nextSegment();) shown_.append(begin_, end_);
        if (shown_.size() >= n) break;
        for (segment_ = 0; nextSegment();) looked_.emplace_back(begin_, end_);
        takeNextPiece();
        if (current_->end) break;
    }
    segment_ = 0;
    begin_ = end_ = nullptr;
    return {shown_.data(), std::min(n, shown_.size())};
}

bool Input::refillFromNextPiece() {
    begin_ = end_ = nullptr;
    if (lookedOut_) {
        looked_.pop_front();
        lookedOut_ = false;
    }
    if (!looked_.empty()) {
        begin_ = looked_.front().data();
        end_ = begin_ + looked_.front().size();
        lookedOut_ = true;
        return true;
    }
    if (current_ && current_->end) return false;
    if (!current_ || delivered_) {
        takeNextPiece();
        if (current_->end) return false;
    }
    delivered_ = true;
    segment_ = 0;
    return nextSegment() || refillFromNextPiece();
}

bool Input::nextSegment() {
    const std::vector<std::size_t>& gaps = current_->gaps;
    for (const std::size_t count = current_->segments(); segment_ < count; ++segment_) {
        const std::size_t from = segment_ ? gaps[2 * segment_ - 1] : 0;
        const std::size_t to = segment_ + 1 < count ? gaps[2 * segment_] : current_->length;
        if (from == to) continue;
        begin_ = current_->bytes.data() + from;
        end_ = current_->bytes.data() + to;
        ++segment_;
        return true;
    }
    begin_ = end_ = nullptr;
    return false;
}

}  // namespace tagsift
