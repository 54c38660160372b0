// The crawl reader against a small reader written here from the rules alone (the whole file in
// memory, one pass, no buffers), on hand-made crawl files and on thousands of mutations of them:
// both must find the same documents (fields and payloads) and the same problems. Compressed
// files and payloads are made of stored deflate blocks, which the small reader unpacks itself.
#include <gtest/gtest.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "warc/pieces.h"
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
        out += {char(at + n == data.size()), char(len), char(len >> 8), char(~len), char(~len >> 8)};
        out += data.substr(at, n);
        at += n;
    } while (at < data.size());
    return out + le32(crc32(data)) + le32(static_cast<std::uint32_t>(data.size()));
}

enum class Gz { Whole, CutShort, WrongCheck, Unknown };
// One stored member at s[at...]: its data, how it ended, and its length.
Gz gunzipStored(std::string_view s, std::size_t at, Bytes& data, std::size_t& length, bool* lengthHolds = nullptr) {
    const std::size_t start = at, before = data.size();
    at += 10;
    for (bool last = false; !last;) {
        if (at + 5 > s.size()) return Gz::CutShort;
        last = s[at] & 1;
        const std::uint32_t n = readLe(s, at + 1, 2);
        if ((s[at] & 6) != 0 || (n ^ readLe(s, at + 3, 2)) != 0xffff) return Gz::Unknown;
        at += 5;
        data.append(s.substr(at, std::min<std::size_t>(n, s.size() - std::min(at, s.size()))));
        at += n;
    }
    if (at + 8 > s.size()) return Gz::CutShort;
    length = at + 8 - start;
    const std::string_view mine = std::string_view(data).substr(before);
    const bool holds = readLe(s, at + 4, 4) == static_cast<std::uint32_t>(mine.size());
    if (lengthHolds) *lengthHolds = holds;
    return holds && readLe(s, at, 4) == crc32(mine) ? Gz::Whole : Gz::WrongCheck;
}

// --- the small reader ---

struct Found {
    std::vector<std::string> documents;  // each: its fields, then its payload
    std::vector<std::string> problems;   // each: "offset what", sorted
    bool unknowable = false;             // compressed data the small reader cannot read
};

bool space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
std::string trim(std::string_view s) {
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return std::string(s);
}
std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
// Line ends with the white space around them become one space; angle brackets go.
std::string oneLine(const std::string& v, bool unbracket = false) {
    std::string r;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\r' && v[i] != '\n') {
            r += v[i];
            continue;
        }
        while (!r.empty() && (r.back() == ' ' || r.back() == '\t')) r.pop_back();
        while (i + 1 < v.size() && space(v[i + 1])) ++i;
        r += ' ';
    }
    return unbracket && r.size() >= 2 && r.front() == '<' && r.back() == '>' ? r.substr(1, r.size() - 2) : r;
}
std::string media(const std::string& ct) { return lower(trim(ct.substr(0, ct.find(';')))); }
bool html(const std::string& type) { return type == "text/html" || type == "application/xhtml+xml"; }
// Parameters as the MIME Sniffing standard reads them: a quoted value holds ';' and backslash
// escapes, a name is all before its '=' but the blanks that lead it; a name or value with a byte
// not allowed there, or an unquoted empty value, is passed over; the first one left counts.
std::string charset(const std::string& ct) {
    const std::string blanks = " \t\r\n", tokenSigns = "!#$%&'*+-.^_`|~";
    for (std::size_t i = ct.find(';'); i < ct.size();) {
        for (++i; i < ct.size() && blanks.find(ct[i]) != std::string::npos;) ++i;
        std::string name, value;
        while (i < ct.size() && ct[i] != ';' && ct[i] != '=') name += ct[i++];
        if (i >= ct.size() || ct[i] == ';') continue;
        bool quoted = false;
        if (++i < ct.size() && ct[i] == '"') {
            quoted = true;
            for (++i; i < ct.size() && ct[i] != '"'; ++i) value += ct[i] == '\\' && i + 1 < ct.size() ? ct[++i] : ct[i];
            i = ct.find(';', i);
        } else {
            const std::size_t end = ct.find(';', i);
            value = ct.substr(i, end == std::string::npos ? std::string::npos : end - i);
            while (!value.empty() && blanks.find(value.back()) != std::string::npos) value.pop_back();
            i = end;
        }
        bool good = !name.empty() && (quoted || !value.empty());
        for (const char c : name) good = good && (std::isalnum(static_cast<unsigned char>(c)) || tokenSigns.find(c) != std::string::npos);
        for (const char c : value) good = good && (c == '\t' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F));
        if (good && lower(name) == "charset") return value;
    }
    return "";
}

bool versionAt(std::string_view s, std::size_t at) {
    return s.substr(at, 7) == "WARC/1." && at + 9 <= s.size() && (s[at + 7] == '0' || s[at + 7] == '1') &&
           (s[at + 8] == '\n' || s.substr(at + 8, 2) == "\r\n");
}
// The length of the header block at the start of s (at most 65536 bytes), or npos.
std::size_t blockEnd(std::string_view s) {
    for (std::size_t i = 0; i < s.size() && i < 65536; ++i)
        if (s[i] == '\n' && (s.substr(i + 1, 1) == "\n" || s.substr(i + 1, 2) == "\r\n")) {
            const std::size_t end = i + (s[i + 1] == '\n' ? 2 : 3);
            return end <= 65536 ? end : std::string::npos;
        }
    return std::string::npos;
}

struct Header {
    std::string first;
    std::vector<std::pair<std::string, std::string>> fields;  // names in lower case
    std::string get(const std::string& name) const {
        std::string v;
        for (const auto& [n, value] : fields) v = n == lower(name) ? value : v;
        return v;
    }
    long count(const std::string& name) const {
        return std::count_if(fields.begin(), fields.end(), [&](auto& f) { return f.first == lower(name); });
    }
};

// A line that begins with white space goes on with the value before it.
Header parse(std::string_view block) {
    Header h;
    const char* valueStart = nullptr;
    for (std::size_t at = 0, lf; (lf = block.find('\n', at)) != std::string_view::npos; at = lf + 1) {
        std::string_view line = block.substr(at, lf - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (at == 0) h.first = line;
        if (at == 0 || line.empty()) continue;
        if ((line[0] == ' ' || line[0] == '\t') && !h.fields.empty()) {
            if (h.fields.back().second.empty()) valueStart = line.data();
            h.fields.back().second = trim(std::string_view(valueStart, line.data() + line.size() - valueStart));
        } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && space(value.front())) value.remove_prefix(1);
            valueStart = value.data();
            h.fields.emplace_back(lower(trim(line.substr(0, colon))), trim(value));
        }
    }
    return h;
}

class Mirror {
public:
    Found found;

    void plain(std::string_view file) { member(file, 0, false, false); }
    void compressed(std::string_view file) {
        for (std::size_t at = 0; at < file.size();) {
            const std::string_view magic("\x1f\x8b\x08", 3);
            if (file.size() - at < 3 && magic.starts_with(file.substr(at))) {  // a header cut short
                problem(at, "a gzip member cut short");
                return;
            }
            if (file.substr(at, 3) != magic) {  // junk: the next member is the next header
                problem(at, "a broken gzip member");
                at = file.find("\x1f\x8b\x08", at + 1);
                continue;
            }
            Bytes data;
            std::size_t length = file.size() - at;
            bool lengthHolds = false;
            const Gz end = gunzipStored(file, at, data, length, &lengthHolds);
            // The crawl reader looks for the next member from the byte after a cut one's start: a
            // gzip header inside its stored bytes (a page that holds one) is inflated there, as
            // this reader cannot.
            if (end == Gz::CutShort && file.find("\x1f\x8b\x08", at + 1) != std::string_view::npos) {
                found.unknowable = true;
                return;
            }
            if (end == Gz::CutShort) problem(at, "a gzip member cut short");
            // A member with a wrong check ends where its trailer says if its length holds, or
            // if a member starts there and no header lies inside it; else the next is looked for
            // as after a cut one.
            const bool next = lengthHolds || file.substr(at + length, 3) == "\x1f\x8b\x08";
            const std::size_t header = file.find("\x1f\x8b\x08", at + 1);
            if (end == Gz::WrongCheck && !lengthHolds && header < at + length - 8) {
                found.unknowable = true;
                return;
            }
            if (end == Gz::WrongCheck) problem(at, "a gzip member that fails its checksum");
            member(data, at, true, end != Gz::Whole);
            at = end == Gz::WrongCheck && !next ? header : at + length;
        }
    }

private:
    std::size_t offset_ = 0;  // of the record, for its problems
    bool truncated_ = false;

    void problem(std::size_t offset, const std::string& what) {
        found.problems.push_back(std::to_string(offset) + " " + what);
    }

    // After a problem: the next member, or the next version line after the record's start.
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
            do at = std::min(s.find("WARC/1.", at + 1), s.size());
            while (at < s.size() && !versionAt(s, at));
        }
    }

    // Reads the record at s[at...]; where the next begins, or what is wrong with its header.
    std::size_t record(std::string_view s, std::size_t at, std::size_t offset, bool broken, std::string& what) {
        const std::size_t end = blockEnd(s.substr(at));
        if (!versionAt(s, at)) what = "not a WARC record";
        else if (end == std::string::npos || end > 65536)
            what = s.size() - at > 65536 ? "a header block that never ends" : "a record cut short";
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
        offset_ = offset;
        truncated_ = !oneLine(h.get("WARC-Truncated")).empty();
        const std::string fields = oneLine(h.get("WARC-Target-URI"), true) + "|" + oneLine(h.get("WARC-Date")) + "|" +
                                   oneLine(h.get("WARC-Record-ID"), true) + "|" + oneLine(h.get("WARC-Truncated")) +
                                   "|" + std::to_string(offset) + "|";
        const std::string type = lower(h.get("WARC-Type")), ct = oneLine(h.get("Content-Type"));
        if (type == "resource" && html(media(ct)))
            found.documents.push_back(fields + "|" + media(ct) + "|" + charset(ct) + "\n" + std::string(block));
        if (type == "response" && block.substr(0, 5) == "HTTP/") response(block, length, fields);
        if (block.size() < length && !broken) problem(offset, "a record cut short");
        return from + block.size();
    }

    void response(std::string_view block, std::size_t length, const std::string& fields) {
        const std::size_t end = blockEnd(block);
        if (end == std::string::npos || end > 65536) {
            if (block.size() == length && !truncated_) problem(offset_, "an HTTP header that never ends");
            return;
        }
        const Header http = parse(block.substr(0, end));
        const std::string ct = http.get("Content-Type"), encoding = lower(http.get("Content-Encoding"));
        if (!html(media(ct)) || (!encoding.empty() && encoding != "identity" && encoding != "gzip")) return;
        std::string status = http.first.substr(std::min(http.first.find(' '), http.first.size()));
        status = status.empty() ? "" : status.substr(1, status.find(' ', 1) - 1);
        if (status.find_first_not_of("0123456789") != std::string::npos) status.clear();
        // Transfer codings: chunked is undone; any other (none is made here but by a change)
        // is not, and the document is passed over.
        bool chunked = false;
        std::istringstream codings(lower(http.get("Transfer-Encoding")));
        for (std::string token; std::getline(codings, token, ',');) {
            token = trim(token.substr(0, token.find(';')));
            if (token != "chunked" && !token.empty() && token != "identity") return;
            chunked = chunked || token == "chunked";
        }
        const bool cut = block.size() < length;
        std::string payload(block.substr(end));
        if (chunked) payload = dechunk(payload, length - end, cut);
        if (encoding == "gzip") payload = gunzip(payload, cut);
        found.documents.push_back(fields + status + "|" + media(ct) + "|" + charset(ct) + "\n" + payload);
    }

    std::string dechunk(std::string_view in, std::size_t left, bool cut) {
        std::string out;
        bool sized = false;
        std::size_t at = 0;
        for (std::size_t lf; (lf = in.find('\n', at)) != std::string_view::npos;) {
            std::string line(in.substr(at, lf - at));
            at = lf + 1;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos) continue;
            sized = true;
            const std::string digits = trim(line.substr(0, line.find(';')));
            std::uint64_t size = 0;
            std::string what = digits.empty() ? "a chunk size that is not hexadecimal" : "";
            for (std::size_t i = 0; i < digits.size() && what.empty(); ++i) {
                if (!std::isxdigit(static_cast<unsigned char>(digits[i]))) what = "a chunk size that is not hexadecimal";
                else if (size >> 60) what = "a chunk size past 64 bits";
                else size = size << 4 | std::stoul(digits.substr(i, 1), nullptr, 16);
            }
            if (what.empty() && size > left - at && !truncated_) {
                problem(offset_, "a chunk that runs past the record's end");
                return out.append(in.substr(at));
            }
            if (!what.empty()) problem(offset_, what);
            if (!what.empty() || size == 0) return out;
            out.append(in.substr(at, size));
            at += size;
            if (at > in.size()) return out;
        }
        const bool noBody = !sized && in.find_first_not_of(" \t\r", at) == std::string_view::npos;
        if (!cut && !truncated_ && !noBody) problem(offset_, "a chunked payload cut short");
        return out;
    }

    // Members as long as they come; bytes after them are no part of the payload.
    std::string gunzip(std::string_view in, bool cut) {
        std::string out;
        found.unknowable = found.unknowable || in.substr(0, 10) != std::string_view("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10).substr(0, std::min<std::size_t>(in.size(), 10));
        for (std::size_t at = 0, length = 0; at < in.size() && (at == 0 || in.substr(at, 2) == "\x1f\x8b"); at += length) {
            const Gz end = gunzipStored(in, at, out, length);
            found.unknowable = found.unknowable || end == Gz::Unknown;
            if (end == Gz::WrongCheck) problem(offset_, "a payload whose compressed data fails its checksum");
            if (end == Gz::CutShort && !cut && !truncated_) problem(offset_, "a payload whose compressed data is cut short");
            if (end != Gz::Whole) break;
        }
        return out;
    }
};

// --- the crawl reader, read in small pieces ---

// detach: documents that are a stretch of the file are taken apart and read only once the
// reader is gone, as workers that lag behind it read them.
Found readWithWarcSource(const std::string& file, std::size_t step, std::size_t room,
                         const warc::InflateAhead::Options& helpers = {}, bool detach = false) {
    auto warc = std::make_unique<WarcSource>(std::make_unique<Pieces>(file, step), "f", helpers);
    Found found;
    std::string buffer(room, '\0');
    std::vector<std::unique_ptr<ByteSource>> detached(1);
    for (DocumentInfo info;;) {
        const bool more = warc->nextDocument(info);
        for (const std::string& p : info.problems)  // "\n! Error : f : the record at byte N : what\n"
            found.problems.push_back(p.substr(34, p.size() - 35).replace(p.find(" : ", 34) - 34, 3, " "));
        if (!more) break;
        std::string doc = info.url + "|" + info.date + "|" + info.record + "|" + info.truncated + "|" +
                          std::to_string(info.offset) + "|" + info.status + "|" + info.type + "|" + info.charset + "\n";
        if (detach) detached.push_back(warc->detachDocument());
        if (!detached.back()) {
            while (const std::size_t n = warc->read(buffer.data(), buffer.size())) doc.append(buffer, 0, n);
        }
        found.documents.push_back(doc);
    }
    warc.reset();
    for (std::size_t i = 1; i < detached.size(); ++i)
        while (std::size_t n = detached[i] ? detached[i]->read(buffer.data(), buffer.size()) : 0)
            found.documents[i - 1].append(buffer, 0, n);
    return found;
}

Found readWithMirror(const std::string& file) {
    Mirror mirror;
    // Compressed: a gzip header first, or a member holding a record before any version line in
    // the first 32 KiB.
    const std::string_view head = std::string_view(file).substr(0, 1 << 15);
    const std::size_t header = head.find("\x1f\x8b\x08");
    Bytes first;
    std::size_t length = 0;
    if (header != head.npos) gunzipStored(head, header, first, length);
    const bool gz = file.starts_with("\x1f\x8b") || (!file.starts_with("WARC/") && first.starts_with("WARC/") &&
                                                      head.substr(0, header).find("WARC/1.") == head.npos);
    gz ? mirror.compressed(file) : mirror.plain(file);
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

// Records of every kind, and the payloads that a mutation must not touch: the gzip ones.
struct Crawl {
    std::vector<Bytes> records, kept;
};

Crawl handMade() {
    Crawl c;
    const Bytes page = "<title>T</title><a href=x>y</a>\n<p>text";
    const Bytes gz = gzipStored(page) + gzipStored("<b>second member</b>"), gzCut = gzipStored(page).substr(0, 30);
    const Bytes chunked = "Content-Type: TEXT/HTML\r\nTransfer-Encoding: chunked\r\n", cut = "WARC-Truncated: length\r\n";
    c.kept = {gz, gzCut};
    c.records = {
        record("warcinfo", "software: test\r\n", "w"),
        response(page, "http://a/1", "Content-Type: text/html; charset=\"utf-8\"\r\n"),
        record("request", "GET / HTTP/1.1\r\n\r\n", "http://a/1"),
        response("b\r\n<a href=c1>\r\n6;x=1\r\n<br>xy\r\n1\r\nz\r\n0\r\nT: t\r\n\r\n", "http://a/chunked", chunked),
        response(gz, "http://a/gz", "Content-Type: text/html\r\nContent-Encoding: gzip\r\n"),
        // Payloads the crawler cut short.
        response("<a href=cut>partial", "http://a/cut", "Content-Type: text/html\r\n", cut),
        response("b\r\n<a href=c1>\r\n20\r\nabc", "http://a/chunkcut", chunked, cut),
        response(gzCut, "http://a/gzcut", "Content-Type: text/html\r\nContent-Encoding: gzip\r\n", cut),
        record("resource", page, "<>", "Content-Type: application/xhtml+xml; charset=latin1\r\n"),
        response("\x89PNG", "http://a/img", "Content-Type: image/png\r\n"),
        record("metadata", "k: v\r\n", "http://a/1", "Content-Type: application/warc-fields\r\n"),
        // Bytes that look like gzip headers, where helpers that inflate members ahead look for one.
        response([] { std::string s; for (int i = 0; i < 40; ++i) s += "<p>\x1f\x8b\x08 no member</p>"; return s; }(),
                 "http://a/lookalikes"),
        // A header value folded onto lines of its own, as WARC allows; a charset of two quotes.
        response("<p>404</p>", "http://a/ \r\n \t\r\n\tmissing", "Content-Type: text/html; charset=\"\"\r\n"),
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
Bytes mutate(Bytes s, const std::vector<Bytes>& kept, std::mt19937& random) {
    static const std::array<std::string, 10> kBits = {"\r\n", "\n", "WARC/1.0\r\n", ":", " ", "zz", "0",
                                                      "Content-Length: 3\r\n", "\r\n\r\n", "\xef\xbb\xbf"};
    for (int tries = 0; tries < 20; ++tries) {
        const std::size_t at = random() % (s.size() + 1);
        bool inside = false;
        for (const Bytes& k : kept)
            for (std::size_t p = s.find(k); p != std::string::npos; p = s.find(k, p + 1))
                inside = inside || (at + 8 >= p && at <= p + k.size());
        if (inside) continue;
        switch (random() % 5) {
        case 0: if (at < s.size()) s[at] = static_cast<char>(random()); break;
        case 1: s.insert(at, kBits[random() % kBits.size()]); break;
        case 2: s.erase(at, random() % 8); break;
        case 3: s.resize(at); break;
        default: {
            // One draw after the other: arguments are evaluated in no set order, and every build
            // must make the same files.
            const std::size_t from = random() % s.size();
            s.insert(at, s.substr(from, random() % 40));
            break;
        }
        }
        return s;
    }
    return s;
}

void expectSame(const std::string& file, const std::string& what) {
    Found mirror = readWithMirror(file);
    if (mirror.unknowable) return;
    std::sort(mirror.problems.begin(), mirror.problems.end());
    for (const auto& [step, room, detach] : {std::tuple<std::size_t, std::size_t, bool>{1 << 16, 1 << 16, false},
                                              {7, 1, false}, {1, 4096, false}, {1 << 16, 1 << 16, true}, {5, 3, true}}) {
        Found found = readWithWarcSource(file, step, room, {}, detach);
        std::sort(found.problems.begin(), found.problems.end());
        ASSERT_EQ(found.documents, mirror.documents) << what << ", reads of " << step << (detach ? ", detached" : "");
        ASSERT_EQ(found.problems, mirror.problems) << what << ", reads of " << step << (detach ? ", detached" : "");
    }
    // Members inflated ahead, in chunks of a few records, some too large to be held: the reader
    // still finds and says everything, in the same order.
    for (const auto& [chunk, hold] : {std::pair<std::size_t, std::size_t>{97, 4096}, {331, 150}}) {
        Found found = readWithWarcSource(file, 1 << 16, 1 << 16, {.helpers = 2, .chunk = chunk, .hold = hold});
        std::sort(found.problems.begin(), found.problems.end());
        ASSERT_EQ(found.documents, mirror.documents) << what << ", inflated ahead in chunks of " << chunk;
        ASSERT_EQ(found.problems, mirror.problems) << what << ", inflated ahead in chunks of " << chunk;
    }
}

// Both readers agree on the hand-made crawl, with what the reader counts for --stats.
TEST(WarcReader, HandMadeFiles) {
    const Crawl c = handMade();
    for (const bool gz : {false, true}) {
        const Bytes file = join(c.records, gz);
        expectSame(file, gz ? "compressed" : "plain");
        expectSame(Bytes(gz ? "\x1f" : "W"), "one byte");  // too short to be compressed
        // Junk longer than the stretch a plain file is searched in at once: one problem.
        if (!gz) expectSame(c.records[0] + Bytes(70000, 'j') + file, "a long stretch of junk");
        const Bytes junk = gz ? gzipStored("junk\r\n") + file : "junk" + file;
        WarcSource warc(std::make_unique<Pieces>(junk, 100), "f", {.helpers = 2, .chunk = 97, .hold = 4096});
        for (DocumentInfo info; warc.nextDocument(info);) {
        }
        const CrawlCounts& counts = warc.counts();
        EXPECT_EQ(counts.passedOver, (std::map<std::string, long long, std::less<>>{
                                         {"metadata", 1}, {"request", 1}, {"response (not HTML)", 1}, {"warcinfo", 1}}));
        EXPECT_EQ(std::make_pair(counts.records, counts.documents), std::make_pair(13LL, 9LL));
        // Helpers found every member, past the look-alikes, in chunks that cut records anywhere;
        // a file of two chunks is worth them too.
        EXPECT_EQ(counts.inflatedAhead, gz ? 14 : 0);
        WarcSource halves(std::make_unique<Pieces>(junk, 100), "f", {.helpers = 1, .chunk = junk.size() / 2 + 1});
        for (DocumentInfo info; halves.nextDocument(info);) {
        }
        EXPECT_EQ(halves.counts().inflatedAhead, gz ? 14 : 0);
        WarcSource alone(std::make_unique<Pieces>(junk, 100), "f", {.chunk = 97});  // helpers only when asked
        for (DocumentInfo info; alone.nextDocument(info);) {
        }
        EXPECT_EQ(alone.counts().inflatedAhead, 0);
        // The documents sent as they are, in a plain file: stretches of it for their workers.
        WarcSource plain(std::make_unique<Pieces>(junk, 100), "f");
        int stretches = 0;
        for (DocumentInfo info; plain.nextDocument(info);) stretches += plain.detachDocument() != nullptr;
        EXPECT_EQ(stretches, gz ? 0 : 5);
        EXPECT_EQ(counts.bytesRead, static_cast<long long>(junk.size()));
        EXPECT_EQ(counts.bytesInflated, static_cast<long long>(join(c.records, false).size() + (gz ? 6 : 4)));
    }
}

// A header block (the WARC header, or the HTTP header inside a response) of up to 64 KiB is
// read; one byte more, and it never ends.
TEST(WarcReader, HeaderBlocksUpToTheLimit) {
    const auto padded = [](bool http, std::size_t size) {
        const auto withPad = [&](std::size_t k) {
            const Bytes pad = "X-Pad: " + std::string(k, 'a') + "\r\n";
            return http ? response("<a href=x>", "u", "Content-Type: text/html\r\n" + pad)
                        : record("resource", "<a href=x>", "u", "Content-Type: text/html\r\n" + pad);
        };
        const Bytes bare = withPad(0);
        const std::size_t from = http ? bare.find("HTTP/") : 0;
        return withPad(size - (bare.find("\r\n\r\n", from) + 4 - from));
    };
    for (const bool http : {false, true})
        for (const std::size_t size : {65536, 65537}) {
            const Bytes file = padded(http, size) + response("<a href=y>", "next");
            expectSame(file, (http ? "HTTP header of " : "WARC header of ") + std::to_string(size));
            const Found found = readWithWarcSource(file, 1 << 16, 1 << 16);
            EXPECT_EQ(found.problems.empty(), size == 65536) << http << " " << size;
            EXPECT_EQ(found.documents.size(), size == 65536 ? 2u : 1u) << http << " " << size;
        }
}

// A compressed payload broken anywhere gives the same bytes and problems whatever the reader's
// room: the decoder inflates a whole stage at a time, never into the caller's block.
TEST(WarcReader, ABrokenPayloadGivesTheSameWhateverTheRoom) {
    Bytes page;
    for (int i = 0; i < 300; ++i) page += "<p class=c" + std::to_string(i % 7) + ">cell " + std::to_string(i * i) + "</p>\n";
    Bytes raw(page.size() + 1024, '\0');
    isal_zstream z;
    isal_deflate_stateless_init(&z);
    z.next_in = reinterpret_cast<std::uint8_t*>(page.data());
    z.avail_in = static_cast<std::uint32_t>(page.size());
    z.next_out = reinterpret_cast<std::uint8_t*>(raw.data());
    z.avail_out = static_cast<std::uint32_t>(raw.size());
    z.end_of_stream = 1;
    ASSERT_EQ(isal_deflate_stateless(&z), COMP_OK);
    raw.resize(z.total_out);
    for (std::size_t k = 0; k < raw.size(); k += 5) {
        Bytes broken = raw;
        broken[k] = static_cast<char>(broken[k] ^ 0x5a);
        const Bytes file = response(broken, "u", "Content-Type: text/html\r\nContent-Encoding: deflate\r\n");
        const Found whole = readWithWarcSource(file, 1 << 16, 1 << 16);
        for (const std::size_t room : {1, 3, 4096}) {
            const Found found = readWithWarcSource(file, 7, room);
            ASSERT_EQ(found.documents, whole.documents) << k << " " << room;
            ASSERT_EQ(found.problems, whole.problems) << k << " " << room;
        }
    }
}

TEST(WarcReader, MutatedFilesAsTheSmallReaderReadsThem) {
    const Crawl c = handMade();
    std::mt19937 random(20260506);
    for (int round = 0; round < 600; ++round) {
        // Plain: the whole file mutated, once to thrice.
        Bytes plain = join(c.records, false);
        for (int k = 0; k <= round % 3; ++k) plain = mutate(plain, c.kept, random);
        // A file that starts inside a record, in its compressed payload, is plain all the same.
        if (round % 7 == 0) plain = "gzip\r\n\r\n" + gzipStored("<p>payload</p>") + "\r\n\r\n" + plain;
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
            case 3: member.resize(member.size() - 1 - random() % 8); break;  // its trailer cut short
            default: break;
            }
            gz += member;
        }
        if (round % 10 == 0) gz.resize(gz.size() - random() % 40);
        expectSame(gz, "compressed round " + std::to_string(round));
    }
}

}  // namespace
}  // namespace tagsift::testing
