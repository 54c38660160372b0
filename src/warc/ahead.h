// Gzip members inflated ahead of the crawl reader by helper threads, so that one compressed
// crawl file is inflated on as many cores as the run has jobs. Only for a file that can be read
// at any place (a regular file).
//
// The file is cut into chunks of compressed bytes. A helper takes the next chunk, finds the first
// member that starts in it (a gzip header from which a whole member inflates with the right
// CRC32 and length) and inflates the members that follow back to back while they start inside
// the chunk. The reader still frames every member itself and asks here for the member at the
// place it has reached: a member found there holds the bytes its own inflater would give, since
// the same code ran on the same bytes from the same place. Everything else it inflates itself,
// as without helpers: broken members, stretches the helpers could not follow, members too large
// to hold, and so every problem is found and said by the reader alone.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "io/input.h"

namespace tagsift::warc {

class InflateAhead {
public:
    struct Options {
        unsigned helpers = 0;
        std::size_t chunk = 1 << 17;  // compressed bytes of a chunk
        std::size_t hold = 1 << 20;   // inflated bytes a chunk may hold
    };

    // file outlives this; size: its bytes, or -1 when unknown (then nothing is inflated ahead).
    InflateAhead(const ByteSource& file, long long size, const Options& options);
    ~InflateAhead();
    InflateAhead(const InflateAhead&) = delete;
    InflateAhead& operator=(const InflateAhead&) = delete;

    struct Member {
        std::string_view bytes;  // valid until the next call
        long long end;           // the byte after its last, in the file
    };
    // The member starting at offset, once its chunk is inflated, if a helper found it there.
    // Offsets asked for only grow; the chunks before the one asked for are given back.
    std::optional<Member> take(long long offset);

private:
    struct Chunk;
    struct Helper;
    void help();

    const ByteSource& file_;
    const Options options_;
    const long long size_;
    const long long chunks_;  // in the file
    std::vector<Chunk> slots_;  // chunk i is held in slot i % slots_.size()
    std::mutex mutex_;
    std::condition_variable changed_;
    long long next_ = 0;     // the next chunk to inflate
    long long current_ = 0;  // the chunk the reader is in: the ones before are given back
    std::atomic<bool> cancelled_ = false;  // also read by helpers between steps, unlocked
    std::vector<std::thread> helpers_;
};

}  // namespace tagsift::warc
