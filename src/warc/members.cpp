#include "warc/members.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tagsift::warc {

namespace {
constexpr std::size_t kRaw = 1 << 15;
// A member that breaks within this many bytes of its start (many members of real crawls are
// smaller) is searched again for the next gzip header from the byte after its start; one that
// breaks later, from where it broke.
constexpr std::size_t kHistory = 1 << 14;

std::uint32_t readLittleEndian32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(p[i]);
    return v;
}
}  // namespace

Members::Members(ByteSource& file, Ledger& ledger, const InflateAhead::Options& ahead)
    : file_(file), ledger_(ledger), raw_(new char[kRaw]), aheadOptions_(ahead) {}

// Moves the bytes still wanted to the front: those not used, and the current member's from its
// start while it is young enough to be searched again.
void Members::compact() {
    std::size_t keep = rawAt_;
    const long long start = start_ - rawBase_;
    if (start >= 0 && rawAt_ - static_cast<std::size_t>(start) <= kHistory) keep = static_cast<std::size_t>(start);
    std::memmove(raw_.get(), raw_.get() + keep, rawEnd_ - keep);
    rawBase_ += static_cast<long long>(keep);
    rawAt_ -= keep;
    rawEnd_ -= keep;
}

bool Members::readRaw() {
    if (fileEnded_) return false;
    if (rawEnd_ == kRaw) compact();
    const std::size_t got = file_.read(raw_.get() + rawEnd_, kRaw - rawEnd_);
    ledger_.counts.bytesRead += static_cast<long long>(got);
    rawEnd_ += got;
    fileEnded_ = got == 0;
    return got > 0;
}

bool Members::next() {
    if (state_ == State::Over) return false;
    if (state_ == State::Unstarted) {
        compressed_ = looksCompressed();
        if (compressed_ && aheadOptions_.helpers > 0 && file_.readableAt())
            ahead_ = std::make_unique<InflateAhead>(file_, file_.knownSize(), aheadOptions_);
        return startMember();
    }
    if (!compressed_) {
        ledger_.span(CrawlSpan::Kind::Member, 0, 0, ledger_.counts.bytesRead);
        state_ = State::Over;
        return false;
    }
    if (state_ == State::Ended) ledger_.span(CrawlSpan::Kind::Member, start_, start_, end_);
    if (state_ == State::Rejected && !endsAtTrailer()) state_ = State::Broken;
    if (state_ == State::Rejected) endStretch(end_);
    if (state_ == State::Broken) seekHeader();
    if (startMember()) return true;
    endStretch(rawOffset());
    state_ = State::Over;
    return false;
}

// A gzip header first makes a compressed file, and so does a member that holds a WARC record
// before any WARC line in the first bytes: the bytes before it are a broken stretch, as between
// two members. (A plain file that starts inside a record may hold a compressed payload first.)
bool Members::looksCompressed() {
    while (rawEnd_ < 2 && readRaw()) {
    }
    if (rawEnd_ < 2) return false;
    const std::string_view first(raw_.get(), rawEnd_);
    if (first.starts_with("\x1f\x8b")) return true;
    if (first.starts_with("WARC/")) return false;
    while (rawEnd_ < kRaw && readRaw()) {
    }
    const std::string_view head(raw_.get(), rawEnd_);
    const char* header = findGzipHeader(head.data(), head.data() + head.size());
    if (!header || head.substr(0, static_cast<std::size_t>(header - head.data())).find("WARC/1.") != head.npos)
        return false;
    char start[5];
    inflater_.start(Inflater::Wrapper::Gzip);
    const Inflater::Step step = inflater_.run(header, static_cast<std::size_t>(head.data() + head.size() - header), start, 5);
    inflater_.stop();
    return std::string_view(start, step.produced) == "WARC/";
}

// A member cut short may run on into the members after it and end inside one, or at the end of
// one or of the file, on a trailer of bytes that were never one: its length fails too. Such a
// member ends where its trailer says only when the next member starts there and no header lies
// inside it (a gzip payload stored in a member holds one).
bool Members::endsAtTrailer() {
    if (rawAt_ >= 4 && readLittleEndian32(raw_.get() + rawAt_ - 4) == static_cast<std::uint32_t>(decoded_)) return true;
    // Of the member's bytes, those still held (a young member's all): a header among them but in
    // its trailer is the start of a member it ran on into.
    const std::size_t trailer = rawAt_ - std::min<std::size_t>(rawAt_, 8);
    const std::size_t from = static_cast<std::size_t>(std::max(start_ + 1, rawBase_) - rawBase_);
    if (from < trailer && findGzipHeader(raw_.get() + from, raw_.get() + trailer + 2)) return false;
    while (rawEnd_ - rawAt_ < 3 && readRaw()) {
    }
    return findGzipHeader(raw_.get() + rawAt_, raw_.get() + std::min(rawEnd_, rawAt_ + 3)) != nullptr;
}

// Junk after the last member is no member cut short: only bytes that may begin a header are.
bool Members::beginsLikeHeader() const {
    if (start_ < rawBase_) return true;  // a member that long had a header
    const auto at = static_cast<std::size_t>(start_ - rawBase_);
    const std::size_t n = std::min(kGzipHeaderStart.size(), rawEnd_ - std::min(rawEnd_, at));
    return std::string_view(raw_.get() + at, n) == kGzipHeaderStart.substr(0, n);
}

bool Members::startMember() {
    if (rawAt_ == rawEnd_ && !readRaw()) {
        state_ = State::Over;
        return false;
    }
    start_ = rawOffset();
    decoded_ = 0;
    outcome_ = Inflater::State::More;
    aheadEnd_ = 0;
    pending_ = {};
    std::optional<InflateAhead::Member> ahead;
    if (ahead_) ahead = ahead_->take(start_);
    if (ahead) {
        // Given as a member inflated here ends, its compressed bytes then passed over.
        ++ledger_.counts.inflatedAhead;
        pending_ = ahead->bytes;
        aheadEnd_ = ahead->end;
        outcome_ = Inflater::State::Finished;
    } else if (compressed_) {
        stage_.clear();
        inflater_.start(Inflater::Wrapper::Gzip);
    }
    state_ = State::Reading;
    return true;
}

std::size_t Members::read(char* to, std::size_t room) {
    if (state_ != State::Reading || room == 0) return 0;
    return compressed_ ? inflate(to, room) : readPlain(to, room);
}

void Members::skipRaw(long long to) {
    while (rawOffset() < to) {
        if (rawAt_ == rawEnd_ && !readRaw()) return;
        rawAt_ += static_cast<std::size_t>(std::min<long long>(static_cast<long long>(rawEnd_ - rawAt_), to - rawOffset()));
    }
}

std::size_t Members::gave(std::size_t n) {
    decoded_ += static_cast<long long>(n);
    ledger_.counts.bytesInflated += static_cast<long long>(n);
    return n;
}

// What the first read left in the buffer, then straight from the file into the caller's block.
std::size_t Members::readPlain(char* to, std::size_t room) {
    if (rawAt_ < rawEnd_) {
        const std::size_t n = std::min(room, rawEnd_ - rawAt_);
        std::memcpy(to, raw_.get() + rawAt_, n);
        rawAt_ += n;
        return gave(n);
    }
    const std::size_t n = fileEnded_ ? 0 : file_.read(to, room);
    ledger_.counts.bytesRead += static_cast<long long>(n);
    if (n == 0) {
        fileEnded_ = true;
        state_ = State::Ended;
    }
    return gave(n);
}

long long Members::skipPlain(long long n) {
    if (state_ != State::Reading) return 0;
    const auto buffered = static_cast<std::size_t>(std::min<long long>(n, static_cast<long long>(rawEnd_ - rawAt_)));
    rawAt_ += buffered;
    long long done = static_cast<long long>(buffered);
    if (done < n && !fileEnded_) {
        const long long k = file_.skip(n - done);
        ledger_.counts.bytesRead += k;
        if (k < n - done) {
            fileEnded_ = true;
            state_ = State::Ended;
        }
        done += k;
    }
    gave(static_cast<std::size_t>(done));
    return done;
}

// The inflater always writes a whole stage at a time, and the caller takes from the stage: what
// a broken member gives before it breaks then depends on the file alone, not on how much each
// caller asks for (which members inflated ahead change), so that any number of jobs prints the
// same.
std::size_t Members::inflate(char* to, std::size_t room) {
    while (pending_.empty() && outcome_ == Inflater::State::More) {
        if (rawAt_ == rawEnd_) readRaw();
        const Inflater::Step step = stage_.run(inflater_, raw_.get() + rawAt_, rawEnd_ - rawAt_);
        rawAt_ += step.consumed;
        pending_ = stage_.written();
        outcome_ = step.state;
        if (step.state == Inflater::State::More && step.produced + step.consumed == 0 && rawAt_ == rawEnd_ &&
            fileEnded_) {
            fail(beginsLikeHeader() ? "a gzip member cut short" : "a broken gzip member");
            return 0;
        }
    }
    const std::size_t n = takeFront(pending_, to, room);
    gave(n);
    if (!pending_.empty()) return n;
    switch (outcome_) {
    case Inflater::State::Finished:
        skipRaw(aheadEnd_);
        state_ = State::Ended;
        end_ = rawOffset();
        endStretch(start_);
        break;
    case Inflater::State::Broken:
        fail("a broken gzip member");
        break;
    case Inflater::State::WrongCheck:
        // It may end where its trailer says (next() tells, while the trailer is the last byte read).
        fail("a gzip member that fails its checksum");
        state_ = State::Rejected;
        end_ = rawOffset();
        break;
    case Inflater::State::More:
        break;
    }
    return n;
}

// A member that gave bytes before it broke is a member of its own; one that gave none is more
// of the broken stretch before it, if there is one.
void Members::fail(std::string_view what) {
    state_ = State::Broken;
    if (stretch_ && decoded_ == 0) return;
    endStretch(start_);
    stretch_ = start_;
    ledger_.problem(start_, what);
}

void Members::endStretch(long long at) {
    if (stretch_) ledger_.span(CrawlSpan::Kind::BrokenMember, *stretch_, *stretch_, at);
    stretch_.reset();
}

// Goes to the next gzip header after the broken member's first byte, or to the end of the file.
void Members::seekHeader() {
    const long long from = std::max(start_ + 1, rawBase_);
    rawAt_ = std::min(rawEnd_, static_cast<std::size_t>(from - rawBase_));
    for (;;) {
        if (const char* p = findGzipHeader(raw_.get() + rawAt_, raw_.get() + rawEnd_)) {
            rawAt_ = static_cast<std::size_t>(p - raw_.get());
            return;
        }
        rawAt_ = std::max(rawAt_, rawEnd_ - std::min<std::size_t>(rawEnd_, 2));  // a header may start in the last two
        if (!readRaw()) {
            rawAt_ = rawEnd_;
            return;
        }
    }
}

}  // namespace tagsift::warc
