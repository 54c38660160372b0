#include "warc/ahead.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>

#include "base/fatal.h"
#include "warc/inflate.h"

namespace tagsift::warc {

namespace {
// Headers in a chunk that turn out to start no member before a helper leaves the chunk to the
// reader: bytes 1F 8B 08 inside compressed data are rare, and a crafted file full of them must
// not cost a helper more than a few trials a chunk.
constexpr int kMisses = 16;
constexpr std::size_t kWindow = 1 << 16;

// A helper's view of the compressed bytes, read at any place.
class Window {
public:
    explicit Window(const ByteSource& file) : file_(file), bytes_(new char[kWindow]) {}

    // The bytes from at on, at least want of them if the file has them; how many.
    std::size_t at(long long at, const char*& bytes, std::size_t want = 1) {
        if (at < base_ || at + static_cast<long long>(want) > base_ + static_cast<long long>(length_)) {
            base_ = at;
            try {
                length_ = file_.readAt(bytes_.get(), kWindow, at);
            } catch (const DocumentError&) {
                length_ = 0;  // the reader meets the error in its turn, and says it
            }
        }
        bytes = bytes_.get() + (at - base_);
        return length_ - static_cast<std::size_t>(at - base_);
    }

private:
    const ByteSource& file_;
    std::unique_ptr<char[]> bytes_;
    long long base_ = 0;
    std::size_t length_ = 0;
};
}  // namespace

struct InflateAhead::Chunk {
    struct Found {
        long long start, end;   // in the file
        std::size_t from, to;   // in bytes
    };
    long long index = -1;  // the chunk held, all here once no helper is filling it
    bool filling = false;
    std::unique_ptr<char[]> bytes;
    std::size_t used = 0;
    std::vector<Found> members;
    std::size_t cursor = 0;  // the first member the reader may still ask for
};

struct InflateAhead::Helper {
    const ByteSource& file;
    std::size_t hold;
    const std::atomic<bool>& cancelled;
    Window window{file};
    Inflater inflater;

    // The next place in [from, limit) where a gzip header begins, or -1.
    long long findHeader(long long from, long long limit) {
        for (long long at = from; at < limit;) {
            const char* p = nullptr;
            const std::size_t n = window.at(at, p, 3);
            if (n < 3) return -1;
            const char* end = p + std::min<long long>(static_cast<long long>(n), limit - at + 2);
            if (const char* hit = findGzipHeader(p, end)) return at + (hit - p);
            at += end - p - 2;
        }
        return -1;
    }

    // The member at start inflated whole and clean into the chunk; its end, or -1 (the chunk as
    // it was).
    long long inflate(InflateAhead::Chunk& chunk, long long start) {
        inflater.start(Inflater::Wrapper::Gzip);
        const std::size_t from = chunk.used;
        for (long long at = start; !cancelled.load(std::memory_order_relaxed) && chunk.used < hold;) {
            const char* in = nullptr;
            const std::size_t n = window.at(at, in);
            if (n == 0) break;  // cut short, or a read error: the reader's to say
            const Inflater::Step step = inflater.run(in, n, chunk.bytes.get() + chunk.used, hold - chunk.used);
            at += static_cast<long long>(step.consumed);
            chunk.used += step.produced;
            if (step.state == Inflater::State::Finished) {
                chunk.members.push_back({start, at, from, chunk.used});
                return at;
            }
            if (step.state != Inflater::State::More || step.consumed + step.produced == 0) break;
        }
        inflater.stop();
        chunk.used = from;
        return -1;
    }

    // The members that start in chunk index, from the first found on; a member that breaks, or
    // does not start where the one before ended, is looked past to the next header.
    void fill(Chunk& chunk, long long index, std::size_t size, long long fileSize) {
        chunk.used = 0;
        chunk.cursor = 0;
        chunk.members.clear();  // first: a chunk whose memory is not to be had holds no member
        if (!chunk.bytes) chunk.bytes.reset(new char[hold]);
        const long long first = index * static_cast<long long>(size);
        const long long limit = std::min(first + static_cast<long long>(size), fileSize);
        int misses = 0;
        for (long long at = index == 0 ? 0 : findHeader(first, limit);
             at >= 0 && at < limit && !cancelled.load(std::memory_order_relaxed);) {
            const long long end = inflate(chunk, at);
            if (end >= 0) at = end;
            else if (++misses > kMisses) break;
            else at = findHeader(at + 1, limit);
        }
    }
};

InflateAhead::InflateAhead(const ByteSource& file, long long size, const Options& options)
    : file_(file), options_(options), size_(size),
      chunks_(size > 0 ? (size + static_cast<long long>(options.chunk) - 1) / static_cast<long long>(options.chunk) : 0),
      slots_(options.helpers + 1) {
    if (chunks_ < 2) return;  // one chunk: nothing to gain over the reader's own inflater
    for (unsigned i = 0; i < options.helpers; ++i) {
        try {
            helpers_.emplace_back([this] { help(); });
        } catch (const std::system_error&) {
            break;  // fewer helpers; with none, the reader inflates everything
        }
    }
}

InflateAhead::~InflateAhead() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
}

void InflateAhead::help() {
    Helper helper{file_, options_.hold, cancelled_, Window(file_), Inflater()};
    for (;;) {
        std::unique_lock lock(mutex_);
        const auto slots = static_cast<long long>(slots_.size());
        changed_.wait(lock, [&] {
            return cancelled_ || next_ >= chunks_ || (next_ < current_ + slots && !slots_[next_ % slots].filling);
        });
        if (cancelled_ || next_ >= chunks_) return;
        const long long index = next_++;
        Chunk& chunk = slots_[index % slots];
        chunk.index = index;
        chunk.filling = true;
        lock.unlock();
        try {
            helper.fill(chunk, index, options_.chunk, size_);
        } catch (...) {
            // Memory for a chunk not to be had: the reader inflates what is missing itself.
        }
        lock.lock();
        chunk.filling = false;
        changed_.notify_all();
    }
}

std::optional<InflateAhead::Member> InflateAhead::take(long long offset) {
    const long long index = offset / static_cast<long long>(options_.chunk);
    if (helpers_.empty() || index >= chunks_) return std::nullopt;
    std::unique_lock lock(mutex_);
    if (index > current_) {
        current_ = index;
        changed_.notify_all();
    }
    Chunk& chunk = slots_[index % static_cast<long long>(slots_.size())];
    changed_.wait(lock, [&] { return chunk.index == index && !chunk.filling; });
    while (chunk.cursor < chunk.members.size() && chunk.members[chunk.cursor].start < offset) ++chunk.cursor;
    if (chunk.cursor == chunk.members.size() || chunk.members[chunk.cursor].start != offset) return std::nullopt;
    const Chunk::Found& found = chunk.members[chunk.cursor];
    return Member{{chunk.bytes.get() + found.from, found.to - found.from}, found.end};
}

}  // namespace tagsift::warc
