// The bytes of one document in large blocks, as a text-mode stream.
//
// Each block is cleaned as it arrives so that the scanner can search it in
// bulk: a carriage return directly before a line feed is dropped (also when
// the pair is split between two reads), and a byte 26 ends the document. The
// text between two dropped carriage returns moves up over the gap while it is
// short; a long stretch stays where it is and becomes a block of its own, so
// that a page whose CR LF lines are few is not moved as a whole.
//
// A file descriptor, or any other source that may wait, is read ahead on a
// second thread, which also cleans the blocks (and does whatever the source
// does to make them): while the scanner works on one block, the next is
// being made. Blocks, their order, the end and any read error come out as
// without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tagsift {

// What is known of a document before its first byte, and what went wrong since the one before.
// A crawl record fills the fields it has; each is empty (offset -1) where it does not apply.
struct DocumentInfo {
    std::string url;        // WARC-Target-URI, without angle brackets
    std::string date;       // WARC-Date
    std::string status;     // the HTTP status code of a response record ("200")
    std::string type;       // the payload's media type, in lower case, without parameters
    std::string charset;    // the charset parameter of the HTTP Content-Type, as written
    std::string record;     // WARC-Record-ID, without angle brackets
    std::string truncated;  // WARC-Truncated ("length")
    long long offset = -1;  // where the record starts in its file (its gzip member, when compressed)
    std::vector<std::string> problems;  // messages about the input since the document before
    long long undecodable = 0;          // documents passed over since then: their encoding is unknown
    long long unchosen = 0;             // the same that the reader's choice turned away (see WarcSource)
};

// Raw bytes of a document (a crawl file's reader gives its documents one after another).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to room bytes of the current document; 0 at its end. Throws a DocumentError on a
    // read error.
    virtual std::size_t read(char* to, std::size_t room) = 0;
    // A read that may wait for ever (a pipe), so that a reader in it cannot always be waited for.
    virtual bool mayWaitForEver() const { return false; }
    // The bytes of a source of one document whose size is known before it is read, else -1.
    virtual long long knownSize() const { return -1; }
    // False when another thread already makes the bytes ahead of the reader: a second one would
    // only add a hand-over.
    virtual bool worthReadingAhead() const { return true; }
    // Passes over up to n bytes of the current document; how many there were (fewer only at its
    // end). Throws a DocumentError on a read error.
    virtual long long skip(long long n);
    // Up to room bytes from offset (counted from the source's first byte) without moving the
    // reader; 0 at the end and for a source that cannot be read out of order. Throws a
    // DocumentError on a read error. May be called from any thread.
    virtual std::size_t readAt(char* to, std::size_t room, long long offset) const {
        (void)to, (void)room, (void)offset;
        return 0;
    }
    virtual bool readableAt() const { return false; }
};

// The given bytes, at most a block at a time.
class TextSource : public ByteSource {
public:
    explicit TextSource(std::string text, std::size_t block = SIZE_MAX) : text_(std::move(text)), block_(block) {}
    std::size_t read(char* to, std::size_t room) override;

private:
    std::string text_;
    std::size_t block_;
    std::size_t at_ = 0;
};

// Reads a file descriptor; what names it in a read error. An owned descriptor is closed with
// the source.
class FdSource : public ByteSource {
public:
    FdSource(int fd, std::string what, bool ownsFd);
    ~FdSource() override;
    std::size_t read(char* to, std::size_t room) override;
    // A regular file is passed over without reading it.
    long long skip(long long n) override;
    bool mayWaitForEver() const override { return !regularFile_; }
    long long knownSize() const override { return size_; }
    std::size_t readAt(char* to, std::size_t room, long long offset) const override;
    bool readableAt() const override { return first_ >= 0; }

private:
    int fd_;
    std::string what_;
    bool ownsFd_;
    bool regularFile_;
    long long size_;        // -1 unless a regular file
    long long first_ = -1;  // where the source starts in a regular file, or -1
};

class Input {
public:
    // Pages are read in blocks of 256 KiB: two of them and the current tag are all a scan holds.
    static constexpr std::size_t kBlockSize = std::size_t{1} << 18;
    // Reads the file descriptor fd, closing it at the end when it owns it; what names it in a
    // read error.
    Input(int fd, std::size_t blockSize, std::string what, bool ownsFd);
    // Reads a source of one document, on a second thread when that pays.
    explicit Input(std::unique_ptr<ByteSource> source, std::size_t blockSize = kBlockSize);
    // (A block size is at least 1.)
    // Reads the given bytes, delivering at most blockSize of them per block
    // (tests use small blocks to split line ends between reads).
    static Input fromText(std::string text, std::size_t blockSize);
    Input(Input&&) noexcept;
    Input& operator=(Input&&) = delete;
    ~Input();

    // Makes [begin(), end()) the next non-empty block of the current document; false at its end.
    bool refill() {
        if (delivered_ && segment_ < current_->segments() && nextSegment()) return true;
        return refillFromNextPiece();
    }
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }

    // The first bytes of the current document, up to n of them (fewer when it is shorter), as
    // refill() will deliver them: a look at its start before any block of it is read, for once a
    // document. The blocks refill() then delivers are the same as without the look; the view
    // lasts until the next refill().
    std::string_view start(std::size_t n);

private:
    // Room for a block, never filled before the reads fill it: the two of a large page are
    // half a MiB.
    struct Room {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        char* data() const { return bytes.get(); }
        std::size_t size() const { return capacity; }
        void grow(std::size_t n) {
            if (n <= capacity) return;
            bytes = std::make_unique_for_overwrite<char[]>(n);
            capacity = n;
        }
        void swap(Room& other) noexcept {
            bytes.swap(other.bytes);
            std::swap(capacity, other.capacity);
        }
    };
    static thread_local Room spareBlock;
    // One piece of the stream: a cleaned block, or the document's end.
    struct Piece {
        Room bytes;
        std::size_t length = 0;  // of the block
        // Where the block is cut in segments: gaps[2k] ends segment k, gaps[2k + 1] starts
        // segment k + 1 (each cut leaves a carriage return out, and what was moved over it).
        std::vector<std::size_t> gaps;
        bool end = false;  // no block: the document is over
        std::size_t segments() const { return gaps.size() / 2 + 1; }
    };
    // The source and the cleaning state carried from block to block of one document.
    struct Cleaner {
        std::unique_ptr<ByteSource> source;
        std::size_t blockSize = 0;
        bool heldCarriageReturn = false;
        bool documentDone = false;
        // The next piece of the stream into piece, whose buffer has room for a block.
        void next(Piece& piece);
    };
    struct ReadAhead;

    Piece& take();
    // Makes the next piece current, nothing of it delivered yet.
    void takeNextPiece();
    bool refillFromNextPiece();
    // Makes the current piece's next non-empty segment the block; false when none is left.
    bool nextSegment();

    std::size_t blockSize_;
    std::unique_ptr<Cleaner> cleaner_;  // while read on this thread
    Piece piece_;                       // this thread's piece, without a reader
    std::shared_ptr<ReadAhead> ahead_;
    std::thread reader_;
    bool started_ = false;
    bool mayWaitForEver_ = false;
    Piece* current_ = nullptr;  // the piece last taken, until it is used up
    bool delivered_ = false;    // refill() has handed out a segment of current_
    std::size_t segment_ = 0;     // current_'s segment to hand out next
    // start() looked past current_'s block: copies of the segments of the pieces it took before
    // current_, delivered first, and the bytes it showed.
    std::deque<std::string> looked_;
    bool lookedOut_ = false;  // refill() has handed out looked_'s first block
    std::string shown_;
    const char* begin_ = nullptr;
    const char* end_ = nullptr;
};

}  // namespace tagsift
