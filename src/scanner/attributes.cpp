// The attribute reader of the scanner.
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/fatal.h"
#include "base/text.h"
#include "scanner/scanner.h"

namespace tagsift {

void Scanner::readQuotedValue(Attribute& attribute) {
    int quote = getChar();
    attribute.valueStore.clear();
    // No echo here: a quoted value never reaches an open region.
    if (!readQuotedInto(quote, attribute.valueStore, attribute.lineFeeds)) throw fatal::eofInTag();
    attribute.ownValue();
}

namespace {

// The first quote in [p, end) when no line feed comes before it, else nullptr.
const char* findQuoteOnLine(const char* p, const char* const end, char quote) {
#if defined(__SSE2__)
    const __m128i quotes = _mm_set1_epi8(quote);
    const __m128i lineFeeds = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto hits =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, quotes), _mm_cmpeq_epi8(v, lineFeeds))));
        if (hits) {
            const char* at = p + std::countr_zero(hits);
            return *at == quote ? at : nullptr;
        }
    }
#endif
    for (; p != end; ++p) {
        if (*p == quote) return p;
        if (*p == '\n') return nullptr;
    }
    return nullptr;
}

// The end of the word from p: the first word delimiter in [p, end), or end. Unquoted values run
// to a few dozen bytes: sixteen are looked at a time, every byte up to a blank, '=' or '>' as a
// candidate (the few controls among them that delimit nothing are passed over one by one).
const char* findWordEnd(const char* p, const char* const end) {
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i close = _mm_set1_epi8('>');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i low = _mm_cmpeq_epi8(_mm_max_epu8(v, blank), blank);
        auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(low, _mm_or_si128(_mm_cmpeq_epi8(v, equals), _mm_cmpeq_epi8(v, close)))));
        for (; hits; hits &= hits - 1)
            if (isWordDelimiter(p[std::countr_zero(hits)])) return p + std::countr_zero(hits);
    }
#endif
    while (p != end && !isWordDelimiter(*p)) ++p;
    return p;
}

// Blanks but the line feed, which ends a tag read in place; and every blank, for one whose line
// feeds are blanked.
struct Blanks {
    bool in[256] = {};
    constexpr explicit Blanks(bool lineFeed) {
        for (int c = 0; c < 256; ++c) in[c] = (c == ' ' || (c >= '\t' && c <= '\r')) && (lineFeed || c != '\n');
    }
};
template <bool kLineFeeds>
inline constexpr Blanks kBlanks{kLineFeeds};

// The attributes from p up to and including the tag's '>', read as readAttributes reads a tag on
// one line, as views of the bytes; false when a line feed (unless the tag may hold them: then
// they are blanked in place, and their places kept) or the end comes first. p moves past what
// was read. Inlined into each caller, as the quick way for the common tag needs.
template <bool kLineFeeds = false>
[[gnu::always_inline]] inline bool readAttributesFrom(const char*& p, const char* const end,
                                                      AttributeList& list) {
    // Each step stops short at a line feed or the end, where the tag is not one of these.
    auto skipSpace = [&] {
        while (p != end && kBlanks<kLineFeeds>.in[static_cast<unsigned char>(*p)]) ++p;
        return p != end && (kLineFeeds || *p != '\n');
    };
    auto word = [&](std::string_view& to) {
        const char* from = p;
        p = findWordEnd(p, end);
        if (p == end || (!kLineFeeds && *p == '\n')) return false;
        to = {from, static_cast<std::size_t>(p - from)};
        return true;
    };
    if (!skipSpace()) return false;
    while (*p != '>') {
        Attribute& a = list.add();
        if (!word(a.name) || !skipSpace()) return false;
        if (*p == '=') {
            ++p;
            if (!skipSpace()) return false;
            a.hasValue = true;
            if (*p == '"' || *p == '\'') {
                a.quote = *p++;
                const char* q = p;
                if constexpr (kLineFeeds) {
                    q = static_cast<const char*>(std::memchr(p, a.quote, static_cast<std::size_t>(end - p)));
                    if (!q) return false;
                    // The bytes are the caller's own: a line feed becomes a blank in place.
                    for (char* c = const_cast<char*>(p); c != q; ++c) {
                        if (*c != '\n') continue;
                        *c = ' ';
                        a.lineFeeds.push_back(static_cast<std::size_t>(c - p));
                    }
                } else {
                    // Values are a few dozen bytes: compared sixteen at a time, for the quote and
                    // a line feed at once.
                    q = findQuoteOnLine(p, end, a.quote);
                    if (!q) return false;
                }
                a.value = {p, static_cast<std::size_t>(q - p)};
                p = q + 1;
            } else if (!word(a.value)) {
                return false;
            }
        }
        if (!skipSpace()) return false;
    }
    ++p;
    return true;
}

}  // namespace

bool readAttributesOnLine(const char*& p, const char* end, AttributeList& list) {
    return readAttributesFrom(p, end, list);
}

// The common tag, on one line and whole in the unread rest of the block (nothing pushed back, no
// region echoing tags, the list empty), read straight from the block: the same steps as the
// character by character way below, which takes every other tag. False (and the list left
// empty, nothing read) when the tag is not such a tag.
bool Scanner::readAttributesInBlock(AttributeList& list) {
    const char* p = cursor_.at;
    if (!readAttributesFrom(p, cursor_.end, list)) {
        list.clear();
        return false;
    }
    // What was read holds no line feed: the column simply grows.
    cursor_.moveTo(p, 0, nullptr);
    return true;
}

void Scanner::skipTagReading(AttributeList& attributes) {
    if (echoingTags()) {
        echo('<');
        echo(name_);
    }
    // What skipTagRest reads and echoes, a byte at a time and kept (line feeds as they were, for
    // an address); rare enough to need no hurry.
    skipped_.clear();
    for (int quote = 0;;) {
        const long long line = cursor_.line;
        const int c = getChar();
        if (c == kEnd) break;
        if (echoingTags()) echo(c);
        skipped_.push_back(cursor_.line != line ? '\n' : static_cast<char>(c));
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    // The attributes view skipped_, which stays as it is until the next tag skipped this way.
    const char* p = skipped_.data();
    if (!readAttributesFrom<true>(p, p + skipped_.size(), attributes)) attributes.clear();
}

void Scanner::readAttributes(AttributeList& list) {
    if (echoingTags()) echo('<');
    if (pushed_ == kNone && !echoingTags() && cursor_.at != cursor_.end && list.empty()) {
        // A tag without attributes (a table cell) is common enough to be taken apart.
        if (*cursor_.at == '>') {
            ++cursor_.at;
            ++cursor_.column;
            return;
        }
        if (readAttributesInBlock(list)) return;
    }
    skipSpace();
    for (;;) {
        int c = getChar();
        if (c == '>') return;
        ungetChar(c);
        Attribute& a = list.add();
        readWord(a.nameStore);
        a.ownName();
        skipSpace();
        c = getChar();
        if (c == '=') {
            skipSpace();
            c = getChar();
            a.hasValue = true;
            ungetChar(c);
            if (c == '"' || c == '\'') {
                a.quote = static_cast<char>(c);
                readQuotedValue(a);
            } else {
                readWord(a.valueStore);
                a.ownValue();
            }
        } else {
            ungetChar(c);
        }
        skipSpace();
    }
}

}  // namespace tagsift
