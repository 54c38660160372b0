// Character references, decoded as Python's html.unescape decodes them.
#include <algorithm>
#include <array>
#include <cstdint>

#include "base/text.h"
#include "values/values.h"

namespace tagsift {

namespace {

#include "values/entities.inc"

// Where each field of kEntityText begins: field 2i is the name of entry i, field 2i + 1 its value.
constexpr auto kFieldStart = [] {
    std::array<std::uint16_t, 2 * kEntityCount + 1> start{};
    std::size_t n = 1;
    for (std::size_t i = 0; i + 1 < sizeof kEntityText; ++i)
        if (kEntityText[i] == ' ') start[n++] = static_cast<std::uint16_t>(i + 1);
    return start;
}();
static_assert(kFieldStart.back() == sizeof kEntityText - 1, "a blank after every field");

std::string_view field(std::size_t k) {
    return {kEntityText + kFieldStart[k], static_cast<std::size_t>(kFieldStart[k + 1] - kFieldStart[k] - 1)};
}

bool lookUp(std::string_view name, std::string_view& value) {
    std::size_t low = 0, high = kEntityCount;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        const int order = field(2 * mid).compare(name);
        if (order == 0) {
            value = field(2 * mid + 1);
            return true;
        }
        if (order < 0) low = mid + 1;
        else high = mid;
    }
    return false;
}

// What &#128; to &#159; stand for: the windows-1252 characters, as the standard has it.
constexpr char32_t kWindows1252[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
};

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return;
    }
    char bytes[4];
    int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    for (int i = n - 1; i > 0; --i, c >>= 6) bytes[i] = static_cast<char>(0x80 | (c & 0x3F));
    bytes[0] = static_cast<char>((0xF00 >> n) | c);
    out.append(bytes, static_cast<std::size_t>(n));
}

void appendNumbered(std::uint32_t value, std::string& out) {
    char32_t c = value;
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) c = 0xFFFD;
    else if (value >= 0x80 && value <= 0x9F) c = kWindows1252[value - 0x80];
    // html.unescape drops the controls and noncharacters that the standard calls errors.
    else if ((value < 0x20 && value != '\t' && value != '\n' && value != '\f' && value != '\r') ||
             value == 0x7F || (value >= 0xFDD0 && value <= 0xFDEF) || (value & 0xFFFE) == 0xFFFE)
        return;
    appendUtf8(c, out);
}

bool isAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (asciiLower(c) >= 'a' && asciiLower(c) <= 'z'); }

// Decodes the reference that begins with the '&' at s[0]; returns how many bytes it took, or 0
// when s ends before it is decided (unless final, where the end decides).
std::size_t decodeReference(std::string_view s, ReferencesIn where, bool final, std::string& out) {
    const std::size_t n = s.size();
    if (n > 1 && s[1] == '#') {
        std::size_t i = 2;
        const bool hex = i < n && (s[i] == 'x' || s[i] == 'X');
        if (hex) ++i;
        const std::size_t first = i;
        std::uint32_t value = 0;  // stops growing past U+10FFFF, which is all a longer number means
        for (; i < n; ++i) {
            const int digit = hex ? hexDigitValue(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
            if (digit < 0) break;
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit),
                                            0x110000);
        }
        if (i == n && !final) return 0;
        if (i == first) {
            out.push_back('&');
            return 1;
        }
        if (i < n && s[i] == ';') ++i;
        appendNumbered(value, out);
        return i;
    }
    // A name is up to 32 bytes that none of these end, and its ';' if one follows.
    constexpr std::string_view kNameEnds = "\t\n\f <&#;";
    std::size_t end = 1;
    while (end < n && end <= 32 && kNameEnds.find(s[end]) == std::string_view::npos) ++end;
    if (end == n && !final) return 0;
    if (end < n && s[end] == ';' && end > 1) ++end;
    const std::string_view name = s.substr(1, end - 1);
    std::string_view value;
    if (name.empty()) {
        out.push_back('&');
        return 1;
    }
    if (lookUp(name, value)) {
        out.append(value);
        return end;
    }
    // Else the longest legacy name (one without ';') that the name begins with.
    for (std::size_t length = name.size() - 1; length >= 2; --length) {
        if (!lookUp(name.substr(0, length), value)) continue;
        const char next = name[length];
        if (where == ReferencesIn::Attribute && (isAsciiAlnum(next) || next == '=')) break;
        out.append(value);
        out.append(name.substr(length));
        return end;
    }
    out.push_back('&');
    out.append(name);
    return end;
}

// Decodes what can be decided of in; returns how much of it that was. Unless final, it stops at
// a reference that the bytes after in may still go on with.
std::size_t decodeSome(std::string_view in, ReferencesIn where, bool final, std::string& out) {
    for (std::size_t at = 0;;) {
        const std::size_t amp = in.find('&', at);
        if (amp == std::string_view::npos) {
            out.append(in.substr(at));
            return in.size();
        }
        out.append(in.substr(at, amp - at));
        const std::size_t used = decodeReference(in.substr(amp), where, final, out);
        if (used == 0) return amp;
        at = amp + used;
    }
}

// A held numeric reference keeps only what decides its value, so that a long run of digits
// cannot pile up: its leading zeros go, and eight digits are past U+10FFFF in either base.
void shortenDigits(std::string& held) {
    if (held.size() < 16 || held[1] != '#') return;
    const std::size_t first = held[2] == 'x' || held[2] == 'X' ? 3 : 2;
    const std::size_t significant = held.find_first_not_of('0', first);
    if (significant == std::string::npos) held.resize(first + 1);
    else held.erase(first, significant - first);
    if (held.size() - first > 8) held.replace(first, std::string::npos, "99999999");
}

}  // namespace

void appendDecoded(std::string_view text, ReferencesIn where, std::string& out) {
    decodeSome(text, where, true, out);
}

void StreamingDecoder::feed(std::string_view piece, std::string& out) {
    // A held reference takes the piece's bytes a few at a time until it is decided; the rest of
    // the piece then goes the quick way.
    while (!held_.empty() && !piece.empty()) {
        const std::size_t take = std::min<std::size_t>(piece.size(), 64);
        held_.append(piece.substr(0, take));
        piece.remove_prefix(take);
        held_.erase(0, decodeSome(held_, ReferencesIn::Text, false, out));
        shortenDigits(held_);
    }
    if (piece.empty()) return;
    const std::size_t used = decodeSome(piece, ReferencesIn::Text, false, out);
    held_.assign(piece.substr(used));
    shortenDigits(held_);
}

void StreamingDecoder::finish(std::string& out) {
    decodeSome(held_, ReferencesIn::Text, true, out);
    held_.clear();
}

}  // namespace tagsift
