// A body region that copies text only, read whole from a block at once: for a
// caller that reads a tag where the pass-over finds it and would rather print
// a short element (a table cell) there than stop the pass twice for it.
//
// The reading is the pass-over's with a region open: the text up to each '<'
// is copied with its line feeds as blanks, each tag's name is read up to a
// word delimiter and its rest skipped up to the '>' that no quoted value
// holds, and the region ends at the first tag named '/' and the region's name
// (ASCII case ignored). What the pass would hand to the ordinary way ends the
// reading instead, with nothing copied: the block's end, a name at a line
// feed, a comment or any name that starts with '!', and a name the caller
// wants (which might close the region, or print).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/text.h"
#include "io/output.h"

namespace tagsift {

namespace region {

// The first byte of [p, end) that is one of Bytes, or end: sixteen at a time where the processor
// compares so many at once, since a cell's tags and text run to a few dozen bytes.
template <char... Bytes>
[[gnu::always_inline]] inline const char* findFirst(const char* p, const char* end) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hit = _mm_setzero_si128();
        ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(Bytes)))), ...);
        if (const auto bits = static_cast<unsigned>(_mm_movemask_epi8(hit))) return p + __builtin_ctz(bits);
    }
#endif
    for (; p != end; ++p)
        if (((*p == Bytes) || ...)) return p;
    return end;
}

// The next '<' in [p, end), or end; lineFeed is set when a line feed comes before it.
[[gnu::always_inline]] inline const char* findOpen(const char* p, const char* end, bool& lineFeed) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const auto opens = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('<'))));
        const auto feeds = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
        if (opens) {
            lineFeed |= (feeds & ((opens & (0u - opens)) - 1)) != 0;
            return p + __builtin_ctz(opens);
        }
        lineFeed |= feeds != 0;
    }
#endif
    for (; p != end && *p != '<'; ++p) lineFeed |= *p == '\n';
    return p;
}

// A few bytes that begin a tag, ASCII letters in either case ("</td", "<td>"): up to eight are
// told by one compare of a word, more byte by byte.
class TagBytes {
public:
    TagBytes() = default;
    explicit TagBytes(std::string_view bytes) : text_(bytes) {
        if (bytes.size() > 8) return;
        // Built and read as bytes: the order of a word's bytes in memory does not matter.
        char pattern[8] = {}, fold[8] = {}, keep[8] = {};
        for (std::size_t i = 0; i != bytes.size(); ++i) {
            pattern[i] = asciiLower(bytes[i]);
            fold[i] = pattern[i] >= 'a' && pattern[i] <= 'z' ? 0x20 : 0;
            keep[i] = '\xff';
        }
        std::memcpy(&pattern_, pattern, 8);
        std::memcpy(&fold_, fold, 8);
        std::memcpy(&keep_, keep, 8);
        word_ = true;
    }
    std::size_t size() const { return text_.size(); }
    // Whether [p, end) begins with them.
    [[gnu::always_inline]] bool at(const char* p, const char* end) const {
        if (word_ && end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            return ((word | fold_) & keep_) == pattern_;
        }
        return static_cast<std::size_t>(end - p) >= text_.size() &&
               equalsIgnoringCase(std::string_view(p, text_.size()), text_);
    }

private:
    std::string text_;
    bool word_ = false;
    std::uint64_t pattern_ = 0, fold_ = 0, keep_ = 0;
};

// The '>' that ends the tag whose '<' is at open when no one wants it: its name ends in the
// block at a delimiter other than a line feed, does not start with '!' and is not wanted, and its
// rest runs to the first '>' outside quotes. Else null: the ordinary way reads the tag.
template <typename Wanted>
[[gnu::always_inline]] inline const char* droppedTagEnd(const char* open, const char* end, const Wanted& wanted) {
    const char* name = open + 1;
    const char* nameEnd = name;
    while (nameEnd != end && !isWordDelimiter(*nameEnd)) ++nameEnd;
    if (nameEnd == end || *nameEnd == '\n') return nullptr;
    const std::string_view tagName(name, static_cast<std::size_t>(nameEnd - name));
    if ((!tagName.empty() && tagName[0] == '!') || wanted(tagName)) return nullptr;
    const char* q = findFirst<'>', '"', '\''>(nameEnd, end);
    while (q != end && *q != '>') {
        const char* close = *q == '"' ? findFirst<'"'>(q + 1, end) : findFirst<'\''>(q + 1, end);
        if (close == end) return nullptr;
        q = findFirst<'>', '"', '\''>(close + 1, end);
    }
    return q == end ? nullptr : q;
}

// The tags and text from p to the region's end tag (endTag: '<', '/' and the region's name),
// each piece of text to copy(piece): the end tag's '<', or null. lineFeed is set when some piece
// holds a line feed.
template <typename Wanted, typename Copy>
[[gnu::always_inline]] inline const char* walk(const char* p, const char* end, const TagBytes& endTag,
                                               const Wanted& wanted, const Copy& copy, bool& lineFeed) {
    for (;;) {
        const char* open = findOpen(p, end, lineFeed);
        if (open == end) return nullptr;
        // The region's name is a tag's, which holds no delimiter: its end tag is told by its
        // first bytes and the delimiter after them, without a search for the end of the name.
        if (endTag.at(open, end) && static_cast<std::size_t>(end - open) > endTag.size() &&
            isWordDelimiter(open[endTag.size()])) {
            if (open[endTag.size()] == '\n') return nullptr;
            if (p != open) copy(std::string_view(p, static_cast<std::size_t>(open - p)));
            return open;
        }
        const char* close = droppedTagEnd(open, end, wanted);
        if (!close) return nullptr;
        if (p != open) copy(std::string_view(p, static_cast<std::size_t>(open - p)));
        p = close + 1;
    }
}

// From p, in text outside tags, past text and at most `tags` tags that no one wants
// (droppedTagEnd), as a pass would go: the '<' of the tag it stopped at, or where the text that
// runs to the block's end begins.
template <typename Wanted>
[[gnu::always_inline]] inline const char* passDropped(const char* p, const char* end, int tags, const Wanted& wanted) {
    for (;; --tags) {
        const char* open = findFirst<'<'>(p, end);
        if (open == end) return p;
        if (tags == 0) return open;
        const char* close = droppedTagEnd(open, end, wanted);
        if (!close) return open;
        p = close + 1;
    }
}

}  // namespace region

// One region read: where it ends, and its text, kept until it is copied.
class TextOnlyRegion {
public:
    // From p, just after the region's opening tag, to its end tag ("</" and the name of that
    // tag, region::TagBytes), in [p, end): the '<' of the end tag, or null. wanted(name) tells
    // the names the caller reads itself.
    template <typename Wanted>
    const char* read(const char* p, const char* end, const region::TagBytes& endTag, const Wanted& wanted) {
        from_ = p;
        blockEnd_ = end;
        count_ = 0;
        overflowed_ = false;
        lineFeed_ = false;
        return region::walk(
            p, end, endTag, wanted,
            [this](std::string_view piece) {
                if (count_ < kMost) pieces_[count_++] = piece;
                else overflowed_ = true;
            },
            lineFeed_);
    }
    // The text of the region read last (which found its end tag) to out, line feeds as blanks;
    // the arguments are those of read.
    template <typename Wanted>
    [[gnu::always_inline]] void copyTo(Output& out, const region::TagBytes& endTag, const Wanted& wanted) const {
        if (overflowed_) {
            // Read again, copying as it goes: the same way leads to the same end tag.
            bool lineFeed = false;
            region::walk(
                from_, blockEnd_, endTag, wanted, [&out](std::string_view piece) { out.writeBlanked(piece); },
                lineFeed);
            return;
        }
        // Most cells are on one line: their text goes as it is.
        for (int i = 0; i < count_; ++i)
            if (lineFeed_) out.writeBlanked(pieces_[i]);
            else out.writeFrom(pieces_[i], blockEnd_);
    }

private:
    // Most cells have a piece or a few.
    static constexpr int kMost = 8;
    std::string_view pieces_[kMost];
    int count_ = 0;
    bool overflowed_ = false;
    bool lineFeed_ = false;  // in some piece
    const char* from_ = nullptr;
    const char* blockEnd_ = nullptr;
};

}  // namespace tagsift
