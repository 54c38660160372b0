#include "warc/payload.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace tagsift::warc {

namespace {
// A chunk size line longer than this is no size line.
constexpr std::size_t kSizeLine = 1 << 12;
constexpr std::size_t kInput = 1 << 15;

// The chunk size at the start of a size line (before any ";extension"), or why there is none.
const char* chunkSize(std::string_view line, std::uint64_t& size) {
    std::string_view digits = line.substr(0, line.find(';'));
    while (!digits.empty() && isSpace(static_cast<unsigned char>(digits.back()))) digits.remove_suffix(1);
    while (!digits.empty() && isSpace(static_cast<unsigned char>(digits.front()))) digits.remove_prefix(1);
    if (digits.empty()) return "a chunk size that is not hexadecimal";
    size = 0;
    for (const char c : digits) {
        const int digit = hexDigitValue(c);
        if (digit < 0) return "a chunk size that is not hexadecimal";
        if (size >> 60 != 0) return "a chunk size past 64 bits";
        size = size << 4 | static_cast<std::uint64_t>(digit);
    }
    return nullptr;
}
}  // namespace

void Dechunker::begin() {
    left_ = 0;
    done_ = failed_ = sized_ = false;
}

std::size_t Dechunker::read(char* to, std::size_t room) {
    if (left_ == 0 && !nextChunk()) return 0;
    const std::size_t n = block_.read(to, static_cast<std::size_t>(std::min<std::uint64_t>(left_, room)));
    left_ -= n;
    return n;
}

bool Dechunker::nextChunk() {
    std::string_view line;
    do {
        if (done_ || !block_.line(line, kSizeLine)) return endOfChunks();
    } while (line.find_first_not_of(" \t") == std::string_view::npos);  // the line end after a chunk
    sized_ = true;
    std::uint64_t size = 0;
    if (const char* wrong = chunkSize(line, size)) {
        fail(wrong);
        return false;
    }
    if (size == 0) {
        done_ = true;  // the last chunk: what follows is trailers
        return false;
    }
    if (size > static_cast<std::uint64_t>(block_.left()) && !place_.truncated) {
        // What the record holds of the chunk is the payload's all the same; nothing comes after.
        fail("a chunk that runs past the record's end");
        left_ = static_cast<std::uint64_t>(block_.left());
        return left_ > 0;
    }
    left_ = size;
    return true;
}

// No size line: after the last chunk, at the end of the block, or one too long.
bool Dechunker::endOfChunks() {
    if (done_ || block_.cut()) return false;
    const std::string_view rest = block_.visible();
    // An answer without a body (to a HEAD request, a 304) keeps the headers of a whole one.
    const bool noBody = !sized_ && rest.find_first_not_of(" \t\r") == std::string_view::npos;
    if (rest.size() > kSizeLine) fail("a chunk size that is not hexadecimal");
    else if (!place_.truncated && !noBody) fail("a chunked payload cut short");
    done_ = true;
    return false;
}

void Dechunker::fail(const char* what) {
    place_.ledger.problem(place_.offset, what);
    done_ = failed_ = true;
}

void Decoder::begin(Payload& from) {
    from_ = &from;
    inflater_.stop();
    if (input_.empty()) input_.resize(kInput);
    at_ = end_ = 0;
    pending_ = {};
    inputEnded_ = started_ = done_ = failed_ = false;
}

bool Decoder::refill() {
    if (inputEnded_) return false;
    if (at_ > 0) {
        std::memmove(input_.data(), input_.data() + at_, end_ - at_);
        end_ -= at_;
        at_ = 0;
    }
    const std::size_t got = from_->read(input_.data() + end_, input_.size() - end_);
    inputEnded_ = got == 0;
    end_ += got;
    return got > 0;
}

// The wrapper is told by the first two bytes, which a chunk or a read may split: gzip and zlib
// by their headers, else raw deflate. After a gzip member, only another member goes on.
bool Decoder::startStream() {
    while (end_ - at_ < 2 && refill()) {
    }
    if (at_ == end_) return false;
    const auto first = static_cast<unsigned char>(input_[at_]);
    const auto second = end_ - at_ >= 2 ? static_cast<unsigned char>(input_[at_ + 1]) : 0u;
    if (started_ && !(first == 0x1f && second == 0x8b)) return false;
    const bool zlib = (first & 0x0f) == 8 && end_ - at_ >= 2 && ((first << 8) | second) % 31 == 0;
    wrapper_ = first == 0x1f ? Inflater::Wrapper::Gzip : zlib ? Inflater::Wrapper::Zlib : Inflater::Wrapper::Raw;
    started_ = true;
    inflater_.start(wrapper_);
    stage_.clear();
    return true;
}

std::size_t Decoder::read(char* to, std::size_t room) {
    while (pending_.empty() && !done_) {
        if (!inflater_.live() && !startStream()) {
            done_ = true;
            break;
        }
        if (at_ == end_) refill();
        // Into a stage of its own, not the caller's block: what a broken stream gives then
        // depends on the payload alone, not on how much each caller asks for.
        const Inflater::Step step = stage_.run(inflater_, input_.data() + at_, end_ - at_);
        at_ += step.consumed;
        pending_ = stage_.written();
        if (step.state == Inflater::State::Finished) {
            done_ = wrapper_ != Inflater::Wrapper::Gzip;
        } else if (step.state != Inflater::State::More ||
                   (step.produced == 0 && step.consumed == 0 && at_ == end_ && inputEnded_)) {
            endEarly(step.state);
        }
    }
    return takeFront(pending_, to, room);
}

void Decoder::endEarly(Inflater::State state) {
    done_ = true;
    if (state == Inflater::State::Broken) {
        place_.ledger.problem(place_.offset, "a payload whose compressed data is broken");
    } else if (state == Inflater::State::WrongCheck) {
        place_.ledger.problem(place_.offset, "a payload whose compressed data fails its checksum");
    } else if (from_->failed() || place_.truncated) {
        failed_ = from_->failed();
        return;
    } else {
        place_.ledger.problem(place_.offset, "a payload whose compressed data is cut short");
    }
    failed_ = true;
}

}  // namespace tagsift::warc
