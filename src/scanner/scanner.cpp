#include "scanner/scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "driver/fatal.h"
#include "scanner/text.h"

namespace tagsift {

namespace {
bool isDelimiter(int c) { return c >= 0 && isWordDelimiter(static_cast<char>(c)); }
}  // namespace

// Computing the masks costs a few instructions a byte; the tags in a window
// are then found with bit arithmetic instead of a search per stretch.
#if defined(__x86_64__) && defined(__GNUC__)
#define TAGSIFT_AVX512 1
namespace {
// Most x86 servers of the last years have 64-byte compares that give a whole window's mask at
// once; the program still runs, the 16-byte way, where they are missing.
const bool kHasAvx512 = __builtin_cpu_supports("avx512bw");
bool wideCompares = kHasAvx512;

}  // namespace

__attribute__((target("avx512bw"))) void Scanner::Window::classifyWide(const char* from, const Candidates& wanted) {
    const __m512i v = _mm512_loadu_si512(from);
    open = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('<'));
    close = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('>'));
    doubleQuote = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('"'));
    singleQuote = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\''));
    lineFeed = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'));
    // Tab, line feed, form feed and carriage return: 9 to 13 but for 11.
    const std::uint64_t control = _mm512_cmple_epu8_mask(_mm512_sub_epi8(v, _mm512_set1_epi8(9)), _mm512_set1_epi8(4)) &
                                  ~_mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(11));
    delimiter = control | close | _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(' ')) |
                _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('='));
    candidate = open;
    if (!wanted.everyOpen && open) {
        const __m512i next = _mm512_loadu_si512(from + 1);
        std::uint64_t hit = _mm512_cmpeq_epi8_mask(next, _mm512_set1_epi8('!'));
        for (int j = 0; j < wanted.count; ++j)
            hit |= _mm512_cmpeq_epi8_mask(next, _mm512_set1_epi8(static_cast<char>(wanted.bytes[j])));
        candidate &= hit;
    }
}
#endif

void Scanner::setWideCompares(bool on) {
#if defined(TAGSIFT_AVX512)
    wideCompares = on && kHasAvx512;
#else
    (void)on;
#endif
}

void Scanner::Window::classify(const char* from, const char* end, const Candidates& wanted) {
    base = from;
#if defined(TAGSIFT_AVX512)
    if (wideCompares && end - from > 64) {
        classifyWide(from, wanted);
        return;
    }
#endif
    open = close = doubleQuote = singleQuote = lineFeed = delimiter = candidate = 0;
#if defined(__SSE2__)
    // The candidate test looks one byte ahead, so the last window of a block takes the plain way.
    if (end - from > 64) {
        auto bits = [](__m128i m, int shift) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << shift;
        };
        for (int k = 0; k < 64; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
            const __m128i lt = _mm_cmpeq_epi8(v, _mm_set1_epi8('<'));
            const __m128i gt = _mm_cmpeq_epi8(v, _mm_set1_epi8('>'));
            const __m128i lf = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
            // Tab, line feed, form feed and carriage return: 9 to 13 but for 11.
            const __m128i t = _mm_sub_epi8(v, _mm_set1_epi8(9));
            __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(4)), t);
            control = _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(11)), control);
            const __m128i blankOrEquals =
                _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('=')));
            const std::uint64_t opens = bits(lt, k);
            open |= opens;
            close |= bits(gt, k);
            doubleQuote |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), k);
            singleQuote |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('\'')), k);
            lineFeed |= bits(lf, k);
            delimiter |= bits(_mm_or_si128(_mm_or_si128(control, blankOrEquals), gt), k);
            if (wanted.everyOpen) {
                candidate |= opens;
            } else if (opens) {
                const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k + 1));
                __m128i hit = _mm_cmpeq_epi8(next, _mm_set1_epi8('!'));
                for (int j = 0; j < wanted.count; ++j)
                    hit = _mm_or_si128(hit, _mm_cmpeq_epi8(next, _mm_set1_epi8(static_cast<char>(wanted.bytes[j]))));
                candidate |= bits(_mm_and_si128(hit, lt), k);
            }
        }
        return;
    }
#endif
    const int n = static_cast<int>(std::min<std::ptrdiff_t>(end - from, 64));
    for (int i = 0; i < n; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const char c = from[i];
        if (c == '<') {
            open |= bit;
            bool may = wanted.everyOpen || from + i + 1 == end || from[i + 1] == '!';
            for (int j = 0; j < wanted.count && !may; ++j)
                may = static_cast<unsigned char>(from[i + 1]) == wanted.bytes[j];
            if (may) candidate |= bit;
        }
        if (c == '>') close |= bit;
        if (c == '"') doubleQuote |= bit;
        if (c == '\'') singleQuote |= bit;
        if (c == '\n') lineFeed |= bit;
        if (isWordDelimiter(c)) delimiter |= bit;
    }
}

namespace {

// Bits from..to-1 of a window (0 <= from <= to <= 64).
std::uint64_t bitRange(std::ptrdiff_t from, std::ptrdiff_t to) {
    const std::uint64_t below = to >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
    return from >= 64 ? 0 : below & ~((std::uint64_t{1} << from) - 1);
}

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

Scanner::Scanner(Input& input, Output& out, BodyCapture& body, std::function<void()> flushBody)
    : input_(input), out_(out), body_(body), flushBody_(std::move(flushBody)) {}

bool Scanner::refill() {
    if (!input_.refill()) {
        cur_ = end_ = nullptr;
        return false;
    }
    cur_ = input_.begin();
    end_ = input_.end();
    window_.base = nullptr;
    blockBegin_ = cur_;
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
        if (cur_ == end_ && !refill()) return kEnd;
        long long lines = 0;
        const char* lineStart = nullptr;
        const char* stop = findStop<Stops...>(cur_, end_, lines, lineStart);
        advance(stop, lines, lineStart);
        if (stop != end_) {
            ++columnCount;
            ++cur_;
            return static_cast<unsigned char>(*stop);
        }
    }
}

bool Scanner::readQuotedInto(int quote, std::string& value) {
    for (;;) {
        if (pushed_ != kNone || cur_ == end_) {
            int c = getChar();
            if (c == kEnd) return false;
            if (c == quote) return true;
            value.push_back(static_cast<char>(c));
            continue;
        }
        long long lines = 0;
        const char* lineStart = nullptr;
        const char* stop = quote == '"' ? findStop<'"'>(cur_, end_, lines, lineStart)
                                        : findStop<'\''>(cur_, end_, lines, lineStart);
        std::size_t from = value.size();
        value.append(cur_, stop);
        if (lines) std::replace(value.begin() + static_cast<std::ptrdiff_t>(from), value.end(), '\n', ' ');
        advance(stop, lines, lineStart);
        if (stop != end_) {
            ++columnCount;
            ++cur_;
            return true;
        }
    }
}

void Scanner::readWord(std::string& word) {
    word.clear();
    for (;;) {
        if (pushed_ == kNone && cur_ != end_) {
            // No line feed can be inside the stretch: it is a delimiter.
            const char* p = cur_;
            while (p != end_ && !isWordDelimiter(*p)) ++p;
            word.append(cur_, p);
            columnCount += p - cur_;
            cur_ = p;
            // Reading a delimiter and pushing it back would leave everything as it is, except for a
            // line feed, which is counted when read and comes back as a blank.
            if (p != end_ && *p != '\n') return;
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
        const char* p = cur_;
        long long lines = 0;
        const char* lineStart = nullptr;
        for (; p != end_ && isSpace(static_cast<unsigned char>(*p)); ++p)
            if (*p == '\n') {
                ++lines;
                lineStart = p + 1;
            }
        advance(p, lines, lineStart);
        if (p != end_) return;
    }
    int c = ' ';
    while (isSpace(c)) {
        c = getChar();
        if (c == kEnd) break;
        if (echoingTags()) echo(c);
    }
    ungetChar(c);
}

void Scanner::skipQuoted(int quote) {
    if (!echoingTags()) {
        if (quote == '"') skipTo<'"'>();
        else skipTo<'\''>();
        return;
    }
    int c = ' ';
    while (c != quote) {
        c = getChar();
        if (c == kEnd) return;
        if (echoingTags()) echo(c);
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
        if (c == '"' || c == '\'') skipQuoted(c);
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
    const bool echoing = body_.active && body_.echoComments;
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
            if (body_.active) echo(c);
            continue;
        }
        if (cur_ == end_ && !refill()) return false;
        long long lines = 0;
        const char* lineStart = nullptr;
        const char* stop = findStop<'<'>(cur_, end_, lines, lineStart);
        if (body_.active) out_.writeBlanked({cur_, static_cast<std::size_t>(stop - cur_)});
        advance(stop, lines, lineStart);
        if (stop != end_) {
            ++cur_;
            ++columnCount;
            return true;
        }
    }
}

void Scanner::passOverTagsOtherThan(std::span<const std::string> names) {
    filtering_ = true;
    for (const std::string& name : names) {
        wantedLengths_ |= std::uint64_t{1} << std::min<std::size_t>(name.size(), 63);
        if (name.empty()) continue;
        wantedFirst_[static_cast<unsigned char>(asciiLower(name[0]))] = true;
        wantedFirst_[static_cast<unsigned char>(asciiUpper(name[0]))] = true;
    }
    if (names.size() <= 8) wantedNames_.assign(names.begin(), names.end());
    // An empty name is wanted after any '<' that a delimiter follows: every open is a candidate then.
    candidates_.everyOpen = wantedLengths_ & 1;
    for (int b = 0; b < 256 && !candidates_.everyOpen; ++b) {
        if (!wantedFirst_[b]) continue;
        if (candidates_.count == static_cast<int>(std::size(candidates_.bytes))) candidates_.everyOpen = true;
        else candidates_.bytes[candidates_.count++] = static_cast<unsigned char>(b);
    }
}

inline bool Scanner::mayBeWanted(const char* name, std::size_t length) const {
    // The length and the first byte turn most names away at once; every name that starts with
    // '!' takes the ordinary way, which knows comments.
    const bool lengthOk = (wantedLengths_ >> std::min<std::size_t>(length, 63)) & 1;
    const bool firstOk = wantedFirst_[static_cast<unsigned char>(*name)] | (length == 0);
    if (*name == '!') return true;
    if (lengthOk & firstOk) {
        // A few names are compared whole: a near miss ("tr" for "td") costs the ordinary way more.
        if (wantedNames_.empty()) return true;
        for (const std::string& wanted : wantedNames_)
            if (equalsIgnoringCase({name, length}, wanted)) return true;
    }
    return body_.active && *name == '/' && closesRegion(name + 1, length - 1);
}

bool Scanner::closesRegion(const char* name, std::size_t length) const {
    return equalsIgnoringCase({name, length}, body_.endName);
}

bool Scanner::reachWantedTag(bool inText) {
    // A region that echoes tags needs each tag's pieces; one that does not only gets the text.
    if (!filtering_ || pushed_ != kNone || echoingTags()) return true;
    const bool echoText = body_.active;
    const char* const end = end_;
    // Windows lie on a 64-byte grid over the block, so that the ordinary way, taken between two
    // calls, never makes a stretch be classified twice. The last call's window is still good
    // while the block is the same (refill() forgets it) and the input has not left it.
    Window& w = window_;
    if (!w.base || cur_ < w.base || cur_ >= w.base + 64)
        w.classify(blockBegin_ + ((cur_ - blockBegin_) & ~std::ptrdiff_t{63}), end, candidates_);
    // The line feeds before counted have been added to lines; the last of them ends before lineStart.
    const char* counted = cur_;
    long long lines = 0;
    const char* lineStart = nullptr;
    auto countTo = [&](const char* at) {
        // A name found in a later window than its start leaves at behind counted; a name holds no line feed.
        if (at <= counted) return;
        if (std::uint64_t m = w.lineFeed & bitRange(counted - w.base, at - w.base)) {
            lines += std::popcount(m);
            lineStart = w.base + (64 - std::countl_zero(m));
        }
        counted = at;
    };
    // The first position at or after p whose bit is set in the masks that pick() chooses, or end.
    auto find = [&](const char* p, auto pick) {
        for (;;) {
            const std::ptrdiff_t offset = p - w.base;
            if (offset < 64)
                if (std::uint64_t m = pick(w) >> offset) return p + std::countr_zero(m);
            if (w.base + 64 >= end) return end;
            countTo(w.base + 64);
            w.classify(w.base + 64, end, candidates_);
            p = std::max(p, w.base);
        }
    };
    auto settle = [&](const char* at) {
        countTo(at);
        if (lines) {
            lineCount += lines;
            columnCount = at - lineStart;
        } else {
            columnCount += at - cur_;
        }
        cur_ = at;
    };
    // Where p stands: just after a '<', inside a tag past its name, or in text.
    enum class Step { Name, TagRest, Text };
    Step step = inText ? Step::Text : Step::Name;
    const char* p = cur_;
    bool pastName = false;  // with nothing to echo, the quick way takes a tag on after its name
    for (;;) {
        if (step == Step::Name) {
            const char* nameEnd = find(p, [](const Window& x) { return x.delimiter; });
            // A name that runs to the block's end, or ends at a line feed (which readWord pushes
            // back as a blank), takes the ordinary way, as does every name that may be wanted.
            if (nameEnd == end || *nameEnd == '\n' || mayBeWanted(p, static_cast<std::size_t>(nameEnd - p))) {
                settle(p);
                return true;
            }
            p = nameEnd;
            step = echoText ? Step::TagRest : Step::Text;
            pastName = !echoText;
        }
        // On to the tag's '>', over quoted values.
        for (const char* q = p; step == Step::TagRest;) {
            q = find(q, [](const Window& x) { return x.close | x.doubleQuote | x.singleQuote; });
            if (q == end) {
                settle(end);
                skipTagRestQuietly();
                return false;
            }
            const char quote = *q++;
            if (quote == '>') {
                p = q;
                step = Step::Text;
                break;
            }
            q = quote == '"' ? find(q, [](const Window& x) { return x.doubleQuote; })
                             : find(q, [](const Window& x) { return x.singleQuote; });
            if (q == end) {
                settle(end);
                if ((quote == '"' ? skipTo<'"'>() : skipTo<'\''>()) != kEnd) skipTagRestQuietly();
                return false;
            }
            ++q;
        }
        // p stands in text (or, with nothing to echo, past a tag's name); on to the next '<'.
        if (echoText) {
            const char* text = p;
            const char* q = find(p, [](const Window& x) { return x.open; });
            out_.writeBlanked({text, static_cast<std::size_t>(q - text)});
            if (q == end) {
                settle(end);
                return false;
            }
            p = q + 1;
            step = Step::Name;
            continue;
        }
        // With nothing to echo, a stretch without quotes is passed over whole: its tags are known
        // from the opens and closes alone, since the state after either is its kind (in a tag
        // after '<', in text after '>'). Only a tag that may be wanted, or has a quote or a line
        // feed in its name, or a quote after it, needs the steps above.
        int i = static_cast<int>(p - w.base);
        bool inTag = pastName;  // at w.base + i
        pastName = false;
        char openQuote = 0;  // inside a quoted value of a tag, which may run over many windows
        for (;;) {
            if (i == 64) {
                if (w.base + 64 >= end) {
                    settle(end);
                    if (openQuote && (openQuote == '"' ? skipTo<'"'>() : skipTo<'\''>()) == kEnd) return false;
                    if (inTag) skipTagRestQuietly();
                    return false;
                }
                countTo(w.base + 64);
                w.classify(w.base + 64, end, candidates_);
                i = 0;
            }
            if (openQuote) {
                const std::uint64_t close = (openQuote == '"' ? w.doubleQuote : w.singleQuote) & bitRange(i, 64);
                if (!close) {
                    i = 64;
                    continue;
                }
                i = std::countr_zero(close) + 1;
                openQuote = 0;
                continue;
            }
            const std::uint64_t rest = bitRange(i, 64);
            if (!(w.singleQuote & rest) || !(w.doubleQuote & rest)) {
                // The rest of the window at once, on the guess that each quote (all of one kind)
                // opens or closes a value of a tag; checked below, the stretch-by-stretch way
                // otherwise.
                const bool doubleQuotes = w.doubleQuote & rest;
                const std::uint64_t quotes = (doubleQuotes ? w.doubleQuote : w.singleQuote) & rest;
                std::uint64_t quoted = quotes;  // from an opening quote to before its closing one
                for (int k = 1; k < 64; k <<= 1) quoted ^= quoted << k;
                const std::uint64_t opens = w.open & rest & ~quoted;
                const std::uint64_t closes = w.close & rest & ~quoted;
                // In a tag from each '<' after a '>' to before the next '>': a carry runs from the
                // first '<' through the bytes that are not '>', and the later ones are added back.
                const std::uint64_t entry = std::uint64_t{inTag} << i;
                const std::uint64_t starts = opens | (entry & ~closes);
                const std::uint64_t notClose = ~closes;
                const std::uint64_t tag = (notClose & ~(notClose + starts)) | starts;
                const std::uint64_t tagBefore = ((tag << 1) & bitRange(i + 1, 64)) | entry;
                const std::uint64_t openingQuotes = quotes & quoted;
                const std::uint64_t tagStarts = opens & ~tagBefore;
                // Each name, from after its '<' to before the first delimiter: one carry a name,
                // since a '>' lies between two tag starts.
                const std::uint64_t notDelimiter = ~w.delimiter;
                const std::uint64_t nameFirst = (tagStarts << 1) & notDelimiter;
                const std::uint64_t carried = notDelimiter + nameFirst;
                const std::uint64_t names = notDelimiter & ~carried;
                const std::uint64_t nameEnds = (carried & w.delimiter) | ((tagStarts << 1) & w.delimiter);
                // Every opening quote inside a tag, past its name, and no name at a line feed
                // (where the ordinary steps look at it).
                if (!(openingQuotes & ~tagBefore) && !(openingQuotes & names) && !(nameEnds & w.lineFeed)) {
                    if (const std::uint64_t wanted = w.candidate & rest & ~quoted & ~tagBefore) {
                        p = w.base + std::countr_zero(wanted) + 1;
                        step = Step::Name;
                        break;
                    }
                    if ((names | tagStarts) >> 63) {
                        // The last tag's name runs on into the next window: passed over here when
                        // it ends there, at a delimiter other than a line feed (a quote before it
                        // belongs to the name); else the ordinary steps take the tag.
                        Window next;
                        int nameEnd = 64;
                        if (w.base + 64 < end) {
                            next.classify(w.base + 64, end, candidates_);
                            if (next.delimiter) nameEnd = std::countr_zero(next.delimiter);
                        }
                        if (nameEnd == 64 || ((next.lineFeed >> nameEnd) & 1)) {
                            p = w.base + (63 - std::countl_zero(tagStarts)) + 1;
                            step = Step::Name;
                            break;
                        }
                        countTo(w.base + 64);
                        w = next;
                        i = nameEnd;
                        inTag = true;
                        continue;
                    }
                    inTag = tag >> 63;
                    openQuote = quoted >> 63 ? (doubleQuotes ? '"' : '\'') : 0;
                    i = 64;
                    continue;
                }
            }
            const std::uint64_t quotes = (w.doubleQuote | w.singleQuote) & rest;
            const int stop = quotes ? std::countr_zero(quotes) : 64;
            const std::uint64_t region = bitRange(i, stop);
            const std::uint64_t events = (w.open | w.close) & region;
            auto lastIsClose = [&](std::uint64_t e) { return (w.close >> (63 - std::countl_zero(e))) & 1; };
            // The '<' of the tag whose name is still open just before z, or -1.
            auto nameOpenBefore = [&](int z) {
                const std::uint64_t before = region & bitRange(0, z);
                const std::uint64_t closes = w.close & before;
                const std::uint64_t opens =
                    closes ? w.open & before & ~bitRange(0, 64 - std::countl_zero(closes))
                           : (inTag ? 0 : w.open & before);
                if (!opens) return -1;
                const int y = std::countr_zero(opens);
                return w.delimiter & before & ~bitRange(0, y + 1) ? -1 : y;
            };
            int resume = -1;  // a '<' whose tag takes the steps above
            int candidate = stop;
            for (std::uint64_t k = w.candidate & region; k; k &= k - 1) {
                const int x = std::countr_zero(k);
                const std::uint64_t e = events & bitRange(0, x);
                if (e ? lastIsClose(e) : !inTag) {
                    candidate = x;
                    break;
                }
            }
            for (std::uint64_t f = w.lineFeed & region & bitRange(0, candidate); f && resume < 0; f &= f - 1)
                resume = nameOpenBefore(std::countr_zero(f));
            if (resume < 0 && candidate < stop) resume = candidate;
            if (resume < 0) resume = nameOpenBefore(stop);
            if (resume >= 0) {
                p = w.base + resume + 1;
                step = Step::Name;
                break;
            }
            if (events) inTag = !lastIsClose(events);
            if (stop == 64) {
                i = 64;
                continue;
            }
            if (inTag) {
                // The quote opens a value of a tag whose name has ended.
                openQuote = (w.doubleQuote >> stop) & 1 ? '"' : '\'';
                i = stop + 1;
                continue;
            }
            i = stop + 1;  // a quote in text
        }
    }
}

bool Scanner::nextTag() {
    for (;;) {
        if (filtering_ && pushed_ == kNone && !body_.active) {
            // Nothing to echo: the shortcut can look for the next '<' itself.
            if (cur_ == end_ && !refill()) return false;
            if (!reachWantedTag(true)) continue;
        } else {
            if (!scanToTag()) return false;
            if (!reachWantedTag()) continue;
        }
        tagColumn = columnCount;
        tagLine = lineCount;
        readWord(tagName);
        if (tagName.size() == 3 && tagName[0] == '!' && tagName[1] == '-' && tagName[2] == '-') {
            if (body_.active && body_.echoComments) out_.write("<!--");
            skipComment();
            continue;
        }
        // With no region open, flushBody would do nothing and the tag is returned all the same.
        if (body_.active && !tagName.empty() && tagName[0] == '/' &&
            equalsIgnoringCase(std::string_view(tagName).substr(1), body_.endName)) {
            flushBody_();
            return true;
        }
        if (echoingTags()) echo('<');
        return true;
    }
}

}  // namespace tagsift
