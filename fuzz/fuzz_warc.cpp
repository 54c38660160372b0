// The crawl-file reader on any bytes: byte 0 picks how many bytes each read of
// the file gives (so records, headers and gzip members split anywhere), the
// rest is the file. Besides the sanitizers: every document and the whole
// file end, whatever the bytes (libFuzzer's timeout catches a reader that
// loops); small reads find a problem where one read finds one, and the same
// documents where neither does; helpers inflating members ahead change
// nothing at all, and nor do documents of a plain file read as stretches of
// it while the reader passes over them. (Where there is a problem, what comes of it
// depends on how much the decompressor had taken: a member's checksum is
// checked at its end, and broken data decodes to garbage of any length.)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "warc/pieces.h"
#include "warc/warc.h"

namespace {

// Every byte of the file in a member or a broken stretch, every decoded byte in a span, a message
// at the place each problem span names, and in a plain file a record at the start of each record
// span (after line ends).
void checkSpans(const std::vector<tagsift::CrawlSpan>& spans, const tagsift::CrawlCounts& counts,
                const std::set<long long>& named, const std::string& file) {
    using Kind = tagsift::CrawlSpan::Kind;
    long long fileEnd = 0, decoded = 0;
    std::map<long long, long long> ends;  // decoded bytes of each member so far
    // Compressed: a gzip header first, or (bytes before the first member) a broken stretch.
    const bool compressed = file.starts_with("\x1f\x8b") ||
                            std::any_of(spans.begin(), spans.end(), [](const auto& s) { return s.kind == Kind::BrokenMember; });
    for (const tagsift::CrawlSpan& s : spans) {
        const bool member = s.kind == Kind::Member || s.kind == Kind::BrokenMember;
        long long& end = member ? fileEnd : ends[s.member];
        if (s.from != end || s.to < s.from) std::abort();
        end = s.to;
        decoded += member ? 0 : s.to - s.from;
        const bool problem = s.kind == Kind::BrokenMember || s.kind == Kind::Problem;
        const bool found = named.count(s.member) || named.lower_bound(s.from) != named.lower_bound(std::max(s.to, s.from + 1));
        if (problem && !found) std::abort();
        if (member || problem || compressed) continue;
        const std::string_view bytes = std::string_view(file).substr(s.from, s.to - s.from);
        const std::size_t record = bytes.find_first_not_of("\r\n");
        if (record != std::string_view::npos && !bytes.substr(record).starts_with("WARC/1.")) std::abort();
    }
    if (fileEnd != static_cast<long long>(file.size()) || counts.bytesRead != fileEnd || decoded != counts.bytesInflated)
        std::abort();
}

// Every document's address and payload, then "!" when there was a problem.
std::string readAll(const std::string& file, std::size_t step, std::size_t room,
                    const tagsift::warc::InflateAhead::Options& helpers = {}, bool detach = false) {
    tagsift::WarcSource warc(std::make_unique<tagsift::testing::Pieces>(file, step), "fuzz", helpers);
    std::vector<tagsift::CrawlSpan> spans;
    warc.keepSpans(&spans);
    std::set<long long> named;
    std::string seen;
    std::string buffer(room, '\0');
    tagsift::DocumentInfo info;
    for (bool more = true; more;) {
        more = warc.nextDocument(info);
        for (const std::string& p : info.problems) named.insert(std::stoll(p.substr(p.find(" byte ") + 6)));
        if (!more) break;
        seen += "@" + info.url + "\n";
        std::unique_ptr<tagsift::ByteSource> stretch = detach ? warc.detachDocument() : nullptr;
        tagsift::ByteSource& from = stretch ? *stretch : warc;
        while (std::size_t n = from.read(buffer.data(), buffer.size())) seen.append(buffer, 0, n);
    }
    checkSpans(spans, warc.counts(), named, file);
    return seen + (named.empty() ? "" : "!");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const std::string file(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    const std::size_t step = bytes[0] % 64 + 1;
    const std::string small = readAll(file, step, 7), large = readAll(file, 1 << 16, 1 << 16);
    if (small.ends_with('!') != large.ends_with('!')) std::abort();
    if (!small.ends_with('!') && small != large) std::abort();
    // Members inflated ahead by helpers, in chunks of a few dozen bytes: the same, to the byte.
    if (readAll(file, 1 << 16, 1 << 16, {.helpers = 2, .chunk = bytes[0] % 61u + 16, .hold = 1024}) != large) std::abort();
    if (readAll(file, step, 1 << 16, {}, true) != readAll(file, step, 1 << 16)) std::abort();
    return 0;
}
