// Text escaped into the inside of a JSON string.
#include "values/values.h"

namespace tagsift {

namespace {

constexpr std::string_view kReplacement = "\\ufffd";

void appendAscii(unsigned char c, std::string& out) {
    switch (c) {
        case '"': out.append("\\\""); return;
        case '\\': out.append("\\\\"); return;
        case '\b': out.append("\\b"); return;
        case '\f': out.append("\\f"); return;
        case '\n': out.append("\\n"); return;
        case '\r': out.append("\\r"); return;
        case '\t': out.append("\\t"); return;
        default: break;
    }
    if (c >= 0x20) {
        out.push_back(static_cast<char>(c));
        return;
    }
    out.append("\\u00");
    out.push_back("0123456789abcdef"[c >> 4]);
    out.push_back("0123456789abcdef"[c & 15]);
}

// The length of the character a byte begins, as the decoder below reads leads: a byte that
// begins none (a continuation byte, C0, C1, F5 and up) is a character of its own.
int utf8Length(unsigned char lead) {
    return lead >= 0xF5 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
}

}  // namespace

template <typename Character, typename Stray>
void Utf8Reader::take(unsigned char b, Character&& character, Stray&& stray) {
    if (need_ > 0) {
        if (b >= lower_ && b <= upper_) {
            held_[have_++] = b;
            lower_ = 0x80;
            upper_ = 0xBF;
            if (--need_ > 0) return;
            character(std::string_view(reinterpret_cast<const char*>(held_), static_cast<std::size_t>(have_)));
            have_ = 0;
            return;
        }
        need_ = have_ = 0;
        lower_ = 0x80;
        upper_ = 0xBF;
        stray();
    }
    if (b < 0x80) return character(std::string_view(reinterpret_cast<const char*>(&b), 1));
    if (b >= 0xC2 && b <= 0xDF) need_ = 1;
    else if (b >= 0xE0 && b <= 0xEF) need_ = 2;
    else if (b >= 0xF0 && b <= 0xF4) need_ = 3;
    else return stray();
    // The bounds that keep out overlong forms, surrogates and values past U+10FFFF.
    if (b == 0xE0) lower_ = 0xA0;
    if (b == 0xED) upper_ = 0x9F;
    if (b == 0xF0) lower_ = 0x90;
    if (b == 0xF4) upper_ = 0x8F;
    held_[have_++] = b;
}

// Compiled into each caller's loop: as a call of its own it costs a few per cent of a JSON job.
template <typename Passes, typename Character, typename Stray>
[[gnu::always_inline]] inline void Utf8Reader::feed(std::string_view piece, std::string& out, Passes&& passes, Character&& character,
                      Stray&& stray) {
    for (std::size_t i = 0; i < piece.size();) {
        if (idle()) {
            const std::size_t from = i;
            while (i < piece.size() && passes(piece[i])) ++i;
            out.append(piece.substr(from, i - from));
            if (i == piece.size()) break;
        }
        take(static_cast<unsigned char>(piece[i++]), character, stray);
    }
}

template <typename Stray>
void Utf8Reader::finish(Stray&& stray) {
    if (need_ > 0) stray();
    need_ = have_ = 0;
    lower_ = 0x80;
    upper_ = 0xBF;
}

void JsonEscaper::feed(std::string_view piece, std::string& out) {
    auto character = [&](std::string_view c) {
        // Line and paragraph separators end JavaScript strings: escaped, the line can go in a script.
        if (c.size() == 1) appendAscii(static_cast<unsigned char>(c[0]), out);
        else if (c == "\xE2\x80\xA8") out.append("\\u2028");
        else if (c == "\xE2\x80\xA9") out.append("\\u2029");
        else out.append(c);
    };
    auto plain = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b < 0x80 && b != '"' && b != '\\';
    };
    reader_.feed(piece, out, plain, character, [&] { out.append(kReplacement); });
}

void JsonEscaper::finish(std::string& out) {
    reader_.finish([&] { out.append(kReplacement); });
}

void StrayMarker::feed(std::string_view piece, std::string& out) {
    reader_.feed(
        piece, out, [](char c) { return static_cast<unsigned char>(c) < 0x80; },
        [&](std::string_view whole) { out.append(whole); }, [&] { out.push_back('\xFF'); });
}

void StrayMarker::finish(std::string& out) {
    reader_.finish([&] { out.push_back('\xFF'); });
}

void appendJsonEscaped(std::string_view text, std::string& out) {
    JsonEscaper escaper;
    escaper.feed(text, out);
    escaper.finish(out);
}

std::size_t wholeCharacters(std::string_view text, std::size_t limit, bool json) {
    if (limit >= text.size()) return text.size();
    if (json) {
        // Escaped JSON is well-formed UTF-8 and whole escapes: step over them.
        std::size_t at = 0;
        for (;;) {
            const auto lead = static_cast<unsigned char>(text[at]);
            const auto length = static_cast<std::size_t>(lead == '\\' ? (text[at + 1] == 'u' ? 6 : 2) : utf8Length(lead));
            if (at + length > limit) return at;
            at += length;
        }
    }
    // Back over the continuation bytes to the character's first byte; cut before it if the
    // character runs past the limit. Stray bytes count as characters of their own.
    std::size_t start = limit;
    auto continues = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    while (start > 0 && limit - start < 3 && continues(start)) --start;
    const auto length = static_cast<std::size_t>(utf8Length(static_cast<unsigned char>(text[start])));
    return start < limit && start + length > limit ? start : limit;
}

}  // namespace tagsift
