// Standard input in large blocks, as a text-mode stream.
//
// Each block is cleaned as it arrives so that the scanner can search it in
// bulk: a carriage return directly before a line feed is dropped (also when
// the pair is split between two reads), and a byte 26 ends the input for good.
//
// A file descriptor is read ahead on a second thread, which also cleans the
// blocks: while the scanner works on one block, the next is being read.
// Blocks, their order and any read error come out as without it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <thread>

namespace tagsift {

class Input {
public:
    // Reads the file descriptor fd (standard input by default); what names it in a read error.
    // An owned descriptor is closed when it is no longer read.
    explicit Input(int fd = 0, std::size_t blockSize = 1 << 18, std::string what = "standard input",
                   bool ownsFd = false);
    // Reads the given bytes, delivering at most blockSize of them per block
    // (tests use small blocks to split line ends between reads).
    static Input fromText(std::string text, std::size_t blockSize = 1 << 18);
    Input(Input&&) noexcept;
    Input& operator=(Input&&) = delete;
    ~Input();

    // Makes [begin(), end()) the next non-empty block; false at the end of the input.
    bool refill();
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }

private:
    // Where the bytes come from, and the cleaning state carried from block to block.
    struct Source {
        int fd = -1;
        bool ownsFd = false;
        std::string what;
        std::string text;  // read instead of fd when fd < 0
        std::size_t textPos = 0;
        std::size_t textBlock = 0;
        bool heldCarriageReturn = false;
        bool finished = false;
        // Reads and cleans the next non-empty block into buffer (of the block size and one byte
        // more; a text gives at most a block of its own); its length, 0 at the end of the input.
        std::size_t next(std::string& buffer);

        void close();

    private:
        std::size_t readRaw(char* to, std::size_t room);
    };

    struct ReadAhead;

    std::size_t blockSize_;
    std::unique_ptr<Source> source_;  // while read on this thread
    std::string buffer_;
    std::shared_ptr<ReadAhead> ahead_;
    std::thread reader_;
    bool started_ = false;
    const char* begin_ = nullptr;
    const char* end_ = nullptr;
};

}  // namespace tagsift
