#include "warc/warc.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

#include <isa-l/igzip_lib.h>

#include "base/fatal.h"
#include "base/text.h"

namespace tagsift {

namespace {

// Header blocks of real crawls are a few hundred bytes; one larger than this never ends.
constexpr std::size_t kHeaderLimit = 1 << 16;
// The decompressor keeps its own window: small buffers on either side of it are enough.
constexpr std::size_t kBuffer = 1 << 15;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && isSpace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The media type of a Content-Type value, without parameters.
bool isHtml(std::string_view contentType) {
    std::string_view type = trimmed(contentType.substr(0, contentType.find(';')));
    return equalsIgnoringCase(type, "text/html") || equalsIgnoringCase(type, "application/xhtml+xml");
}

// The charset parameter of a Content-Type value, without quotes; empty when it has none.
std::string charsetOf(std::string_view contentType) {
    for (std::size_t semicolon = contentType.find(';'); semicolon != std::string_view::npos;) {
        contentType.remove_prefix(semicolon + 1);
        semicolon = contentType.find(';');
        const std::string_view parameter = contentType.substr(0, semicolon);
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos || !equalsIgnoringCase(trimmed(parameter.substr(0, equals)), "charset"))
            continue;
        std::string_view value = trimmed(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

// Reads a header line "Name: value" into name and value; false when it has no colon.
bool splitField(std::string_view line, std::string_view& name, std::string_view& value) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    name = trimmed(line.substr(0, colon));
    value = trimmed(line.substr(colon + 1));
    return true;
}

// Inflates one gzip member, zlib stream or raw deflate stream at a time, with ISA-L's igzip.
class Inflater {
public:
    enum class Wrapper { Gzip, Zlib, Raw };
    enum class State { More, Finished, Broken };
    struct Step {
        std::size_t consumed = 0;
        std::size_t produced = 0;
        State state = State::More;
    };

    void start(Wrapper wrapper) {
        if (!state_) state_ = std::make_unique<inflate_state>();
        isal_inflate_init(state_.get());
        state_->crc_flag = wrapper == Wrapper::Gzip ? ISAL_GZIP : wrapper == Wrapper::Zlib ? ISAL_ZLIB : ISAL_DEFLATE;
        live_ = true;
    }
    void end() { live_ = false; }
    bool live() const { return live_; }

    Step run(const char* in, std::size_t inLength, char* out, std::size_t outLength) {
        inflate_state& z = *state_;
        z.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in));
        z.avail_in = static_cast<std::uint32_t>(std::min<std::size_t>(inLength, 1u << 30));
        z.next_out = reinterpret_cast<std::uint8_t*>(out);
        z.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(outLength, 1u << 30));
        const int status = isal_inflate(&z);
        Step step;
        step.consumed = static_cast<std::size_t>(reinterpret_cast<const char*>(z.next_in) - in);
        step.produced = static_cast<std::size_t>(reinterpret_cast<char*>(z.next_out) - out);
        if (status < 0 || status == ISAL_NEED_DICT) step.state = State::Broken;
        else if (z.block_state == ISAL_BLOCK_FINISH) step.state = State::Finished;
        if (step.state != State::More) live_ = false;
        return step;
    }

private:
    std::unique_ptr<inflate_state> state_;  // large: made once, on first use
    bool live_ = false;
};

}  // namespace

// The decompressed bytes of the file in a buffer, with the record parser and the payload decoder
// on top.
class WarcSource::Reader {
public:
    Reader(std::unique_ptr<ByteSource> file, std::string name) : file_(std::move(file)), name_(std::move(name)) {
        buffer_.resize(kBuffer);
        raw_.resize(kBuffer);
    }

    bool mayWaitForEver() const { return file_->mayWaitForEver(); }
    std::size_t read(char* to, std::size_t room);
    bool nextDocument(DocumentInfo& info);

private:
    // --- the file's bytes, decompressed ---
    // Makes at least n bytes available after at_ where the file has them; how many there are.
    std::size_t fill(std::size_t n);
    std::size_t available() const { return end_ - at_; }
    const char* data() const { return buffer_.data() + at_; }
    void consume(std::size_t n) {
        at_ += n;
        position_ += static_cast<long long>(n);
    }
    // Produces more decompressed bytes at the end of the buffer; false at the end of the file or
    // at a broken member.
    bool produce();
    bool readRaw();
    // The offset in the file of the record that starts at the decompressed position.
    long long fileOffset(long long position) const;

    // --- records ---
    // A line of at most limit bytes (its CR LF or LF dropped); false when the file or the limit
    // comes first.
    bool readLine(std::string& line, std::size_t limit);
    // Passes over n bytes; how many there were.
    long long skip(long long n);
    // Looks for the next line that begins a record, after a problem.
    void resync();
    void problem(long long offset, std::string_view what);
    // Reads a record's header; false when the file is over.
    bool readRecord();
    void endRecord();

    // --- payloads ---
    std::size_t readBlock(char* to, std::size_t room);
    bool blockLine(std::string& line);
    std::size_t readEntity(char* to, std::size_t room);
    std::size_t readDecoded(char* to, std::size_t room);

    std::unique_ptr<ByteSource> file_;
    std::string name_;
    DocumentInfo* info_ = nullptr;  // where problems go
    DocumentInfo pending_;          // problems found while a payload is read

    std::vector<char> buffer_;
    std::size_t at_ = 0, end_ = 0;
    long long position_ = 0;  // decompressed offset of at_
    long long produced_ = 0;  // decompressed offset of end_
    bool fileEnded_ = false;
    bool broken_ = false;  // the stream broke off since the last resync

    // The compressed side.
    bool started_ = false;
    bool gzip_ = false;
    std::vector<char> raw_;
    std::size_t rawAt_ = 0, rawEnd_ = 0;
    long long rawPosition_ = 0;  // file offset of rawAt_
    bool rawEnded_ = false;
    Inflater member_;
    long long memberStart_ = 0;
    struct MemberStart {
        long long position;  // decompressed offset where it begins
        long long offset;    // file offset of its first byte
    };
    std::deque<MemberStart> members_;

    // The record being read.
    long long recordOffset_ = 0;
    long long blockLeft_ = 0;  // bytes of its block not yet consumed
    bool inRecord_ = false;
    // Its payload.
    bool chunked_ = false;
    long long chunkLeft_ = 0;
    bool chunksDone_ = false;
    bool decode_ = false;
    Inflater content_;
    std::vector<char> entity_;
    std::size_t entityAt_ = 0, entityEnd_ = 0;
    bool entityEnded_ = false;
    bool payloadDone_ = true;
};

bool WarcSource::Reader::readRaw() {
    if (rawEnded_) return false;
    if (rawAt_ == rawEnd_) {
        rawPosition_ += static_cast<long long>(rawEnd_);
        rawAt_ = rawEnd_ = 0;
    } else if (rawAt_ > 0) {
        std::memmove(raw_.data(), raw_.data() + rawAt_, rawEnd_ - rawAt_);
        rawPosition_ += static_cast<long long>(rawAt_);
        rawEnd_ -= rawAt_;
        rawAt_ = 0;
    }
    const std::size_t got = file_->read(raw_.data() + rawEnd_, raw_.size() - rawEnd_);
    if (got == 0) rawEnded_ = true;
    rawEnd_ += got;
    return got > 0;
}

bool WarcSource::Reader::produce() {
    if (fileEnded_ || broken_) return false;
    if (!started_) {
        started_ = true;
        while (rawEnd_ - rawAt_ < 2 && readRaw()) {
        }
        gzip_ = rawEnd_ - rawAt_ >= 2 && static_cast<unsigned char>(raw_[rawAt_]) == 0x1f &&
                static_cast<unsigned char>(raw_[rawAt_ + 1]) == 0x8b;
    }
    char* out = buffer_.data() + end_;
    const std::size_t room = buffer_.size() - end_;
    if (!gzip_) {
        if (rawAt_ == rawEnd_ && !readRaw()) {
            fileEnded_ = true;
            return false;
        }
        const std::size_t n = std::min(room, rawEnd_ - rawAt_);
        std::memcpy(out, raw_.data() + rawAt_, n);
        rawAt_ += n;
        end_ += n;
        produced_ += static_cast<long long>(n);
        return true;
    }
    for (;;) {
        if (!member_.live()) {
            // Between members: the next one starts here, or the file is over.
            if (rawAt_ == rawEnd_ && !readRaw()) {
                fileEnded_ = true;
                return false;
            }
            memberStart_ = rawPosition_ + static_cast<long long>(rawAt_);
            members_.push_back({produced_, memberStart_});
            member_.start(Inflater::Wrapper::Gzip);
        }
        if (rawAt_ == rawEnd_) readRaw();
        const Inflater::Step step = member_.run(raw_.data() + rawAt_, rawEnd_ - rawAt_, out, room);
        rawAt_ += step.consumed;
        const std::size_t made = step.produced;
        end_ += made;
        produced_ += static_cast<long long>(made);
        if (step.state == Inflater::State::Finished) {
            if (made > 0) return true;
            continue;
        }
        const bool stuck = step.state == Inflater::State::More && made == 0 && rawAt_ == rawEnd_ && rawEnded_;
        if (step.state == Inflater::State::Broken) {
            problem(memberStart_, "a broken gzip member");
        } else if (stuck) {
            problem(memberStart_, "a gzip member cut short");
        } else {
            if (made > 0) return true;
            continue;
        }
        // Go on at the next member: the next gzip header after this member's start.
        member_.end();
        broken_ = true;
        for (;;) {
            const char* from = raw_.data() + rawAt_;
            const char* to = raw_.data() + rawEnd_;
            const char* hit = nullptr;
            for (const char* p = from; p + 2 < to; ++p)
                if (static_cast<unsigned char>(p[0]) == 0x1f && static_cast<unsigned char>(p[1]) == 0x8b && p[2] == 8) {
                    hit = p;
                    break;
                }
            // A member never starts at the byte its broken one started at.
            if (hit && rawPosition_ + (hit - raw_.data()) == memberStart_) {
                rawAt_ = static_cast<std::size_t>(hit - raw_.data()) + 1;
                continue;
            }
            if (hit) {
                rawAt_ = static_cast<std::size_t>(hit - raw_.data());
                break;
            }
            // Keep the last two bytes: a header may begin there.
            rawAt_ = std::max(rawAt_, rawEnd_ >= 2 ? rawEnd_ - 2 : rawEnd_);
            if (!readRaw()) {
                rawAt_ = rawEnd_;
                break;
            }
        }
        return made > 0;
    }
}

std::size_t WarcSource::Reader::fill(std::size_t n) {
    while (available() < n) {
        if (at_ > 0 && (end_ == buffer_.size() || at_ == end_)) {
            std::memmove(buffer_.data(), buffer_.data() + at_, end_ - at_);
            end_ -= at_;
            at_ = 0;
        }
        if (end_ == buffer_.size()) break;
        if (!produce()) break;
    }
    return available();
}

long long WarcSource::Reader::fileOffset(long long position) const {
    if (!gzip_) return position;
    long long offset = members_.empty() ? 0 : members_.front().offset;
    for (const MemberStart& m : members_)
        if (m.position <= position) offset = m.offset;
    return offset;
}

void WarcSource::Reader::problem(long long offset, std::string_view what) {
    DocumentInfo& to = info_ ? *info_ : pending_;
    to.problems.push_back("\n! Error : " + name_ + " : the record at byte " + std::to_string(offset) + " : " +
                          std::string(what) + "\n");
}

bool WarcSource::Reader::readLine(std::string& line, std::size_t limit) {
    line.clear();
    for (;;) {
        if (available() == 0 && fill(1) == 0) return false;
        const std::size_t n = std::min(available(), limit - line.size() + 1);
        const char* lf = static_cast<const char*>(std::memchr(data(), '\n', n));
        const std::size_t take = lf ? static_cast<std::size_t>(lf - data()) : n;
        line.append(data(), take);
        consume(lf ? take + 1 : take);
        if (lf) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (line.size() > limit) return false;
    }
}

long long WarcSource::Reader::skip(long long n) {
    long long done = 0;
    while (done < n) {
        if (available() == 0 && fill(1) == 0) break;
        const std::size_t k = static_cast<std::size_t>(std::min<long long>(n - done, static_cast<long long>(available())));
        consume(k);
        done += static_cast<long long>(k);
    }
    return done;
}

void WarcSource::Reader::resync() {
    // A record begins with "WARC/1." at the start of a line; after a broken member, at the start
    // of the next one.
    broken_ = false;
    static constexpr std::string_view kVersion = "WARC/1.";
    for (;;) {
        if (fill(kVersion.size()) < kVersion.size()) {
            skip(static_cast<long long>(available()));
            return;
        }
        std::string_view here(data(), available());
        std::size_t found = here.find(kVersion);
        while (found != std::string_view::npos && found > 0 && here[found - 1] != '\n')
            found = here.find(kVersion, found + 1);
        if (found != std::string_view::npos) {
            consume(found);
            return;
        }
        consume(available() - (kVersion.size() - 1));
    }
}

bool WarcSource::Reader::readRecord() {
    std::string line;
    for (;;) {
        if (broken_) resync();
        // Line ends between records are passed over.
        while (fill(1) > 0 && (*data() == '\r' || *data() == '\n')) consume(1);
        if (available() == 0) {
            if (broken_) continue;  // the next member may hold the next record
            return false;
        }
        recordOffset_ = fileOffset(position_);
        while (members_.size() > 1 && members_[1].position <= position_) members_.pop_front();
        if (!readLine(line, 256) || line.rfind("WARC/1.", 0) != 0) {
            problem(recordOffset_, "not a WARC record");
            resync();
            continue;
        }
        std::string type, url, date, contentType;
        long long length = -1;
        std::size_t headerSize = 0;
        bool ended = false;
        while (readLine(line, kHeaderLimit - headerSize)) {
            headerSize += line.size() + 2;
            if (line.empty()) {
                ended = true;
                break;
            }
            std::string_view name, value;
            if (!splitField(line, name, value)) continue;
            if (equalsIgnoringCase(name, "WARC-Type")) type = lowerCased(value);
            else if (equalsIgnoringCase(name, "WARC-Target-URI")) url = value;
            else if (equalsIgnoringCase(name, "WARC-Date")) date = value;
            else if (equalsIgnoringCase(name, "Content-Type")) contentType = value;
            else if (equalsIgnoringCase(name, "Content-Length")) {
                std::size_t i = 0;
                length = readDigits(value, i, (1LL << 62));
                if (i == 0 || i != value.size()) length = -2;
            }
        }
        if (!ended) {
            // A broken member has been reported already.
            if (!broken_) problem(recordOffset_, "a header block that never ends");
            resync();
            continue;
        }
        if (length < 0) {
            problem(recordOffset_, "no valid Content-Length");
            resync();
            continue;
        }
        blockLeft_ = length;
        inRecord_ = true;
        // Some writers put the address in angle brackets.
        if (url.size() >= 2 && url.front() == '<' && url.back() == '>') url = url.substr(1, url.size() - 2);
        std::string charset;
        if (type == "resource" && isHtml(contentType)) {
            chunked_ = decode_ = false;
            charset = charsetOf(contentType);
        } else if (type == "response") {
            // The HTTP status line and headers, inside the block.
            std::string httpType, encoding, transfer;
            bool headersEnded = false;
            std::size_t size = 0;
            if (blockLine(line) && line.rfind("HTTP/", 0) == 0) {
                while (size < kHeaderLimit && blockLine(line)) {
                    size += line.size() + 2;
                    if (line.empty()) {
                        headersEnded = true;
                        break;
                    }
                    std::string_view name, value;
                    if (!splitField(line, name, value)) continue;
                    if (equalsIgnoringCase(name, "Content-Type")) httpType = value;
                    else if (equalsIgnoringCase(name, "Content-Encoding")) encoding = lowerCased(value);
                    else if (equalsIgnoringCase(name, "Transfer-Encoding")) transfer = lowerCased(value);
                }
            }
            if (!headersEnded || !isHtml(httpType)) {
                endRecord();
                continue;
            }
            charset = charsetOf(httpType);
            chunked_ = transfer.find("chunked") != std::string::npos;
            decode_ = false;
            if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
                decode_ = true;
                content_.end();
                entityAt_ = entityEnd_ = 0;
                entityEnded_ = false;
                if (entity_.empty()) entity_.resize(kBuffer);
            } else if (!encoding.empty() && encoding != "identity") {
                ++(info_ ? *info_ : pending_).undecodable;
                endRecord();
                continue;
            }
        } else {
            endRecord();
            continue;
        }
        chunkLeft_ = 0;
        chunksDone_ = false;
        payloadDone_ = false;
        if (info_) {
            info_->url = std::move(url);
            info_->date = std::move(date);
            info_->charset = std::move(charset);
        }
        return true;
    }
}

void WarcSource::Reader::endRecord() {
    if (!inRecord_) return;
    inRecord_ = false;
    payloadDone_ = true;
    content_.end();
    const long long left = blockLeft_;
    blockLeft_ = 0;
    if (skip(left) < left && !broken_) problem(recordOffset_, "a record cut short");
    // Two line ends close the record; bytes other than those are left to the next record's check.
}

std::size_t WarcSource::Reader::readBlock(char* to, std::size_t room) {
    if (blockLeft_ == 0) return 0;
    if (available() == 0 && started_ && !gzip_ && rawAt_ == rawEnd_ && !rawEnded_) {
        // A plain file's payload goes from the file straight into the caller's block.
        const std::size_t n = file_->read(to, static_cast<std::size_t>(std::min<long long>(blockLeft_, static_cast<long long>(room))));
        if (n == 0) {
            rawEnded_ = fileEnded_ = true;
            return 0;
        }
        position_ += static_cast<long long>(n);
        produced_ += static_cast<long long>(n);
        blockLeft_ -= static_cast<long long>(n);
        return n;
    }
    if (available() == 0 && fill(1) == 0) return 0;
    const std::size_t n =
        std::min({room, available(), static_cast<std::size_t>(std::min<long long>(blockLeft_, 1LL << 40))});
    std::memcpy(to, data(), n);
    consume(n);
    blockLeft_ -= static_cast<long long>(n);
    return n;
}

bool WarcSource::Reader::blockLine(std::string& line) {
    line.clear();
    while (blockLeft_ > 0) {
        if (available() == 0 && fill(1) == 0) return false;
        const std::size_t n = static_cast<std::size_t>(std::min<long long>(blockLeft_, static_cast<long long>(available())));
        const char* lf = static_cast<const char*>(std::memchr(data(), '\n', n));
        const std::size_t take = lf ? static_cast<std::size_t>(lf - data()) : n;
        if (line.size() + take > kHeaderLimit) return false;
        line.append(data(), take);
        const std::size_t used = lf ? take + 1 : take;
        consume(used);
        blockLeft_ -= static_cast<long long>(used);
        if (lf) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
    }
    return false;
}

// The payload after de-chunking.
std::size_t WarcSource::Reader::readEntity(char* to, std::size_t room) {
    if (!chunked_) return readBlock(to, room);
    std::string line;
    while (chunkLeft_ == 0) {
        if (chunksDone_) return 0;
        if (!blockLine(line)) return 0;
        std::string_view size = trimmed(std::string_view(line).substr(0, line.find(';')));
        if (size.empty()) continue;  // the line end after a chunk's data
        long long n = 0;
        for (char c : size) {
            const int digit = hexDigitValue(c);
            if (digit < 0 || n > (1LL << 40)) {
                n = -1;
                break;
            }
            n = n * 16 + digit;
        }
        if (n <= 0) {
            // The last chunk (or a broken size line): the rest of the block is trailers.
            chunksDone_ = true;
            return 0;
        }
        chunkLeft_ = n;
    }
    const std::size_t got = readBlock(to, static_cast<std::size_t>(std::min<long long>(chunkLeft_, static_cast<long long>(room))));
    chunkLeft_ -= static_cast<long long>(got);
    return got;
}

// The payload after content decoding.
std::size_t WarcSource::Reader::readDecoded(char* to, std::size_t room) {
    if (!decode_) return readEntity(to, room);
    for (;;) {
        if (entityAt_ == entityEnd_ && !entityEnded_) {
            entityAt_ = 0;
            entityEnd_ = readEntity(entity_.data(), entity_.size());
            if (entityEnd_ == 0) entityEnded_ = true;
        }
        if (!content_.live()) {
            // The wrapper is told by two bytes, which a chunk or a read may split.
            if (entityAt_ > 0 && entityAt_ < entityEnd_) {
                std::memmove(entity_.data(), entity_.data() + entityAt_, entityEnd_ - entityAt_);
                entityEnd_ -= entityAt_;
                entityAt_ = 0;
            }
            while (entityEnd_ - entityAt_ < 2 && !entityEnded_) {
                const std::size_t got = readEntity(entity_.data() + entityEnd_, entity_.size() - entityEnd_);
                if (got == 0) entityEnded_ = true;
                entityEnd_ += got;
            }
            if (entityAt_ == entityEnd_) return 0;
            // gzip and zlib are told by their headers; "deflate" is sometimes sent raw.
            const auto first = static_cast<unsigned char>(entity_[entityAt_]);
            const bool zlibHeader = (first & 0x0f) == 8 && entityEnd_ - entityAt_ >= 2 &&
                                    ((first << 8) | static_cast<unsigned char>(entity_[entityAt_ + 1])) % 31 == 0;
            content_.start(first == 0x1f ? Inflater::Wrapper::Gzip
                                         : zlibHeader ? Inflater::Wrapper::Zlib : Inflater::Wrapper::Raw);
        }
        const Inflater::Step step = content_.run(entity_.data() + entityAt_, entityEnd_ - entityAt_, to, room);
        entityAt_ += step.consumed;
        const std::size_t made = step.produced;
        if (step.state == Inflater::State::Finished) {
            payloadDone_ = true;  // what follows the compressed data is not part of the document
            return made;
        }
        if (made > 0) return made;
        if (step.state == Inflater::State::Broken || (entityAt_ == entityEnd_ && entityEnded_)) {
            problem(recordOffset_, step.state == Inflater::State::Broken
                                       ? "a payload whose compressed data is broken"
                                       : "a payload whose compressed data is cut short");
            content_.end();
            payloadDone_ = true;
            return 0;
        }
    }
}

std::size_t WarcSource::Reader::read(char* to, std::size_t room) {
    if (payloadDone_) return 0;
    info_ = nullptr;
    // As much as there is room for, so that the scanner gets blocks of its size.
    std::size_t got = 0;
    while (got < room && !payloadDone_) {
        const std::size_t n = readDecoded(to + got, room - got);
        if (n == 0) break;
        got += n;
    }
    if (got == 0) payloadDone_ = true;
    return got;
}

bool WarcSource::Reader::nextDocument(DocumentInfo& info) {
    info = std::move(pending_);
    pending_ = DocumentInfo{};
    info_ = &info;
    endRecord();
    const bool found = readRecord();
    info_ = nullptr;
    return found;
}

WarcSource::WarcSource(std::unique_ptr<ByteSource> file, std::string name)
    : reader_(std::make_unique<Reader>(std::move(file), std::move(name))) {}
WarcSource::~WarcSource() = default;
std::size_t WarcSource::read(char* to, std::size_t room) { return reader_->read(to, room); }
bool WarcSource::nextDocument(DocumentInfo& info) { return reader_->nextDocument(info); }
bool WarcSource::mayWaitForEver() const { return reader_->mayWaitForEver(); }

}  // namespace tagsift
