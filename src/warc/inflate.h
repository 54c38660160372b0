// One gzip member, zlib stream or raw deflate stream at a time, inflated with ISA-L's igzip,
// which also checks the gzip CRC32 and length or the zlib Adler-32 at the stream's end.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

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

// Where an Inflater writes when what a broken stream gives must depend on that stream alone:
// igzip reads a match's bytes back from before where it writes, so a stream that refers back past
// its own start finds zeros there (the stage is cleared for each stream), and each step may fill
// a whole stage, whatever a caller asks for at a time.
class InflateStage {
public:
    // A stream begins: what the one before wrote is cleared.
    void clear();
    // One step of inflater on in[0, length) into the stage; written() is what it gave.
    Inflater::Step run(Inflater& inflater, const char* in, std::size_t length);
    std::string_view written() const { return {bytes_.get() + kGuard, last_}; }

private:
    static constexpr std::size_t kGuard = 1 << 15;  // the farthest a match refers back
    static constexpr std::size_t kSize = 1 << 16;
    std::unique_ptr<char[]> bytes_;  // made on first use
    std::size_t high_ = 0;           // the most the current stream has written
    std::size_t last_ = 0;
};

// Copies up to room bytes from the front of pending to to, and drops them there; how many.
std::size_t takeFront(std::string_view& pending, char* to, std::size_t room);

// The bytes a gzip header begins with: its magic and the deflate method.
inline constexpr std::string_view kGzipHeaderStart{"\x1f\x8b\x08", 3};
// The first gzip header (kGzipHeaderStart) that begins in [from, end) and ends by end, or null.
const char* findGzipHeader(const char* from, const char* end);

}  // namespace tagsift::warc
