// The second layer of the crawl reader: the decoded bytes of the current member through a
// buffer, looked at in place (lines and header blocks are views into it, good until the next
// fill), with the position in the member and a limit that bounds everything to one record's
// block. A large read with nothing buffered goes from the member straight into the caller's
// block: a plain file's payload is read from the file there.
#pragma once

#include <climits>
#include <cstddef>
#include <memory>
#include <string_view>

#include "warc/members.h"

namespace tagsift::warc {

class BlockReader {
public:
    explicit BlockReader(Members& members);

    // Moves to the next member (the current one read to its end); false at the end of the file.
    bool nextMember();
    Members& members() { return members_; }
    // Bytes of the current member consumed so far.
    long long position() const { return position_; }
    // Nothing more in the member.
    bool memberEnded();

    // From here on only the next n bytes can be seen or read; unlimit() lifts it.
    void limit(long long n) { left_ = n; }
    void unlimit() { left_ = LLONG_MAX; }
    long long left() const { return left_; }
    // The member has given its last byte, and the limit reaches past it.
    bool cut() const { return drained_ && static_cast<long long>(end_ - at_) < left_; }

    // Makes at least n bytes visible (fewer at the member's or the limit's end); how many are.
    std::size_t fill(std::size_t n);
    std::string_view visible() const;
    void consume(std::size_t n);
    // Up to room bytes; 0 at the member's or the limit's end.
    std::size_t read(char* to, std::size_t room);
    // Passes over up to n bytes; how many there were.
    long long skip(long long n);
    // The next line, without its line end, of at most max bytes; false when it is longer or no
    // line end comes first.
    bool line(std::string_view& line, std::size_t max);
    // The length of the header block that starts here, through the empty line that ends it, or
    // 0 when none ends within max bytes (then visible() holds more than max bytes) or before the
    // member or the limit ends.
    std::size_t headerBlock(std::size_t max);

private:
    // Makes at least n bytes buffered, whatever the limit; how many are.
    std::size_t buffered(std::size_t n);

    Members& members_;
    std::unique_ptr<char[]> buffer_;
    std::size_t at_ = 0, end_ = 0;  // [at_, end_) read from the member, not yet consumed
    bool drained_ = false;          // the member has given its last byte
    long long position_ = 0;
    long long left_ = LLONG_MAX;
};

}  // namespace tagsift::warc
