// The fifth layer of the crawl reader, the record iterator: a record's WARC header, what kind
// of record it is, the choice of the documents among them and the decoders their payloads need,
// and the way on after a problem.
#include "warc/warc.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "base/text.h"
#include "warc/block.h"
#include "warc/headers.h"
#include "warc/ledger.h"
#include "warc/members.h"
#include "warc/payload.h"

namespace tagsift {

namespace {
using namespace warc;

// Header blocks of real crawls are a few hundred bytes; one larger than this never ends.
constexpr std::size_t kHeaderLimit = 1 << 16;
// A plain file is searched this many bytes at a time for the next version line.
constexpr std::size_t kResync = 1 << 16;
// "WARC/1.0\r\n": a version line, 10 bytes at most.
constexpr std::size_t kVersionLine = 10;

// A record begins with a line "WARC/1.0" or "WARC/1.1"; a candidate cut by the end of bytes is
// none.
constexpr std::string_view kVersionStart = "WARC/1.";

bool versionLineAt(std::string_view bytes, std::size_t at) {
    const std::string_view rest = bytes.substr(at);
    if (!rest.starts_with(kVersionStart) || rest.size() < 9 || (rest[7] != '0' && rest[7] != '1')) return false;
    return rest[8] == '\n' || rest.substr(8, 2) == "\r\n";
}

// No end of "WARC/1." is also its start, so two of them never overlap.
std::size_t findVersionLine(std::string_view bytes, std::size_t from) {
    for (std::size_t at = bytes.find(kVersionStart, from); at != std::string_view::npos;
         at = bytes.find(kVersionStart, at + kVersionStart.size()))
        if (versionLineAt(bytes, at)) return at;
    return std::string_view::npos;
}

bool isHtml(std::string_view type) { return type == "text/html" || type == "application/xhtml+xml"; }

// How a payload was sent: chunked or not, and the codings applied to it, from the transfer
// codings but chunked (a server may send gzip there) and the content codings; identity is none.
struct Codings {
    bool chunked = false;
    int count = 0;
    bool decodable = true;  // each is gzip or deflate
    void add(std::string_view list, bool transfer) {
        while (!list.empty()) {
            const std::size_t comma = list.find(',');
            std::string_view token = list.substr(0, comma);
            list = comma == list.npos ? std::string_view() : list.substr(comma + 1);
            // White space of any kind: a folded value holds its line ends.
            const std::string name = lowerCased(trimmed(token.substr(0, token.find(';'))));
            if (name.empty() || name == "identity") continue;
            if (transfer && name == "chunked") {
                chunked = true;
                continue;
            }
            ++count;
            decodable = decodable && (name == "gzip" || name == "x-gzip" || name == "deflate");
        }
    }
};

// Some writers put addresses and record ids in angle brackets.
std::string withoutBrackets(std::string_view value) {
    std::string text = oneLine(value);
    if (text.size() >= 2 && text.front() == '<' && text.back() == '>') return text.substr(1, text.size() - 2);
    return text;
}

// The status code of an HTTP status line, or empty.
std::string statusCode(std::string_view line) {
    if (!line.starts_with("HTTP/")) return {};
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return {};
    std::string_view code = line.substr(space + 1);
    code = code.substr(0, code.find(' '));
    if (code.empty() || code.find_first_not_of("0123456789") != std::string_view::npos) return {};
    return std::string(code);
}

// The name a record passed over is counted under, by its WARC-Type.
std::string_view passedOverKind(std::string_view type) {
    static constexpr std::array<std::string_view, 6> kKnown = {"warcinfo", "request",    "metadata",
                                                               "revisit",  "conversion", "continuation"};
    for (std::string_view known : kKnown)
        if (equalsIgnoringCase(type, known)) return known;
    return "other";
}

// Fields that a record holds once at most.
constexpr std::array<std::string_view, 5> kOnce = {"Content-Length", "WARC-Type", "WARC-Record-ID", "WARC-Date",
                                                   "WARC-Target-URI"};

// A document that is a stretch of a file, read by whoever takes it while the file's reader
// passes over it; the file lives as long as one of them needs it.
class Stretch final : public ByteSource {
public:
    Stretch(std::shared_ptr<const ByteSource> file, long long from, long long length)
        : file_(std::move(file)), at_(from), left_(length), length_(length) {}
    std::size_t read(char* to, std::size_t room) override {
        const std::size_t n = file_->readAt(to, static_cast<std::size_t>(std::min<long long>(left_, static_cast<long long>(room))), at_);
        at_ += static_cast<long long>(n);
        left_ = n == 0 ? 0 : left_ - static_cast<long long>(n);
        return n;
    }
    long long knownSize() const override { return length_; }

private:
    std::shared_ptr<const ByteSource> file_;
    long long at_, left_, length_;
};

// What the record layer keeps of a WARC header, which lives in the buffer only until the next fill.
struct WarcFields {
    std::string type, url, date, record, truncated, contentType;
};
}  // namespace

class WarcSource::Reader {
public:
    Reader(std::shared_ptr<ByteSource> file, std::string name, const InflateAhead::Options& helpers)
        : file_(std::move(file)), ledger_(std::move(name)), members_(*file_, ledger_, helpers), block_(members_),
          place_(ledger_), bytes_(block_), dechunker_(block_, place_), decoder_(place_) {}

    bool nextDocument(DocumentInfo& info);
    std::size_t read(char* to, std::size_t room);
    std::unique_ptr<ByteSource> detachDocument();
    bool mayWaitForEver() const { return members_.mayWaitForEver(); }
    Ledger& ledger() { return ledger_; }
    std::function<bool(const DocumentInfo&)> takes;

private:
    bool startRecord();
    void skipLineEnds();
    bool nextMember();
    bool readWarcHeader();
    std::string warcHeaderProblem(std::size_t length);
    void keepFields();
    void recover(std::string_view what, long long start);
    void resync();
    bool choose(DocumentInfo& info);
    bool chooseResponse(DocumentInfo& info);
    bool takeDocument(DocumentInfo& info);
    void fillFields(DocumentInfo& info) const;
    bool passOver(std::string_view kind);
    void finishRecord();
    void problem(std::string_view what, long long offset);
    void endSpan(CrawlSpan::Kind kind);

    std::shared_ptr<ByteSource> file_;
    Ledger ledger_;
    Members members_;
    BlockReader block_;
    HeaderBlock warc_, http_;
    WarcFields fields_;
    long long spanStart_ = 0;  // where the bytes not yet in a span begin, in the member

    // The record being read, if any, with the kind of its span, and the top of its payload's
    // decoders while it is a document with bytes left.
    std::optional<CrawlSpan::Kind> record_;
    RecordPlace place_;
    BlockBytes bytes_;
    Dechunker dechunker_;
    Decoder decoder_;
    Payload* payload_ = nullptr;
};

bool WarcSource::Reader::nextDocument(DocumentInfo& info) {
    info = DocumentInfo{};
    finishRecord();
    bool found = false;
    while (!found && startRecord()) {
        info = DocumentInfo{};  // a record passed over leaves none of its fields to the next
        found = choose(info);
        if (!found) finishRecord();
    }
    ledger_.handOver(info);
    return found;
}

std::size_t WarcSource::Reader::read(char* to, std::size_t room) {
    // As much as there is room for, so that the scanner gets blocks of its size.
    std::size_t got = 0;
    while (payload_ && got < room) {
        const std::size_t n = payload_->read(to + got, room - got);
        if (n == 0) payload_ = nullptr;
        got += n;
    }
    return got;
}

std::unique_ptr<ByteSource> WarcSource::Reader::detachDocument() {
    if (payload_ != &bytes_ || members_.compressed() || !file_->readableAt()) return nullptr;
    payload_ = nullptr;
    // A plain file is its one member: a place in the member is the same place in the file.
    return std::make_unique<Stretch>(file_, block_.position(), block_.left());
}

// Reads the next record's WARC header; false at the end of the file.
bool WarcSource::Reader::startRecord() {
    for (;;) {
        skipLineEnds();
        if (block_.memberEnded()) {
            if (!nextMember()) return false;
        } else if (readWarcHeader()) {
            return true;
        }
    }
}

void WarcSource::Reader::skipLineEnds() {
    for (std::string_view here = block_.visible(); !here.empty() || block_.fill(1) > 0; here = block_.visible()) {
        const std::size_t n = std::min(here.find_first_not_of("\r\n"), here.size());
        block_.consume(n);
        if (n < here.size()) return;
    }
}

// Line ends that no record came after are passed over.
bool WarcSource::Reader::nextMember() {
    if (block_.position() > spanStart_) endSpan(CrawlSpan::Kind::PassedOver);
    spanStart_ = 0;
    return block_.nextMember();
}

bool WarcSource::Reader::readWarcHeader() {
    const long long start = block_.position();
    block_.fill(kVersionLine);
    const std::size_t length = versionLineAt(block_.visible(), 0) ? block_.headerBlock(kHeaderLimit) : 0;
    if (const std::string what = warcHeaderProblem(length); !what.empty()) {
        recover(what, start);
        return false;
    }
    keepFields();
    block_.consume(length);
    std::size_t i = 0;
    block_.limit(readDigits(warc_.value("Content-Length"), i, 1LL << 62));
    place_.offset = members_.compressed() ? members_.offset() : start;
    place_.truncated = !fields_.truncated.empty();
    record_ = CrawlSpan::Kind::PassedOver;
    ++ledger_.counts.records;
    return true;
}

// What is wrong with the header block of the given length here (0: none is whole), or empty;
// reads it into warc_ when it is whole.
std::string WarcSource::Reader::warcHeaderProblem(std::size_t length) {
    if (!versionLineAt(block_.visible(), 0)) return "not a WARC record";
    if (length == 0 && block_.visible().size() > kHeaderLimit) return "a header block that never ends";
    if (length == 0) return "a record cut short";
    parseHeaderBlock(block_.visible().substr(0, length), warc_);
    for (std::string_view once : kOnce)
        if (warc_.count(once) > 1) return "a header block that repeats " + std::string(once);
    const std::string_view digits = warc_.value("Content-Length");
    std::size_t i = 0;
    readDigits(digits, i, 1LL << 62);
    if (i == 0 || i != digits.size() || digits.size() > 18) return "no valid Content-Length";
    return {};
}

void WarcSource::Reader::keepFields() {
    fields_.type = warc_.value("WARC-Type");
    fields_.url = withoutBrackets(warc_.value("WARC-Target-URI"));
    fields_.date = oneLine(warc_.value("WARC-Date"));
    fields_.record = withoutBrackets(warc_.value("WARC-Record-ID"));
    fields_.truncated = oneLine(warc_.value("WARC-Truncated"));
    fields_.contentType = oneLine(warc_.value("Content-Type"));
}

// After a problem at start: the rest of the member, or in a plain file the bytes up to the next
// version line after start, go with the problem.
void WarcSource::Reader::recover(std::string_view what, long long start) {
    problem(what, members_.compressed() ? members_.offset() : start);
    block_.unlimit();
    if (members_.compressed()) block_.skip(LLONG_MAX);
    else resync();
    endSpan(CrawlSpan::Kind::Problem);
}

void WarcSource::Reader::resync() {
    for (std::size_t from = 1;;) {
        const std::size_t size = block_.fill(kResync);
        const std::size_t found = findVersionLine(block_.visible(), from);
        if (found != std::string_view::npos || size < kResync) {
            block_.consume(std::min(found, size));
            return;
        }
        // A candidate in the last bytes may not be whole yet.
        block_.consume(size - kVersionLine);
        from = 0;
    }
}

bool WarcSource::Reader::choose(DocumentInfo& info) {
    if (equalsIgnoringCase(fields_.type, "response")) return chooseResponse(info);
    if (!equalsIgnoringCase(fields_.type, "resource")) return passOver(passedOverKind(fields_.type));
    info.type = mediaType(fields_.contentType);
    if (!isHtml(info.type)) return passOver("resource (not HTML)");
    info.charset = parameter(fields_.contentType, "charset");
    payload_ = &bytes_;
    return takeDocument(info);
}

// The HTTP header inside the block says what the payload is and how it is sent.
bool WarcSource::Reader::chooseResponse(DocumentInfo& info) {
    block_.fill(5);
    if (!block_.visible().starts_with("HTTP/")) return passOver("response (not HTTP)");
    std::size_t length = 0;
    for (;;) {
        length = block_.headerBlock(kHeaderLimit);
        if (length == 0) {
            if (!block_.cut() && !place_.truncated) problem("an HTTP header that never ends", place_.offset);
            return passOver("response (bad HTTP header)");
        }
        // An interim answer (100 Continue, 103 Early Hints) comes before the one with the page.
        const std::string code = statusCode(firstLine(block_.visible()));
        if (code.size() != 3 || code[0] != '1' || code == "101") break;
        block_.fill(length + 5);
        if (!block_.visible().substr(length).starts_with("HTTP/")) break;
        block_.consume(length);
    }
    // After the last fill, which may move the bytes that the fields view.
    parseHeaderBlock(block_.visible().substr(0, length), http_);
    const std::string_view contentType = http_.value("Content-Type");
    info.type = mediaType(contentType);
    if (!isHtml(info.type)) return passOver("response (not HTML)");
    Codings codings;
    codings.add(http_.value("Transfer-Encoding"), true);
    codings.add(http_.value("Content-Encoding"), false);
    info.status = statusCode(http_.first);
    // One coding of gzip or deflate is decoded; another, or two, cannot be.
    if (codings.count > 1 || !codings.decodable) {
        DocumentInfo seen = info;
        fillFields(seen);
        if (takes && !takes(seen)) {
            ledger_.unchosen();
            return false;
        }
        ledger_.undecodable();
        return passOver("response (unknown Content-Encoding)");
    }
    info.charset = parameter(contentType, "charset");
    payload_ = &bytes_;
    if (codings.chunked) {
        dechunker_.begin();
        payload_ = &dechunker_;
    }
    if (codings.count == 1) {
        decoder_.begin(*payload_);
        payload_ = &decoder_;
    }
    block_.consume(length);
    return takeDocument(info);
}

void WarcSource::Reader::fillFields(DocumentInfo& info) const {
    info.url = fields_.url;
    info.date = fields_.date;
    info.record = fields_.record;
    info.truncated = fields_.truncated;
    info.offset = place_.offset;
}

bool WarcSource::Reader::takeDocument(DocumentInfo& info) {
    fillFields(info);
    record_ = CrawlSpan::Kind::Document;
    ++ledger_.counts.documents;
    return true;
}

bool WarcSource::Reader::passOver(std::string_view kind) {
    auto& passedOver = ledger_.counts.passedOver;
    auto counted = passedOver.find(kind);
    if (counted == passedOver.end()) counted = passedOver.emplace(kind, 0).first;
    ++counted->second;
    return false;
}

// The rest of the current record's block, and the line ends after it.
void WarcSource::Reader::finishRecord() {
    if (!record_) return;
    payload_ = nullptr;
    const long long left = block_.left();
    if (block_.skip(left) < left) problem("a record cut short", place_.offset);
    block_.unlimit();
    skipLineEnds();
    endSpan(*record_);
    record_.reset();
}

// A record cut short by a broken member is that member's problem, reported already.
void WarcSource::Reader::problem(std::string_view what, long long offset) {
    if (what == "a record cut short" && members_.broken()) return;
    ledger_.problem(offset, what);
}

void WarcSource::Reader::endSpan(CrawlSpan::Kind kind) {
    ledger_.span(kind, members_.compressed() ? members_.offset() : 0, spanStart_, block_.position());
    spanStart_ = block_.position();
}

WarcSource::WarcSource(std::unique_ptr<ByteSource> file, std::string name, const InflateAhead::Options& helpers)
    : reader_(std::make_unique<Reader>(std::move(file), std::move(name), helpers)) {}
WarcSource::~WarcSource() = default;
std::size_t WarcSource::read(char* to, std::size_t room) { return reader_->read(to, room); }
bool WarcSource::nextDocument(DocumentInfo& info) { return reader_->nextDocument(info); }
std::unique_ptr<ByteSource> WarcSource::detachDocument() { return reader_->detachDocument(); }
bool WarcSource::mayWaitForEver() const { return reader_->mayWaitForEver(); }
const CrawlCounts& WarcSource::counts() const { return reader_->ledger().counts; }
void WarcSource::keepSpans(std::vector<CrawlSpan>* spans) { reader_->ledger().spans = spans; }
void WarcSource::chooseWith(std::function<bool(const DocumentInfo&)> takes) { reader_->takes = std::move(takes); }

}  // namespace tagsift
