// The fourth layer of the crawl reader: the decoders that make a record's block into its
// payload, each a Payload reading from the one below it: the block's bytes, de-chunked, then
// content-decoded.
//
// Each layer reports the problems that it is the first to see, at the record's offset; one whose
// input ended early because of a problem below it (or a record cut short, which the record layer
// reports) says nothing more. A payload the crawler cut short (WARC-Truncated) may end in the
// middle of a chunk or of compressed data without a word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "warc/block.h"
#include "warc/inflate.h"
#include "warc/ledger.h"

namespace tagsift::warc {

class Payload {
public:
    virtual ~Payload() = default;
    // Up to room bytes; 0 at the end.
    virtual std::size_t read(char* to, std::size_t room) = 0;
    // It ended early, in a problem reported (or to be reported by the record layer).
    virtual bool failed() = 0;
};

// What the decoders need to know of the record they read.
struct RecordPlace {
    explicit RecordPlace(Ledger& to) : ledger(to) {}
    Ledger& ledger;
    long long offset = 0;    // where its trouble is reported
    bool truncated = false;  // WARC-Truncated: its payload may end anywhere
};

// The block as it is.
class BlockBytes : public Payload {
public:
    explicit BlockBytes(BlockReader& block) : block_(block) {}
    std::size_t read(char* to, std::size_t room) override { return block_.read(to, room); }
    bool failed() override { return block_.cut(); }

private:
    BlockReader& block_;
};

// Transfer-Encoding: chunked. A chunk size is hexadecimal, fits in 64 bits and stays inside the
// record; the trailers after the last chunk are left to the record layer.
class Dechunker : public Payload {
public:
    Dechunker(BlockReader& block, const RecordPlace& place) : block_(block), place_(place) {}
    // Starts a payload.
    void begin();
    std::size_t read(char* to, std::size_t room) override;
    bool failed() override { return failed_ || block_.cut(); }

private:
    bool nextChunk();
    bool endOfChunks();
    void fail(const char* what);

    BlockReader& block_;
    const RecordPlace& place_;
    std::uint64_t left_ = 0;  // of the current chunk
    bool done_ = false;
    bool failed_ = false;
    bool sized_ = false;  // a chunk size line has been read
};

// Content-Encoding: gzip (every member, as gzip -d does), or deflate (a zlib stream, or a raw
// deflate stream as some servers send). Bytes after the compressed data are not part of it.
class Decoder : public Payload {
public:
    explicit Decoder(const RecordPlace& place) : place_(place) {}
    // Starts a payload, decoding what from gives.
    void begin(Payload& from);
    std::size_t read(char* to, std::size_t room) override;
    bool failed() override { return failed_; }

private:
    bool startStream();
    bool refill();
    void endEarly(Inflater::State state);

    Payload* from_ = nullptr;
    const RecordPlace& place_;
    Inflater inflater_;
    Inflater::Wrapper wrapper_ = Inflater::Wrapper::Gzip;
    std::vector<char> input_;
    std::size_t at_ = 0, end_ = 0;
    InflateStage stage_;
    std::string_view pending_;  // what the stage holds that is not yet given
    bool inputEnded_ = false;
    bool started_ = false;   // a stream has begun: what may follow is another gzip member only
    bool done_ = false;
    bool failed_ = false;
};

}  // namespace tagsift::warc
