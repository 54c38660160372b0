// The first layer of the crawl reader: the bytes of a WARC file as members, each the decoded
// bytes of one gzip member, or, when the file is not compressed (its first bytes are no gzip
// header, and no member holding a WARC record comes before a WARC line in them), the whole file
// as one member.
//
// Members of a compressed regular file may be inflated ahead by helper threads (warc/ahead.h);
// what the reader gives and says is the same either way.
//
// A member that breaks, ends with the file before its end, or fails its CRC32 or length check
// is reported at its start, with what it gave up to then still read. The next member is looked
// for from the byte after that start: the next gzip header. A header there that gives not one
// byte before it breaks is taken for bytes of the same broken stretch and not reported again.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "io/input.h"
#include "warc/ahead.h"
#include "warc/inflate.h"
#include "warc/ledger.h"

namespace tagsift::warc {

class Members {
public:
    Members(ByteSource& file, Ledger& ledger, const InflateAhead::Options& ahead = {});

    // Moves to the next member; false at the end of the file. The member before must have been
    // read to its end.
    bool next();
    // Up to room decoded bytes of the current member; 0 at its end.
    std::size_t read(char* to, std::size_t room);
    // In a plain file: passes over up to n bytes, without reading them where the file can say
    // where it is; how many there were.
    long long skipPlain(long long n);
    // Where the current member starts in the file.
    long long offset() const { return start_; }
    bool compressed() const { return compressed_; }
    // The current member ended in a problem, reported.
    bool broken() const { return state_ == State::Broken || state_ == State::Rejected; }
    bool mayWaitForEver() const { return file_.mayWaitForEver(); }

private:
    // Rejected: it ended where its trailer says, with a wrong CRC32 or length; Broken: where it
    // really ends is unknown.
    enum class State { Unstarted, Reading, Ended, Rejected, Broken, Over };

    bool readRaw();
    bool looksCompressed();
    // A member ended with a wrong check, its trailer the last bytes read: its trailer's length
    // holds (its data or its CRC32 was damaged), or the bytes after it begin a gzip header and
    // none begins among its own bytes before its trailer.
    bool endsAtTrailer();
    bool beginsLikeHeader() const;
    void compact();
    bool startMember();
    std::size_t readPlain(char* to, std::size_t room);
    std::size_t inflate(char* to, std::size_t room);
    void skipRaw(long long to);
    std::size_t gave(std::size_t n);
    void fail(std::string_view what);
    void seekHeader();
    void endStretch(long long at);
    long long rawOffset() const { return rawBase_ + static_cast<long long>(rawAt_); }

    ByteSource& file_;
    Ledger& ledger_;
    bool compressed_{};  // told by the file's first bytes, before any is given
    State state_ = State::Unstarted;
    long long start_ = 0;    // the current member's first byte in the file
    long long end_ = 0;      // its end, once it has ended
    long long decoded_ = 0;  // its bytes given so far
    std::optional<long long> stretch_;  // where the broken stretch the reader is in began

    std::unique_ptr<char[]> raw_;  // bytes of the file: [rawAt_, rawEnd_) not yet used
    std::size_t rawAt_ = 0, rawEnd_ = 0;
    long long rawBase_ = 0;        // the file offset of raw_[0]
    bool fileEnded_ = false;
    Inflater inflater_;
    InflateStage stage_;
    // The current member's bytes not yet given, from the stage or inflated ahead, before its
    // outcome takes effect.
    std::string_view pending_;
    Inflater::State outcome_ = Inflater::State::More;  // how its last step ended
    InflateAhead::Options aheadOptions_;
    std::unique_ptr<InflateAhead> ahead_;  // for a compressed file that can be read anywhere
    long long aheadEnd_ = 0;  // where a member inflated ahead ends in the file (else 0)
};

}  // namespace tagsift::warc
