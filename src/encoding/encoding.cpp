// The encodings, their labels, and decoding through iconv.
//
// Each encoding of the standard is read with the iconv charset closest to it. Where they differ,
// measured against the standard's indexes code point by code point:
//   - windows-874 and windows-1250 to 1258: the bytes of 0x80-0x9F that iconv leaves undefined
//     (0x81 0x8D 0x8F 0x90 0x9D in windows-1252) are the C1 controls of the same value, as the
//     standard has them; and windows-1255's 0xCA is U+05BA, which iconv lacks.
//   - KOI8-U is the standard's KOI8-RU-like one (0xAE, 0xBE: Cyrillic short u, not box drawings);
//     macintosh has the increment sign at 0xC6 and Apple's logo (U+F8FF) at 0xF0; x-mac-cyrillic
//     the euro at 0xFF. These five are written below.
//   - Shift_JIS is Windows-31J (CP932), which matches the standard's index everywhere; 0x80 alone
//     is U+0080. Plain SHIFT_JIS would read 0x8160 as U+301C and lack the NEC and IBM rows.
//   - EUC-JP is eucJP-ms (EUC-JP-MS): the Microsoft mappings of the index (U+FF5E, U+2225 ...)
//     and NEC's row 13; its user-defined rows are private use, where the standard has IBM's kanji
//     in rows 89-92 (0xF9A1-0xFCFE) and errors in the others (replaceUserDefined); the lone bytes
//     it reads as C1 controls are errors in the standard (replaceC1). After 0x8F it knows IBM's
//     extensions of JIS X 0212 (0x8FF3F3-0x8FF4FE), which the standard does not.
//   - ISO-2022-JP is read as ISO-2022-JP-2, which also knows the half-width katakana (ESC ( I)
//     and a few sets the standard does not; it has the JIS mappings (0x2141 is U+301C, not U+FF5E)
//     and lacks NEC's row 13.
//   - EUC-KR is windows-949 (CP949/UHC), as in the standard; plain EUC-KR lacks 8,822 hangul.
//   - GBK and gb18030 are both read as GB18030, as in the standard; 0x80 alone is the euro sign.
//     25 two-byte codes differ (iconv has GB18030-2005's mappings of some private-use ones).
//   - Big5 is Big5-HKSCS; 142 codes of the standard's index (HKSCS-2008 additions) are unknown to
//     iconv; the codes it rejects that plain Big5 has, and the signs it reads otherwise, are
//     written below (kBig5Pairs), and 0x80 alone, which it reads as U+0080, is an error.
// In a multi-byte encoding a lead byte and the byte after it that make no character are one
// U+FFFD, as in the standard, unless that byte is ASCII: it is read afresh (errorLength).
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <mutex>

#include "base/text.h"
#include "encoding/encoding.h"

namespace tagsift {

namespace {

// As TextDecoder's own, in the same order.
enum class Kind : unsigned char { Same, Table, Iconv, Replacement };

struct EncodingRow {
    std::string_view name;
    Kind kind;
    const char* charset;  // iconv's name; Table rows without one are made arithmetically
};

constexpr EncodingRow kEncodings[] = {
    {"UTF-8", Kind::Same, nullptr},
    {"IBM866", Kind::Table, "IBM866"},
    {"ISO-8859-2", Kind::Table, "ISO-8859-2"},
    {"ISO-8859-3", Kind::Table, "ISO-8859-3"},
    {"ISO-8859-4", Kind::Table, "ISO-8859-4"},
    {"ISO-8859-5", Kind::Table, "ISO-8859-5"},
    {"ISO-8859-6", Kind::Table, "ISO-8859-6"},
    {"ISO-8859-7", Kind::Table, "ISO-8859-7"},
    {"ISO-8859-8", Kind::Table, "ISO-8859-8"},
    {"ISO-8859-8-I", Kind::Table, "ISO-8859-8"},
    {"ISO-8859-10", Kind::Table, "ISO-8859-10"},
    {"ISO-8859-13", Kind::Table, "ISO-8859-13"},
    {"ISO-8859-14", Kind::Table, "ISO-8859-14"},
    {"ISO-8859-15", Kind::Table, "ISO-8859-15"},
    {"ISO-8859-16", Kind::Table, "ISO-8859-16"},
    {"KOI8-R", Kind::Table, "KOI8-R"},
    {"KOI8-U", Kind::Table, "KOI8-U"},
    {"macintosh", Kind::Table, "MACINTOSH"},
    {"windows-874", Kind::Table, "CP874"},
    {"windows-1250", Kind::Table, "CP1250"},
    {"windows-1251", Kind::Table, "CP1251"},
    {"windows-1252", Kind::Table, "CP1252"},
    {"windows-1253", Kind::Table, "CP1253"},
    {"windows-1254", Kind::Table, "CP1254"},
    {"windows-1255", Kind::Table, "CP1255"},
    {"windows-1256", Kind::Table, "CP1256"},
    {"windows-1257", Kind::Table, "CP1257"},
    {"windows-1258", Kind::Table, "CP1258"},
    {"x-mac-cyrillic", Kind::Table, "MAC-CYRILLIC"},
    {"GBK", Kind::Iconv, "GB18030"},
    {"gb18030", Kind::Iconv, "GB18030"},
    {"Big5", Kind::Iconv, "BIG5-HKSCS"},
    {"EUC-JP", Kind::Iconv, "EUC-JP-MS"},
    {"ISO-2022-JP", Kind::Iconv, "ISO-2022-JP-2"},
    {"Shift_JIS", Kind::Iconv, "CP932"},
    {"EUC-KR", Kind::Iconv, "CP949"},
    {"replacement", Kind::Replacement, nullptr},
    {"UTF-16BE", Kind::Replacement, nullptr},
    {"UTF-16LE", Kind::Replacement, nullptr},
    {"x-user-defined", Kind::Table, nullptr},
};
constexpr std::size_t kEncodingCount = std::size(kEncodings);

constexpr unsigned char idOf(std::string_view name) {
    for (std::size_t i = 0; i < kEncodingCount; ++i)
        if (kEncodings[i].name == name) return static_cast<unsigned char>(i);
    throw "not an encoding";  // in a constant expression: the build fails
}

// Two-byte codes of the standard's Big5 index that Big5-HKSCS rejects (plain Big5 has them), or
// reads as other signs (the standard has Microsoft's, as CP950 does).
struct PairOverride {
    unsigned char lead, trail;
    char32_t to;
};
constexpr PairOverride kBig5Pairs[] = {
    {0xA1, 0x45, 0x2027}, {0xA1, 0x4E, 0xFE51}, {0xA1, 0x5A, 0x2574}, {0xA1, 0xC2, 0x00AF}, {0xA1, 0xC3, 0xFFE3},
    {0xA1, 0xC5, 0x02CD}, {0xA1, 0xE3, 0xFF5E}, {0xA1, 0xF2, 0x2295}, {0xA1, 0xF3, 0x2299}, {0xA1, 0xFE, 0xFF0F},
    {0xA2, 0x40, 0xFF3C}, {0xA2, 0x41, 0x2215}, {0xA2, 0x42, 0xFE68}, {0xA2, 0x44, 0xFFE5}, {0xA2, 0x46, 0xFFE0},
    {0xA2, 0x47, 0xFFE1}, {0xA2, 0xCC, 0x5341}, {0xA2, 0xCE, 0x5345}, {0xA3, 0xE1, 0x20AC},
};

// Where in[at, n) first holds a pair that kBig5Pairs has, or a lone 0x80 (an error, which iconv
// reads as U+0080); n when nowhere. *to is its reading, *length its bytes. Big5 pairs are a byte
// from 0x81 to 0xFE and the byte after it, whatever that is, as the decoder reads them too.
std::size_t firstBig5Override(const char* in, std::size_t at, std::size_t n, char32_t* to, std::size_t* length) {
    for (; at < n; ++at) {
        const auto lead = static_cast<unsigned char>(in[at]);
        if (lead == 0x80) {
            *to = 0xFFFD;
            *length = 1;
            return at;
        }
        if (lead < 0x81 || lead > 0xFE || at + 1 == n) continue;
        const auto trail = static_cast<unsigned char>(in[++at]);
        if (lead > 0xA3) continue;
        for (const PairOverride& o : kBig5Pairs)
            if (o.lead == lead && o.trail == trail) {
                *to = o.to;
                *length = 2;
                return at - 1;
            }
    }
    return n;
}

// Single bytes whose standard mapping iconv's charset does not give (besides the C1 gaps).
struct ByteOverride {
    unsigned char encoding;
    unsigned char byte;
    char32_t to;
};
constexpr ByteOverride kByteOverrides[] = {
    {idOf("windows-1255"), 0xCA, 0x05BA}, {idOf("KOI8-U"), 0xAE, 0x045E},    {idOf("KOI8-U"), 0xBE, 0x040E},
    {idOf("macintosh"), 0xC6, 0x2206},    {idOf("macintosh"), 0xF0, 0xF8FF}, {idOf("x-mac-cyrillic"), 0xFF, 0x20AC},
    // Lone bytes that iconv rejects in a multi-byte encoding.
    {idOf("Shift_JIS"), 0x80, 0x0080},    {idOf("GBK"), 0x80, 0x20AC},       {idOf("gb18030"), 0x80, 0x20AC},
};

struct LabelRow {
    std::string_view label;
    std::string_view name;
};
#include "encoding/labels.inc"

constexpr unsigned char kIso2022Jp = idOf("ISO-2022-JP");
constexpr unsigned char kBig5 = idOf("Big5");
constexpr unsigned char kEucJp = idOf("EUC-JP");

// How many bytes from p (left of them here) the standard takes into one U+FFFD where iconv finds
// no character: a lead byte and the byte after it, unless that one is ASCII (which is read
// afresh); a whole four-byte code of gb18030, three bytes after EUC-JP's 0x8F. Else the byte alone.
// 0 when the bytes that would tell are not here yet (iconv rejects some leads before their next
// byte comes: a block's end must not decide).
std::size_t errorLength(unsigned char id, const unsigned char* p, std::size_t left) {
    auto in = [](unsigned char b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; };
    const unsigned char lead = p[0];
    bool isLead = false;
    if (id == idOf("Shift_JIS")) isLead = in(lead, 0x81, 0x9F) || in(lead, 0xE0, 0xFC);
    else if (id == idOf("EUC-KR") || id == kBig5) isLead = in(lead, 0x81, 0xFE);
    else if (id == kEucJp) isLead = lead == 0x8E || lead == 0x8F || in(lead, 0xA1, 0xFE);
    else if (id == idOf("GBK") || id == idOf("gb18030")) isLead = in(lead, 0x81, 0xFE);
    if (!isLead) return 1;
    if (left < 2) return 0;
    const unsigned char second = p[1];
    if ((id == idOf("GBK") || id == idOf("gb18030")) && in(second, 0x30, 0x39)) {
        if (left >= 3 && !in(p[2], 0x81, 0xFE)) return 1;
        return left < 4 ? 0 : in(p[3], 0x30, 0x39) ? 4 : 1;
    }
    if (id == kEucJp && lead == 0x8F && in(second, 0xA1, 0xFE)) return left < 3 ? 0 : p[2] >= 0x80 ? 3 : 2;
    return second >= 0x80 ? 2 : 1;
}

constexpr auto kLabelIds = [] {
    std::array<unsigned char, std::size(kLabels)> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = idOf(kLabels[i].name);
    return ids;
}();

int utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

void putUtf8(char32_t c, char* to) {
    const int n = utf8Length(c);
    if (n == 1) {
        to[0] = static_cast<char>(c);
        return;
    }
    for (int i = n - 1; i > 0; --i, c >>= 6) to[i] = static_cast<char>(0x80 | (c & 0x3F));
    to[0] = static_cast<char>((0xF00 >> n) | c);
}

void appendUtf8(char32_t c, std::string& out) {
    char bytes[4];
    putUtf8(c, bytes);
    out.append(bytes, static_cast<std::size_t>(utf8Length(c)));
}

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

}  // namespace

// The UTF-8 of one byte of a single-byte encoding; every one is in the BMP.
struct TableEntry {
    char bytes[3];
    unsigned char length;
};

namespace {

using ByteTable = std::array<TableEntry, 256>;

char32_t iconvByte(iconv_t cd, unsigned char byte) {
    char in = static_cast<char>(byte);
    char32_t out = 0;
    char* ip = &in;
    char* op = reinterpret_cast<char*>(&out);
    std::size_t il = 1, ol = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) return 0xFFFD;
    // windows-1255 and windows-1258 hold a letter back in case a combining mark follows it.
    if (iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<std::size_t>(-1) || ol != 0) return 0xFFFD;
    return out;
}

void makeTable(unsigned char id, ByteTable& table) {
    const EncodingRow& row = kEncodings[id];
    iconv_t cd = row.charset ? iconv_open("UTF-32LE", row.charset) : reinterpret_cast<iconv_t>(-1);
    const bool windows = row.name.starts_with("windows-");
    for (TableEntry& e : table) {
        const int b = static_cast<int>(&e - table.data());
        char32_t c = static_cast<char32_t>(b);
        if (!row.charset) {
            if (b >= 0x80) c = 0xF780 + static_cast<char32_t>(b) - 0x80;  // x-user-defined
        } else if (b >= 0x80) {
            c = cd == reinterpret_cast<iconv_t>(-1) ? 0xFFFD : iconvByte(cd, static_cast<unsigned char>(b));
            if (c == 0xFFFD && windows && b <= 0x9F) c = static_cast<char32_t>(b);
        }
        for (const ByteOverride& o : kByteOverrides)
            if (o.encoding == id && o.byte == b) c = o.to;
        e.length = static_cast<unsigned char>(utf8Length(c));
        putUtf8(c, e.bytes);
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
}

// Made once for each encoding on first use, by whichever thread comes first.
const TableEntry* tableOf(unsigned char id) {
    static std::array<ByteTable, kEncodingCount> tables;
    static std::array<std::once_flag, kEncodingCount> made;
    std::call_once(made[id], [id] { makeTable(id, tables[id]); });
    return tables[id].data();
}

}  // namespace

std::optional<Encoding> Encoding::forLabel(std::string_view label) {
    while (!label.empty() && isAsciiWhitespace(label.front())) label.remove_prefix(1);
    while (!label.empty() && isAsciiWhitespace(label.back())) label.remove_suffix(1);
    std::string lower = lowerCased(label);
    const auto* found = std::lower_bound(std::begin(kLabels), std::end(kLabels), lower,
                                         [](const LabelRow& row, const std::string& key) { return row.label < key; });
    if (found == std::end(kLabels) || found->label != lower) return std::nullopt;
    return Encoding(kLabelIds[static_cast<std::size_t>(found - std::begin(kLabels))]);
}

std::string_view Encoding::name() const { return kEncodings[id_].name; }

TextDecoder::~TextDecoder() { closeIconv(); }

void TextDecoder::closeIconv() {
    if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
    iconv_ = nullptr;
}

void TextDecoder::reset(Encoding encoding) {
    encoding_ = encoding;
    held_.clear();
    replaced_ = false;
    const EncodingRow& row = kEncodings[encoding.id_];
    kind_ = static_cast<Kind>(row.kind);
    if (kind_ == Kind::Table) table_ = tableOf(encoding.id_);
    if (kind_ != Kind::Iconv) return;
    if (iconv_ && iconvFor_ == encoding) {
        iconv(static_cast<iconv_t>(iconv_), nullptr, nullptr, nullptr, nullptr);
        return;
    }
    closeIconv();
    iconv_t cd = iconv_open("UTF-8", row.charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // A C library without the charset: its text is as unreadable as the replacement encoding's.
        kind_ = Kind::Replacement;
        return;
    }
    iconv_ = cd;
    iconvFor_ = encoding;
}

void TextDecoder::feed(std::string_view piece, std::string& out) {
    switch (kind_) {
        case Kind::Same: out.append(piece); return;
        case Kind::Replacement:
            if (!piece.empty() && !replaced_) out.append(kReplacementCharacter);
            replaced_ = replaced_ || !piece.empty();
            return;
        case Kind::Table: {
            // Room for the longest result, written directly, then cut to what was written.
            const std::size_t start = out.size();
            out.resize(start + 3 * piece.size() + 1);
            char* to = out.data() + start;
            for (const char* p = piece.data(), *end = p + piece.size(); p != end; ++p) {
                const auto byte = static_cast<unsigned char>(*p);
                if (byte < 0x80) {
                    *to++ = *p;
                    continue;
                }
                const TableEntry& e = table_[byte];
                std::memcpy(to, e.bytes, 3);
                to += e.length;
            }
            out.resize(static_cast<std::size_t>(to - out.data()));
            return;
        }
        case Kind::Iconv: break;
    }
    // A character cut off at the end of the last piece takes this piece's bytes a few at a time,
    // until it is decided; the rest of the piece then goes the quick way.
    while (!held_.empty() && !piece.empty()) {
        const std::size_t take = std::min<std::size_t>(piece.size(), 8);
        joined_.assign(held_).append(piece.substr(0, take));
        const std::size_t used = convertSome(joined_.data(), joined_.size(), false, out);
        if (used >= held_.size()) {
            piece.remove_prefix(used - held_.size());
            held_.clear();
        } else {
            held_.assign(joined_, used);
            piece.remove_prefix(take);
        }
    }
    if (piece.empty()) return;
    const std::size_t used = convertSome(piece.data(), piece.size(), false, out);
    held_.assign(piece.substr(used));
}

void TextDecoder::finish(std::string& out) {
    replaced_ = false;
    if (kind_ != Kind::Iconv) return;
    convertSome(held_.data(), held_.size(), true, out);
    held_.clear();
    iconv(static_cast<iconv_t>(iconv_), nullptr, nullptr, nullptr, nullptr);
}

namespace {
// eucJP-ms reads the lone bytes 0x80-0x8D and 0x90-0x9F as the C1 controls, which it gives for
// nothing else; the standard has errors there.
void replaceC1(std::string& out, std::size_t from) {
    const std::size_t first = out.find('\xC2', from);
    if (first == std::string::npos) return;
    // In one pass from the first: a page of such bytes must not move the rest once for each.
    std::string rest;
    rest.reserve(out.size() - first + 16);
    for (std::size_t i = first; i < out.size(); ++i) {
        if (out[i] == '\xC2' && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) <= 0x9F) {
            rest += kReplacementCharacter;
            ++i;
        } else {
            rest += out[i];
        }
    }
    out.resize(first);
    out += rest;
}

// eucJP-ms gives its user-defined rows 85-94 (0xF5A1-0xFEFE) as private use from U+E000 on, in
// order, and those after 0x8F from U+E3AC on. The standard has IBM's kanji in rows 89-92 and
// errors elsewhere; its kanji are those of Shift_JIS at the same place in the index, which
// CP932 reads as the standard does.
constexpr char32_t kUserDefined = 0xE000, kUserDefinedEnd = 0xE758;
constexpr int kFirstIbmRow = 0xF9 - 0xF5, kIbmRows = 4;

const std::array<char32_t, kIbmRows * 94>& ibmKanji() {
    static const auto kanji = [] {
        std::array<char32_t, kIbmRows * 94> t{};
        iconv_t cd = iconv_open("UTF-32LE", "CP932");
        for (std::size_t k = 0; k < t.size(); ++k) {
            const std::size_t pointer = (0xF9 - 0xA1) * 94 + k;
            const std::size_t lead = pointer / 188, trail = pointer % 188;
            char in[2] = {static_cast<char>(lead + (lead < 0x1F ? 0x81 : 0xC1)),
                          static_cast<char>(trail + (trail < 0x3F ? 0x40 : 0x41))};
            char32_t c = 0xFFFD;
            char* ip = in;
            char* op = reinterpret_cast<char*>(&c);
            std::size_t il = 2, ol = sizeof c;
            if (cd == reinterpret_cast<iconv_t>(-1) || iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) c = 0xFFFD;
            t[k] = c;
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
        return t;
    }();
    return kanji;
}

void replaceUserDefined(std::string& out, std::size_t from) {
    for (std::size_t i = out.find('\xEE', from); i != std::string::npos && i + 2 < out.size(); i = out.find('\xEE', i + 1)) {
        const char32_t c = 0xE000 | (static_cast<char32_t>(out[i + 1] & 0x3F) << 6) | static_cast<char32_t>(out[i + 2] & 0x3F);
        if (c >= kUserDefinedEnd) continue;
        const std::size_t k = c - kUserDefined;
        const char32_t to = k / 94 >= kFirstIbmRow && k / 94 < kFirstIbmRow + kIbmRows ? ibmKanji()[k - kFirstIbmRow * 94] : 0xFFFD;
        char bytes[4];
        putUtf8(to, bytes);
        out.replace(i, 3, bytes, static_cast<std::size_t>(utf8Length(to)));
    }
}
}  // namespace

constexpr std::size_t kStep = 1 << 8;

// Converts in[0, n) to out; returns how much of it was used, which is all of it unless the end
// cuts a character short and the text is not final.
std::size_t TextDecoder::convertSome(const char* in, std::size_t n, bool final, std::string& out) {
    iconv_t cd = static_cast<iconv_t>(iconv_);
    std::size_t at = 0;
    while (at < n) {
        // Text without a byte past ASCII needs no converter (nor does it change one's state, in
        // the encodings whose ASCII bytes are ASCII).
        if (encoding_.id_ != kIso2022Jp) {
            const auto* p = reinterpret_cast<const unsigned char*>(in + at);
            const auto* end = reinterpret_cast<const unsigned char*>(in + n);
            const auto* high = std::find_if(p, end, [](unsigned char b) { return b >= 0x80; });
            out.append(in + at, static_cast<std::size_t>(high - p));
            at += static_cast<std::size_t>(high - p);
            if (at == n) break;
        }
        // A step at a time: after each error the converter starts again, and what a step costs
        // must not grow with the text left (a page of bytes in the wrong encoding is all errors).
        std::size_t upTo = std::min(n, at + kStep);
        // In Big5, iconv reads up to the first pair whose reading it does not share.
        if (encoding_.id_ == kBig5) {
            char32_t to = 0;
            std::size_t length = 0;
            if ((upTo = firstBig5Override(in, at, upTo, &to, &length)) == at) {
                appendUtf8(to, out);
                at += length;
                continue;
            }
        }
        // Two bytes of UTF-8 for each byte read, and more: enough for most texts at once.
        char converted[2 * kStep + 16];
        char* ip = const_cast<char*>(in + at);
        char* op = converted;
        std::size_t il = upTo - at, ol = sizeof converted;
        const std::size_t result = iconv(cd, &ip, &il, &op, &ol);
        const int error = errno;
        const std::size_t start = out.size();
        out.append(converted, static_cast<std::size_t>(op - converted));
        const std::size_t before = at;
        at = static_cast<std::size_t>(ip - in);
        if (encoding_.id_ == kEucJp) {
            replaceC1(out, start);
            replaceUserDefined(out, start);
        }
        if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
        // A character that the step's end cut is read whole by the next step.
        if (error == EINVAL && upTo < n && at > before) continue;
        // iconv takes any bytes as many as a character's first ones for a character cut short;
        // whether they are is errorLength's to say (ISO-2022-JP's state is iconv's alone).
        if (error == EINVAL && !final) return at;
        if (error == EINVAL && encoding_.id_ == kIso2022Jp) {
            out.append(kReplacementCharacter);  // the character begun at the end
            break;
        }
        // The byte at in[at] starts no character: U+FFFD, or what the standard makes of it alone.
        char32_t c = 0xFFFD;
        for (const ByteOverride& o : kByteOverrides)
            if (o.encoding == encoding_.id_ && o.byte == static_cast<unsigned char>(in[at])) c = o.to;
        if (c == 0xFFFD) {
            const std::size_t length = errorLength(encoding_.id_, reinterpret_cast<const unsigned char*>(in + at), n - at);
            if (length == 0 && !final) return at;
            // At the end, what is left begins a character cut short: one U+FFFD for it all.
            at += length == 0 ? n - at - 1 : length - 1;
        }
        appendUtf8(c, out);
        ++at;
    }
    return n;
}

}  // namespace tagsift
