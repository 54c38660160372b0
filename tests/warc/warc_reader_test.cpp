// The crawl reader against a small reader written here from the rules alone (the whole file in
// memory, one pass, no buffers), on hand-made crawl files and on thousands of mutations of them:
// both must find the same documents (fields and payloads) and the same problems. Compressed
// files and payloads are made of stored deflate blocks, which the small reader unpacks itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "warc/warc.h"

namespace tagsift::testing {
namespace {

using Bytes = std::string;

// --- gzip with stored blocks: made and read here ---

std::uint32_t crc32(std::string_view data) {
    std::uint32_t crc = 0xffffffff;
    for (const unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xedb88320 : crc >> 1;
    }
    return ~crc;
}

Bytes le32(std::uint32_t n) { return {char(n), char(n >> 8), char(n >> 16), char(n >> 24)}; }
std::uint32_t readLe(std::string_view s, std::size_t at, int bytes) {
    std::uint32_t n = 0;
    for (int i = bytes - 1; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(s[at + i]);
    return n;
}

Bytes gzipStored(std::string_view data) {
    Bytes out("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10);
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(data.size() - at, 300);  // several blocks
        const auto len = static_cast<std::uint16_t>(n);
        out += char(at + n == data.size() ? 1 : 0);
        out += {char(len), char(len >> 8), char(~len), char(~len >> 8)};
        out += data.substr(at, n);
        at += n;
    } while (at < data.size());
    return out + le32(crc32(data)) + le32(static_cast<std::uint32_t>(data.size()));
}

enum class Gz { Whole, CutShort, WrongCheck };
// One stored member at s[at...]: its data, how it ended, and its length.
Gz gunzipStored(std::string_view s, std::size_t at, Bytes& data, std::size_t& length) {
    const std::size_t start = at, before = data.size();
    at += 10;
    for (bool last = false; !last;) {
        if (at + 5 > s.size()) return Gz::CutShort;
        last = s[at] & 1;
        const std::uint32_t n = readLe(s, at + 1, 2);
        at += 5;
        data.append(s.substr(at, std::min<std::size_t>(n, s.size() - std::min(at, s.size()))));
        at += n;
    }
    if (at + 8 > s.size()) return Gz::CutShort;
    length = at + 8 - start;
    const std::string_view mine = std::string_view(data).substr(before);
    const bool right = readLe(s, at, 4) == crc32(mine) && readLe(s, at + 4, 4) == mine.size();
    return right ? Gz::Whole : Gz::WrongCheck;
}

// --- the small reader ---

struct Found {
    std::vector<std::string> documents;  // each: its fields, then its payload
    std::vector<std::string> problems;   // each: "offset what", sorted
};

bool isSpaceChar(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
std::string trim(std::string_view s) {
    while (!s.empty() && isSpaceChar(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpaceChar(s.back())) s.remove_suffix(1);
    return std::string(s);
}
std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
std::string oneLine(const std::string& v) {
    std::string r;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\r' && v[i] != '\n') {
            r += v[i];
            continue;
        }
        while (!r.empty() && (r.back() == ' ' || r.back() == '\t')) r.pop_back();
        while (i + 1 < v.size() && isSpaceChar(v[i + 1])) ++i;
        r += ' ';
    }
    return r;
}
std::string unbracket(const std::string& v) {
    const std::string s = oneLine(v);
    return s.size() >= 2 && s.front() == '<' && s.back() == '>' ? s.substr(1, s.size() - 2) : s;
}

bool versionAt(std::string_view s, std::size_t at) {
    return s.substr(at, 7) == "WARC/1." && at + 9 <= s.size() && (s[at + 7] == '0' || s[at + 7] == '1') &&
           (s[at + 8] == '\n' || s.substr(at + 8, 2) == "\r\n");
}
std::size_t blockEnd(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '\n' && (s.substr(i + 1, 1) == "\n" || s.substr(i + 1, 2) == "\r\n"))
            return i + (s[i + 1] == '\n' ? 2 : 3);
    return std::string::npos;
}

struct Header {
    std::string first;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string get(const std::string& name) const {
        std::string v;
        for (const auto& [n, value] : fields)
            if (lower(n) == lower(name)) v = value;
        return v;
    }
    int count(const std::string& name) const {
        return static_cast<int>(std::count_if(fields.begin(), fields.end(), [&](auto& f) { return lower(f.first) == lower(name); }));
    }
};

Header parse(std::string_view block) {
    Header h;
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < block.size();) {
        std::size_t lf = block.find('\n', at);
        std::string_view line = block.substr(at, lf - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = lf + 1;
    }
    h.first = std::string(lines[0]);
    const char* valueStart = nullptr;  // of the last field, in block
    for (std::size_t i = 1; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string_view line = lines[i];
        if ((line[0] == ' ' || line[0] == '\t') && !h.fields.empty()) {
            if (h.fields.back().second.empty()) valueStart = line.data();
            h.fields.back().second = trim(std::string_view(valueStart, line.data() + line.size() - valueStart));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && isSpaceChar(value.front())) value.remove_prefix(1);
        valueStart = value.data();
        h.fields.emplace_back(trim(line.substr(0, colon)), trim(value));
    }
    return h;
}

class Mirror {
public:
    Found found;

    void plain(std::string_view file) { member(file, 0, false, false); }
    void compressed(std::string_view file) {
        for (std::size_t at = 0; at < file.size();) {
            if (file.substr(at, 3) != "\x1f\x8b\x08") {  // junk: the next member is the next header
                problem(at, "a broken gzip member");
                at = file.find("\x1f\x8b\x08", at + 1);
                continue;
            }
            Bytes data;
            std::size_t length = file.size() - at;
            const Gz end = gunzipStored(file, at, data, length);
            if (end == Gz::CutShort) problem(at, "a gzip member cut short");
            if (end == Gz::WrongCheck) problem(at, "a gzip member that fails its checksum");
            member(data, at, true, end != Gz::Whole);
            at += length;
        }
    }

private:
    struct Record {
        std::size_t offset;
        bool truncated;
    };

    void problem(std::size_t offset, const std::string& what) {
        found.problems.push_back(std::to_string(offset) + " " + what);
    }

    void member(std::string_view s, std::size_t offset, bool gz, bool broken) {
        for (std::size_t at = 0;;) {
            while (at < s.size() && (s[at] == '\r' || s[at] == '\n')) ++at;
            if (at == s.size()) return;
            std::string what;
            const std::size_t next = record(s, at, gz ? offset : at, broken, what);
            if (what.empty()) {
                at = next;
                continue;
            }
            if (what != "a record cut short" || !broken) problem(gz ? offset : at, what);
            if (gz) return;
            at = std::min(s.find("WARC/1.", at + 1), s.size());
            while (at < s.size() && !versionAt(s, at)) at = std::min(s.find("WARC/1.", at + 1), s.size());
        }
    }

    // Reads the record at s[at...]; where the next begins, or what is wrong with its header.
    std::size_t record(std::string_view s, std::size_t at, std::size_t offset, bool broken, std::string& what) {
        const std::size_t end = blockEnd(s.substr(at, 65537));
        if (!versionAt(s, at)) what = "not a WARC record";
        else if (end == std::string::npos || end > 65536) what = s.size() - at > 65536 ? "a header block that never ends" : "a record cut short";
        if (!what.empty()) return 0;
        const Header h = parse(s.substr(at, end));
        for (const char* once : {"Content-Length", "WARC-Type", "WARC-Record-ID", "WARC-Date", "WARC-Target-URI"})
            if (h.count(once) > 1 && what.empty()) what = std::string("a header block that repeats ") + once;
        const std::string digits = h.get("Content-Length");
        if (what.empty() && (digits.empty() || digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos))
            what = "no valid Content-Length";
        if (!what.empty()) return 0;
        const std::size_t length = std::stoull(digits), from = at + end;
        const std::string_view block = s.substr(from, length);
        const Record r{offset, !oneLine(h.get("WARC-Truncated")).empty()};
        choose(h, block, length, r);
        if (block.size() < length && !broken) problem(offset, "a record cut short");
        return from + block.size();
    }

    void choose(const Header& h, std::string_view block, std::size_t length, const Record& r) {
        const std::string type = lower(h.get("WARC-Type"));
        std::string fields = unbracket(h.get("WARC-Target-URI")) + "|" + oneLine(h.get("WARC-Date")) + "|" +
                             unbracket(h.get("WARC-Record-ID")) + "|" + oneLine(h.get("WARC-Truncated")) + "|" +
                             std::to_string(r.offset);
        const auto html = [](const std::string& t) { return t == "text/html" || t == "application/xhtml+xml"; };
        const auto media = [](const std::string& ct) { return lower(trim(ct.substr(0, ct.find(';')))); };
        const auto charset = [](const std::string& ct) {
            for (std::size_t semi = ct.find(';'); semi != std::string::npos;) {
                const std::size_t next = ct.find(';', semi + 1);
                const std::string item = ct.substr(semi + 1, next - semi - 1);
                semi = next;
                const std::size_t eq = item.find('=');
                if (eq == std::string::npos || lower(trim(item.substr(0, eq))) != "charset") continue;
                std::string v = trim(item.substr(eq + 1));
                return v.size() >= 2 && v.front() == '"' && v.back() == '"' ? v.substr(1, v.size() - 2) : v;
            }
            return std::string();
        };
        if (type == "resource") {
            const std::string ct = oneLine(h.get("Content-Type"));
            if (html(media(ct))) found.documents.push_back(fields + "||" + media(ct) + "|" + charset(ct) + "\n" + std::string(block));
            return;
        }
        if (type != "response" || block.substr(0, 5) != "HTTP/") return;
        const std::size_t end = blockEnd(block.substr(0, 65537));
        if (end == std::string::npos || end > 65536) {
            if (block.size() == length && !r.truncated) problem(r.offset, "an HTTP header that never ends");
            return;
        }
        const Header http = parse(block.substr(0, end));
        const std::string ct = http.get("Content-Type"), encoding = lower(http.get("Content-Encoding"));
        if (!html(media(ct)) || (!encoding.empty() && encoding != "identity" && encoding != "gzip")) return;
        std::string status = http.first.substr(std::min(http.first.find(' '), http.first.size()));
        status = status.empty() ? "" : status.substr(1, status.find(' ', 1) - 1);
        if (status.empty() || status.find_first_not_of("0123456789") != std::string::npos) status.clear();
        const bool cut = block.size() < length;
        std::string payload(block.substr(end));
        if (lower(http.get("Transfer-Encoding")).find("chunked") != std::string::npos)
            payload = dechunk(payload, length - end, cut, r);
        if (encoding == "gzip") payload = gunzip(payload, cut, r);
        found.documents.push_back(fields + "|" + status + "|" + media(ct) + "|" + charset(ct) + "\n" + payload);
    }

    std::string dechunk(std::string_view in, std::size_t left, bool cut, const Record& r) {
        std::string out;
        for (std::size_t at = 0;;) {
            std::size_t lf = in.find('\n', at);
            if (lf == std::string::npos) {
                if (!cut && !r.truncated) problem(r.offset, "a chunked payload cut short");
                return out;
            }
            std::string line(in.substr(at, lf - at));
            at = lf + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            const std::string digits = trim(line.substr(0, line.find(';')));
            std::uint64_t size = 0;
            std::string what = digits.empty() ? "a chunk size that is not hexadecimal" : "";
            for (std::size_t i = 0; i < digits.size() && what.empty(); ++i) {
                if (!std::isxdigit(static_cast<unsigned char>(digits[i]))) what = "a chunk size that is not hexadecimal";
                else if (size >> 60) what = "a chunk size past 64 bits";
                else size = size << 4 | std::stoul(digits.substr(i, 1), nullptr, 16);
            }
            if (what.empty() && size > left - at && !r.truncated) what = "a chunk that runs past the record's end";
            if (!what.empty()) problem(r.offset, what);
            if (!what.empty() || size == 0) return out;
            const std::size_t n = std::min<std::size_t>(size, in.size() - at);
            out.append(in.substr(at, n));
            at += n;
            if (n < size) return out;
        }
    }

    std::string gunzip(std::string_view in, bool cut, const Record& r) {
        std::string out;
        for (std::size_t at = 0; at < in.size() && (at == 0 || in.substr(at, 2) == "\x1f\x8b");) {
            std::size_t length = 0;
            const Gz end = gunzipStored(in, at, out, length);
            if (end == Gz::WrongCheck) problem(r.offset, "a payload whose compressed data fails its checksum");
            if (end == Gz::CutShort && !cut && !r.truncated) problem(r.offset, "a payload whose compressed data is cut short");
            if (end != Gz::Whole) break;
            at += length;
        }
        return out;
    }
};

// --- the crawl reader, read in small pieces ---

class Pieces : public ByteSource {
public:
    Pieces(std::string data, std::size_t step) : data_(std::move(data)), step_(step) {}
    std::size_t read(char* to, std::size_t room) override {
        const std::size_t n = std::min({room, step_, data_.size() - at_});
        data_.copy(to, n, at_);
        at_ += n;
        return n;
    }

private:
    std::string data_;
    std::size_t step_, at_ = 0;
};

Found readWithWarcSource(const std::string& file, std::size_t step, std::size_t room) {
    WarcSource warc(std::make_unique<Pieces>(file, step), "f");
    Found found;
    std::string buffer(room, '\0');
    for (DocumentInfo info;;) {
        const bool more = warc.nextDocument(info);
        for (const std::string& p : info.problems) {
            const std::size_t at = p.find("byte ") + 5, colon = p.find(" : ", at);
            found.problems.push_back(p.substr(at, colon - at) + " " + p.substr(colon + 3, p.size() - colon - 4));
        }
        if (!more) break;
        std::string doc = info.url + "|" + info.date + "|" + info.record + "|" + info.truncated + "|" +
                          std::to_string(info.offset) + "|" + info.status + "|" + info.type + "|" + info.charset + "\n";
        while (const std::size_t n = warc.read(buffer.data(), buffer.size())) doc.append(buffer, 0, n);
        found.documents.push_back(doc);
    }
    return found;
}

Found readWithMirror(const std::string& file) {
    Mirror mirror;
    if (file.size() >= 2 && file.substr(0, 2) == "\x1f\x8b") mirror.compressed(file);
    else mirror.plain(file);
    return mirror.found;
}

// --- hand-made records ---

Bytes record(const std::string& type, const Bytes& block, const std::string& url, const Bytes& more = "") {
    return "WARC/1.1\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + url +
           "\r\nWARC-Date: 2026-05-06T07:08:09Z\r\nWARC-Record-ID: <urn:x:" + url + ">\r\n" + more +
           "Content-Length: " + std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
}
Bytes response(const Bytes& body, const std::string& url, const Bytes& http = "Content-Type: text/html\r\n",
               const Bytes& more = "") {
    return record("response", "HTTP/1.1 200 OK\r\n" + http + "\r\n" + body, url, more);
}

// Records of every kind; where a gzip payload lies, mutations leave it alone.
struct Crawl {
    std::vector<Bytes> records;
    std::vector<std::string> kept;  // payloads that a mutation must not touch
};

Crawl handMade() {
    Crawl c;
    const Bytes page = "<title>T</title><a href=x>y</a>\n<p>text";
    const Bytes gz = gzipStored(page) + gzipStored("<b>second member</b>");
    c.kept = {gz};
    c.records = {
        record("warcinfo", "software: test\r\n", "w"),
        response(page, "http://a/1", "Content-Type: text/html; charset=\"utf-8\"\r\n"),
        record("request", "GET / HTTP/1.1\r\n\r\n", "http://a/1"),
        response("b\r\n<a href=c1>\r\n6;x=1\r\n<br>xy\r\n0\r\nT: t\r\n\r\n", "http://a/chunked",
                 "Content-Type: TEXT/HTML\r\nTransfer-Encoding: chunked\r\n"),
        response(gz, "http://a/gz", "Content-Type: text/html\r\nContent-Encoding: gzip\r\n"),
        response("<a href=cut>partial", "http://a/cut", "Content-Type: text/html\r\n", "WARC-Truncated: length\r\n"),
        record("resource", page, "http://a/res", "Content-Type: application/xhtml+xml; charset=latin1\r\n"),
        response("\x89PNG", "http://a/img", "Content-Type: image/png\r\n"),
        record("metadata", "k: v\r\n", "http://a/1", "Content-Type: application/warc-fields\r\n"),
        response("<p>404</p>", "http://a/missing"),
    };
    return c;
}

Bytes join(const std::vector<Bytes>& records, bool gz) {
    Bytes out;
    for (const Bytes& r : records) out += gz ? gzipStored(r) : r;
    return out;
}

// One random change: a byte replaced, a few inserted or removed, the file cut, or a part of a
// record repeated; never inside the payloads in kept.
Bytes mutate(Bytes s, const std::vector<std::string>& kept, std::mt19937& random) {
    static const std::array<std::string, 10> kBits = {"\r\n", "\n", "WARC/1.0\r\n", ":", " ", "zz", "0",
                                                      "Content-Length: 3\r\n", "\r\n\r\n", "\xef\xbb\xbf"};
    for (int tries = 0; tries < 20; ++tries) {
        const std::size_t at = random() % (s.size() + 1);
        bool inside = false;
        for (const std::string& k : kept)
            for (std::size_t p = s.find(k); p != std::string::npos; p = s.find(k, p + 1))
                inside = inside || (at + 8 >= p && at <= p + k.size());
        if (inside) continue;
        switch (random() % 5) {
        case 0: if (at < s.size()) s[at] = static_cast<char>(random()); break;
        case 1: s.insert(at, kBits[random() % kBits.size()]); break;
        case 2: s.erase(at, random() % 8); break;
        case 3: s.resize(at); break;
        default: s.insert(at, s.substr(random() % s.size(), random() % 40)); break;
        }
        return s;
    }
    return s;
}

void expectSame(const std::string& file, const std::string& what) {
    Found mirror = readWithMirror(file);
    std::sort(mirror.problems.begin(), mirror.problems.end());
    for (const auto& [step, room] : {std::pair<std::size_t, std::size_t>{1 << 16, 1 << 16}, {7, 5}, {1, 4096}}) {
        Found found = readWithWarcSource(file, step, room);
        std::sort(found.problems.begin(), found.problems.end());
        ASSERT_EQ(found.documents, mirror.documents) << what << ", reads of " << step;
        ASSERT_EQ(found.problems, mirror.problems) << what << ", reads of " << step;
    }
}

TEST(WarcReader, HandMadeFilesAsTheSmallReaderReadsThem) {
    const Crawl c = handMade();
    for (const bool gz : {false, true}) {
        const Bytes file = join(c.records, gz);
        const Found found = readWithMirror(file);
        EXPECT_EQ(found.documents.size(), 6u);
        EXPECT_TRUE(found.problems.empty());
        expectSame(file, gz ? "compressed" : "plain");
    }
}

TEST(WarcReader, MutatedFilesAsTheSmallReaderReadsThem) {
    const Crawl c = handMade();
    std::mt19937 random(20260506);
    for (int round = 0; round < 600; ++round) {
        // Plain: the whole file mutated, once to thrice.
        Bytes plain = join(c.records, false);
        for (int k = 0; k <= round % 3; ++k) plain = mutate(plain, c.kept, random);
        expectSame(plain, "plain round " + std::to_string(round));
        // Compressed: a record mutated, then junk members, junk bytes or a wrong CRC32.
        std::vector<Bytes> records = c.records;
        Bytes& one = records[random() % records.size()];
        one = mutate(one, c.kept, random);
        Bytes gz;
        for (const Bytes& r : records) {
            Bytes member = gzipStored(r);
            switch (random() % 12) {
            case 0: member = gzipStored("JUNK") + member; break;
            case 1: member = "junk bytes between members " + member; break;
            case 2: member[member.size() - 8] ^= 1; break;
            default: break;
            }
            gz += member;
        }
        if (round % 10 == 0) gz.resize(gz.size() - random() % 40);
        expectSame(gz, "compressed round " + std::to_string(round));
    }
}

// The counts and the spans: every byte of a file lands in a document, a record passed over
// or a problem.
TEST(WarcReader, CountsAndSpansCoverTheFile) {
    const Crawl c = handMade();
    std::vector<Bytes> records = c.records;
    records.insert(records.begin() + 2, "junk\r\n");
    for (const bool gz : {false, true}) {
        const Bytes file = join(records, gz);
        WarcSource warc(std::make_unique<Pieces>(file, 100), "f");
        std::vector<CrawlSpan> spans;
        warc.keepSpans(&spans);
        char buffer[64];
        for (DocumentInfo info; warc.nextDocument(info);)
            while (warc.read(buffer, sizeof buffer) > 0) {
            }
        const CrawlCounts& counts = warc.counts();
        EXPECT_EQ(counts.records, 10);
        EXPECT_EQ(counts.documents, 6);
        const std::map<std::string, long long> passed = {{"metadata", 1}, {"request", 1}, {"response (not HTML)", 1},
                                                         {"warcinfo", 1}};
        EXPECT_EQ(counts.passedOver, passed);
        EXPECT_EQ(counts.bytesRead, static_cast<long long>(file.size()));
        EXPECT_EQ(counts.bytesInflated, static_cast<long long>(join(records, false).size()));
        long long fileEnd = 0, decoded = 0, problems = 0;
        std::map<long long, long long> memberEnd;  // decoded bytes of each member so far
        for (const CrawlSpan& s : spans) {
            if (s.kind == CrawlSpan::Kind::Member || s.kind == CrawlSpan::Kind::BrokenMember) {
                EXPECT_EQ(s.from, fileEnd);
                fileEnd = s.to;
                continue;
            }
            EXPECT_EQ(s.from, memberEnd[s.member]) << "gz " << gz;
            memberEnd[s.member] = s.to;
            decoded += s.to - s.from;
            problems += s.kind == CrawlSpan::Kind::Problem;
        }
        EXPECT_EQ(fileEnd, static_cast<long long>(file.size()));
        EXPECT_EQ(decoded, counts.bytesInflated);
        EXPECT_EQ(problems, 1);
    }
}

}  // namespace
}  // namespace tagsift::testing
