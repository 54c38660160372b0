// Standard output through one large buffer.
//
// What one document prints goes through one Output, so rendered formats,
// echoed body text and the few messages that belong on standard output keep
// their order. A full buffer goes to the Output's sink: a file descriptor
// (every write(2) checked: a closed pipe ends the run quietly with QuietExit,
// any other failure is a Fatal), memory in tests, or whatever a caller puts
// between the document and the descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace tagsift {

// Writes all of text to fd, retrying after interruptions; 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view text);
// Writes all of text to fd, which is standard output: a closed pipe throws QuietExit, any other
// failure a Fatal.
void writeOutput(int fd, std::string_view text);

// Where an Output's full buffer goes.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void take(std::string_view bytes) = 0;
};

class Output {
public:
    // Writes to fd; a negative fd collects the output in memory instead (for tests).
    explicit Output(int fd, std::size_t capacity = 1 << 16);
    // Hands full buffers to sink, which must outlive the Output.
    explicit Output(OutputSink& sink, std::size_t capacity = 1 << 16);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output();

    void put(char c) {
        if (used_ == buffer_.size()) drain();
        buffer_[used_++] = c;
    }
    void write(std::string_view text) {
        // Most writes are a few bytes and fit: no call for them (a text of 8 to 16 bytes moves
        // as two words that may overlap).
        const std::size_t n = text.size();
        if (n <= buffer_.size() - used_) {
            char* to = buffer_.data() + used_;
            const char* from = text.data();
            if (n >= 8 && n <= 16) {
                std::uint64_t head, tail;
                std::memcpy(&head, from, 8);
                std::memcpy(&tail, from + n - 8, 8);
                std::memcpy(to, &head, 8);
                std::memcpy(to + n - 8, &tail, 8);
            } else if (n < 8) {
                for (std::size_t i = 0; i != n; ++i) to[i] = from[i];
            } else {
                std::memcpy(to, from, n);
            }
            used_ += n;
            return;
        }
        writeOver(text);
    }
    // The same for a text in memory that can be read up to readable: a short one is moved as
    // 32 bytes at once, whatever its length (the next write covers what lies past it), so that
    // texts of every length take one way.
    void writeFrom(std::string_view text, const char* readable) {
        const std::size_t n = text.size();
        if (n <= 32 && readable - text.data() >= 32 && buffer_.size() - used_ >= 32) {
            std::memcpy(buffer_.data() + used_, text.data(), 32);
            used_ += n;
            return;
        }
        write(text);
    }
    // Writes text with every line feed turned into a blank, as echoed text shows line ends.
    void writeBlanked(std::string_view text);
    void repeat(char c, std::size_t count);
    void flush();

    // What a memory Output has collected, up to the last flush.
    const std::string& collected() const;

private:
    class FdSink;
    class MemorySink;
    void writeOver(std::string_view text);
    void drain();

    std::unique_ptr<OutputSink> ownSink_;
    OutputSink* sink_;
    std::string buffer_;
    std::size_t used_ = 0;
};

}  // namespace tagsift
