#include "scanner/scanner.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/fatal.h"
#include "base/text.h"

namespace tagsift {

namespace {

bool isDelimiter(int c) { return c >= 0 && isWordDelimiter(static_cast<char>(c)); }

// The first byte of [p, end) that is one of Stops, or end. The line feeds
// before it are added to lines, and lineStart is left just after the last of
// them. Most stretches between two stops are a few dozen bytes long, so
// sixteen bytes are tested at a time for both the stops and line feeds, which
// saves a second pass (or a call) for the line count.
template <char... Stops>
const char* findStop(const char* p, const char* end, long long& lines, const char*& lineStart) {
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hit = _mm_setzero_si128();
        ((hit = _mm_or_si128(hit, _mm_cmpeq_epi8(v, _mm_set1_epi8(Stops)))), ...);
        auto stops = static_cast<unsigned>(_mm_movemask_epi8(hit));
        auto feeds = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lineFeed)));
        if (stops) feeds &= (1u << std::countr_zero(stops)) - 1;
        if (feeds) {
            lines += std::popcount(feeds);
            lineStart = p + (32 - std::countl_zero(feeds));
        }
        if (stops) return p + std::countr_zero(stops);
    }
#endif
    for (; p != end; ++p) {
        const char c = *p;
        if (((c == Stops) || ...)) return p;
        if (c == '\n') {
            ++lines;
            lineStart = p + 1;
        }
    }
    return end;
}

}  // namespace

Scanner::Scanner(Input& input, Output& out) : input_(input), out_(out) {}

void Scanner::openRegion(std::string_view endName, bool echoTags, bool echoComments, EchoFilter* filter) {
    region_.open = true;
    region_.echoTags = echoTags;
    region_.echoComments = echoComments;
    region_.filter = filter;
    region_.endName = endName;
}

bool Scanner::refill() {
    // The block may be filled again once the next is taken: a name that views it is kept.
    if (nameInBlock_) {
        tagName_.assign(name_);
        name_ = tagName_;
        nameInBlock_ = false;
    }
    if (!input_.refill()) {
        cursor_.at = cursor_.end = nullptr;
        return false;
    }
    cursor_.at = cursor_.blockBegin = input_.begin();
    cursor_.end = input_.end();
    passOver_.forgetWindow();
    return true;
}

template <char... Stops>
int Scanner::skipTo() {
    if (pushed_ != kNone) {
        // A pushed-back character is never a line feed: those come back as blanks.
        int c = getChar();
        if (c == kEnd || ((c == static_cast<unsigned char>(Stops)) || ...)) return c;
    }
    for (;;) {
        if (cursor_.at == cursor_.end && !refill()) return kEnd;
        long long lines = 0;
        const char* lineStart = nullptr;
        const char* stop = findStop<Stops...>(cursor_.at, cursor_.end, lines, lineStart);
        cursor_.moveTo(stop, lines, lineStart);
        if (stop != cursor_.end) {
            ++cursor_.column;
            ++cursor_.at;
            return static_cast<unsigned char>(*stop);
        }
    }
}

bool Scanner::readQuotedInto(int quote, std::string& value, std::vector<std::size_t>& lineFeeds) {
    for (;;) {
        if (pushed_ != kNone || cursor_.at == cursor_.end) {
            const long long line = cursor_.line;
            int c = getChar();
            if (c == kEnd) return false;
            if (c == quote) return true;
            if (cursor_.line != line) lineFeeds.push_back(value.size());
            value.push_back(static_cast<char>(c));
            continue;
        }
        long long lines = 0;
        const char* lineStart = nullptr;
        const char* stop = quote == '"' ? findStop<'"'>(cursor_.at, cursor_.end, lines, lineStart)
                                        : findStop<'\''>(cursor_.at, cursor_.end, lines, lineStart);
        std::size_t from = value.size();
        value.append(cursor_.at, stop);
        for (std::size_t i = from; lines && i < value.size(); ++i) {
            if (value[i] != '\n') continue;
            value[i] = ' ';
            lineFeeds.push_back(i);
        }
        cursor_.moveTo(stop, lines, lineStart);
        if (stop != cursor_.end) {
            ++cursor_.column;
            ++cursor_.at;
            return true;
        }
    }
}

void Scanner::readWord(std::string& word) {
    word.clear();
    for (;;) {
        if (pushed_ == kNone && cursor_.at != cursor_.end) {
            // No line feed can be inside the stretch: it is a delimiter.
            const char* p = cursor_.at;
            while (p != cursor_.end && !isWordDelimiter(*p)) ++p;
            word.append(cursor_.at, p);
            cursor_.moveTo(p, 0, nullptr);
            // Reading a delimiter and pushing it back would leave everything as it is, except for a
            // line feed, which is counted when read and comes back as a blank.
            if (p != cursor_.end && *p != '\n') return;
        }
        int c = getChar();
        if (c == kEnd) throw fatal::eofInTag();
        if (isDelimiter(c)) {
            ungetChar(c);
            return;
        }
        word.push_back(static_cast<char>(c));
    }
}

void Scanner::skipSpace() {
    if (pushed_ == kNone && !echoingTags()) {
        // Leaving the first other character unread counts the same as reading it and pushing it
        // back, which the plain way below does: it is never a line feed.
        const char* p = cursor_.at;
        long long lines = 0;
        const char* lineStart = nullptr;
        for (; p != cursor_.end && isSpace(static_cast<unsigned char>(*p)); ++p)
            if (*p == '\n') {
                ++lines;
                lineStart = p + 1;
            }
        cursor_.moveTo(p, lines, lineStart);
        if (p != cursor_.end) return;
    }
    int c = ' ';
    while (isSpace(c)) {
        c = getChar();
        if (c == kEnd) break;
        if (echoingTags()) echo(c);
    }
    ungetChar(c);
}

void Scanner::echoQuoted(int quote) {
    for (int c = ' '; c != quote;) {
        c = getChar();
        if (c == kEnd) return;
        echo(c);
    }
}

void Scanner::skipTagRest() {
    if (!echoingTags()) {
        skipTagRestQuietly();
        return;
    }
    int c = ' ';
    while (c != '>') {
        c = getChar();
        if (c == kEnd) return;
        echo(c);
        if (c == '"' || c == '\'') echoQuoted(c);
    }
}

void Scanner::skipTagRestQuietly() {
    for (;;) {
        int c = skipTo<'>', '"', '\''>();
        if (c == '>' || c == kEnd) return;
        if ((c == '"' ? skipTo<'"'>() : skipTo<'\''>()) == kEnd) return;
    }
}

void Scanner::skipComment() {
    const bool echoing = region_.open && region_.echoComments;
    auto next = [&] {
        int c = getChar();
        if (echoing && c != kEnd) echo(c);
        return c;
    };
    for (;;) {
        int c;
        do {
            c = next();
            if (c == kEnd) return;
        } while (c != '-');
        c = next();
        if (c == kEnd) return;
        if (c != '-') continue;
        do {
            c = next();
            if (c == kEnd) return;
        } while (c == '-');
        if (c == '>') return;
    }
}

bool Scanner::scanToTag() {
    for (;;) {
        if (pushed_ != kNone) {
            int c = getChar();
            if (c == kEnd) return false;
            if (c == '<') return true;
            if (region_.open) {
                // Text, unlike what echo() takes.
                const char byte = static_cast<char>(c);
                if (region_.filter) region_.filter->echo({&byte, 1});
                else out_.put(byte);
            }
            continue;
        }
        if (cursor_.at == cursor_.end && !refill()) return false;
        long long lines = 0;
        const char* lineStart = nullptr;
        const char* stop = findStop<'<'>(cursor_.at, cursor_.end, lines, lineStart);
        if (region_.open) {
            const std::string_view text{cursor_.at, static_cast<std::size_t>(stop - cursor_.at)};
            if (region_.filter) region_.filter->echo(text);
            else out_.writeBlanked(text);
        }
        cursor_.moveTo(stop, lines, lineStart);
        if (stop != cursor_.end) {
            ++cursor_.at;
            ++cursor_.column;
            return true;
        }
    }
}

bool Scanner::reachWantedTag(PassOver::From from, const char*& nameEnd) {
    if (!passOverMayRun()) return true;
    const PassOver::Stop stop = passOver_.pass(cursor_, region_.open ? &region_.endName : nullptr,
                                               region_.open ? &out_ : nullptr, from);
    if (stop.atWantedTag) {
        nameEnd = stop.nameEnd;
        return true;
    }
    if (stop.openQuote && (stop.openQuote == '"' ? skipTo<'"'>() : skipTo<'\''>()) == kEnd) return false;
    if (stop.inTag) skipTagRestQuietly();
    return false;
}

Scanner::Found Scanner::nextTag() {
    for (;;) {
        nameInBlock_ = false;  // the last name read (a tag's, a comment's) is no longer looked at
        const char* nameEnd = nullptr;  // where the pass-over saw the name end, if it did
        if (passOverMayRun()) {
            // The pass-over looks for the next '<' itself, and copies the text before it to an
            // open region.
            if (cursor_.at == cursor_.end && !refill()) return Found::End;
            const PassOver::From from = tagRestLeft_ ? PassOver::From::TagRest : PassOver::From::Text;
            tagRestLeft_ = false;
            if (!reachWantedTag(from, nameEnd)) continue;
        } else {
            if (tagRestLeft_) {
                tagRestLeft_ = false;
                skipTagRest();
            }
            if (!scanToTag()) return Found::End;
            if (region_.filter) region_.filter->breakText();
            if (!reachWantedTag(PassOver::From::Name, nameEnd)) continue;
        }
        tagColumn_ = cursor_.column;
        tagLine_ = cursor_.line;
        if (nameEnd) {
            // What readWord would read: the name holds no line feed and ends in the block.
            name_ = {cursor_.at, static_cast<std::size_t>(nameEnd - cursor_.at)};
            nameInBlock_ = true;
            cursor_.moveTo(nameEnd, 0, nullptr);
        } else {
            readWord(tagName_);
            name_ = tagName_;
        }
        if (name_.size() == 3 && name_[0] == '!' && name_[1] == '-' && name_[2] == '-') {
            if (region_.open && region_.echoComments) echo(std::string_view("<!--"));
            skipComment();
            continue;
        }
        if (region_.open && !name_.empty() && name_[0] == '/' && equalsIgnoringCase(name_.substr(1), region_.endName))
            return Found::RegionEnd;
        return Found::Tag;
    }
}

void Scanner::skipTag() {
    if (echoingTags()) {
        echo('<');
        echo(name_);
    } else if (passOverMayRun()) {
        // The pass-over that looks for the next tag passes over this one's rest too.
        tagRestLeft_ = true;
        return;
    }
    skipTagRest();
}

}  // namespace tagsift
