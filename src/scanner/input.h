// Standard input in large blocks, as a text-mode stream.
//
// Each block is cleaned as it arrives so that the scanner can search it in
// bulk: a carriage return directly before a line feed is dropped (also when
// the pair is split between two reads), and a byte 26 ends the input for good.
#pragma once

#include <cstddef>
#include <string>

namespace tagsift {

class Input {
public:
    // Reads the file descriptor fd (standard input by default).
    explicit Input(int fd = 0, std::size_t blockSize = 1 << 18);
    // Reads the given bytes, delivering at most blockSize of them per block
    // (tests use small blocks to split line ends between reads).
    static Input fromText(std::string text, std::size_t blockSize = 1 << 18);

    // Makes [begin(), end()) the next non-empty block; false at the end of the input.
    bool refill();
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }

private:
    std::size_t readRaw(char* to, std::size_t room);

    int fd_;
    std::string buffer_;
    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    bool heldCarriageReturn_ = false;
    bool finished_ = false;
    std::string text_;  // fromText() source
    std::size_t textPos_ = 0;
};

}  // namespace tagsift
