// One gzip member, zlib stream or raw deflate stream at a time, inflated with ISA-L's igzip,
// which also checks the gzip CRC32 and length or the zlib Adler-32 at the stream's end.
#pragma once

#include <cstddef>
#include <memory>

struct inflate_state;

namespace tagsift::warc {

class Inflater {
public:
    enum class Wrapper { Gzip, Zlib, Raw };
    enum class State { More, Finished, Broken, WrongCheck };
    struct Step {
        std::size_t consumed = 0;
        std::size_t produced = 0;
        State state = State::More;
    };

    Inflater();
    ~Inflater();
    void start(Wrapper wrapper);
    // Gives up the stream, wherever it is.
    void stop() { live_ = false; }
    // Between streams: the last one finished or broke, or none started.
    bool live() const { return live_; }
    Step run(const char* in, std::size_t inLength, char* out, std::size_t outLength);

private:
    std::unique_ptr<inflate_state> state_;  // large: made on first use
    bool live_ = false;
};

// The first gzip header (1F 8B 08) that begins in [from, end) and ends by end, or null.
const char* findGzipHeader(const char* from, const char* end);

}  // namespace tagsift::warc
