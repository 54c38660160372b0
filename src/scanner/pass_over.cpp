#include "scanner/pass_over.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/text.h"
#include "scanner/widths/take.h"

namespace tagsift {

// Computing the masks costs a few instructions a byte; the tags in a window
// are then found with bit arithmetic instead of a search per stretch.
namespace {

using Width = PassOver::Width;

struct Widths {
    Width list[4] = {};
    int count = 0;
    void add(Width w) { list[count++] = w; }
};

#if defined(TAGSIFT_HAVE_AVX512) || defined(TAGSIFT_HAVE_AVX2)
// What the quiet walk of the AVX2 and AVX-512 widths uses besides (and every processor with AVX2 has).
bool hasBitInstructions() {
    return __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt") &&
           __builtin_cpu_supports("pclmul");
}
#endif

// The widths the build compiled (TAGSIFT_HAVE_*) that the processor has, the best first.
Widths detectWidths() {
    Widths w;
#if defined(TAGSIFT_HAVE_AVX512)
    if (__builtin_cpu_supports("avx512bw") && hasBitInstructions()) w.add(Width::Avx512);
#endif
#if defined(TAGSIFT_HAVE_AVX2)
    if (__builtin_cpu_supports("avx2") && hasBitInstructions()) w.add(Width::Avx2);
#endif
#if defined(TAGSIFT_HAVE_SSE2)
    w.add(Width::Sse2);
#endif
#if defined(TAGSIFT_HAVE_NEON)
    w.add(Width::Neon);
#endif
    w.add(Width::Scalar);
    return w;
}

// A width's classifier and quiet walk.
struct Kernel {
    window::Classifier classify;
    window::QuietWalk walkQuietly;
};

Kernel kernelOf(Width w) {
    switch (w) {
#if defined(TAGSIFT_HAVE_AVX512)
        case Width::Avx512: return {window::classifyAvx512, window::walkQuietlyAvx512};
#endif
#if defined(TAGSIFT_HAVE_AVX2)
        case Width::Avx2: return {window::classifyAvx2, window::walkQuietlyAvx2};
#endif
#if defined(TAGSIFT_HAVE_SSE2)
        case Width::Sse2: return {window::classifySse2, window::walkQuietlySse2};
#endif
#if defined(TAGSIFT_HAVE_NEON)
        case Width::Neon: return {window::classifyNeon, window::walkQuietlyNeon};
#endif
        default: return {window::classifyScalar, window::walkQuietlyScalar};
    }
}

const Widths kWidths = detectWidths();
// Read by every pass-over made; written only before any is made, or by the tests' hook.
Width chosenWidth = kWidths.list[0];

}  // namespace

std::span<const Width> PassOver::widths() { return {kWidths.list, static_cast<std::size_t>(kWidths.count)}; }

Width PassOver::width() { return chosenWidth; }

bool PassOver::forceWidthForTests(Width w) {
    const std::span<const Width> all = widths();
    if (std::find(all.begin(), all.end(), w) == all.end()) return false;
    chosenWidth = w;
    return true;
}

const char* PassOver::missingFeature() {
#if defined(TAGSIFT_ONE_WIDTH) && defined(TAGSIFT_HAVE_AVX512)
    if (!__builtin_cpu_supports("avx512bw") || !hasBitInstructions()) return "AVX-512 BW";
#elif defined(TAGSIFT_ONE_WIDTH) && defined(TAGSIFT_HAVE_AVX2)
    if (!__builtin_cpu_supports("avx2") || !hasBitInstructions()) return "AVX2";
#endif
    return nullptr;
}

PassOver::PassOver() {
    const Kernel kernel = kernelOf(chosenWidth);
    classifier_ = kernel.classify;
    walkQuietly_ = kernel.walkQuietly;
}

const char* PassOver::widthName(Width w) {
    switch (w) {
        case Width::Scalar: return "scalar";
        case Width::Sse2: return "sse2";
        case Width::Avx2: return "avx2";
        case Width::Avx512: return "avx512";
        case Width::Neon: return "neon";
    }
    return "?";
}

namespace {

// The block's last window: its bytes with zeros after them, and none of the masks past the
// block's end. An open at the very end may begin any name. Out of line, since it is rare and
// its copy would cost every window.
[[gnu::noinline]] void classifyLast(window::Masks& w, const char* from, std::size_t n,
                                    const PassOver::Candidates& wanted, window::Classifier classifier) {
    char padded[65] = {};
    std::memcpy(padded, from, n);
    classifier(&w, padded, 1, wanted);
    const std::uint64_t inBlock = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    w.open &= inBlock;
    w.close &= inBlock;
    w.doubleQuote &= inBlock;
    w.singleQuote &= inBlock;
    w.lineFeed &= inBlock;
    w.delimiter &= inBlock;
    w.candidate &= inBlock;
    if (n) w.candidate |= w.open & (std::uint64_t{1} << (n - 1));
}

}  // namespace

void PassOver::classifyFrom(const char* from, const char* end, int most) {
    windowsBase_ = from;
    // The classifier reads one byte past each window, for the byte after an open.
    int n = static_cast<int>(std::min<std::ptrdiff_t>(most, (end - from - 1) / 64));
    if (n > 0) classifier_(windows_, from, n, candidates_);
    if (n < most && from + 64 * n < end) {
        classifyLast(windows_[n], from + 64 * n, static_cast<std::size_t>(end - from - 64 * n), candidates_, classifier_);
        ++n;
    }
    windowCount_ = n;
}

void PassOver::want(std::span<const std::string> names, bool places, window::TagReader taker) {
    active_ = true;
    places_ = places;
    // The walk that reads tags counts no line: a taker leaves the places wrong.
    candidates_.reader = places ? window::TagReader{} : taker;
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
    for (int b = 0; b < 256; ++b) candidates_.follows[b] = wantedFirst_[b] || b == '!';
}

inline bool PassOver::mayBeWanted(const char* name, std::size_t length, const std::string_view* regionEnd) const {
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
    return regionEnd && *name == '/' && equalsIgnoringCase({name + 1, length - 1}, *regionEnd);
}

namespace {

// Bits from..to-1 of a window (0 <= from <= to <= 64).
std::uint64_t bitRange(std::ptrdiff_t from, std::ptrdiff_t to) {
    const std::uint64_t below = to >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
    return from >= 64 ? 0 : below & ~((std::uint64_t{1} << from) - 1);
}

// Most stretches counted hold a line feed or two; without a popcount instruction in the
// baseline, clearing them one by one beats the library's call.
int countBits(std::uint64_t m) {
#if defined(__POPCNT__) || !defined(__x86_64__)
    return std::popcount(m);
#else
    int n = 0;
    for (; m; m &= m - 1) ++n;
    return n;
#endif
}

// What find() looks for: function objects, so that each search is compiled with its mask.
constexpr auto delimiters = [](const window::Masks& w) { return w.delimiter; };
constexpr auto tagEndOrQuote = [](const window::Masks& w) { return w.close | w.doubleQuote | w.singleQuote; };
constexpr auto doubleQuotes = [](const window::Masks& w) { return w.doubleQuote; };
constexpr auto singleQuotes = [](const window::Masks& w) { return w.singleQuote; };
constexpr auto opens = [](const window::Masks& w) { return w.open; };

// The steps of a walk are split for reading, not for calling: each is compiled into the walk.
#define TAGSIFT_STEP [[gnu::always_inline]] inline

}  // namespace

// One pass: the window it stands in, and the line feeds it has counted but not yet moved the
// cursor over.
class PassOver::Walk {
public:
    Walk(PassOver& pass, BlockCursor& cursor, const std::string_view* regionEnd, Output* echo)
        : pass_(pass), cursor_(cursor), end_(cursor.end), regionEnd_(regionEnd), echo_(echo), counted_(cursor.at) {
        // Windows lie on a 64-byte grid over the block, so that the ordinary way, taken between
        // two passes, never makes a stretch be classified twice. The windows classified before
        // are still good while the block is the same and the cursor has not left them; else the
        // window is classified when it is first looked at (the quiet walk classifies its own).
        const char* at = cursor.at;
        const std::ptrdiff_t k = pass.windowCount_ && at >= pass.windowsBase_ ? (at - pass.windowsBase_) >> 6 : -1;
        if (k >= 0 && k < pass.windowCount_) {
            w_ = pass.windows_ + k;
            windowsEnd_ = pass.windows_ + pass.windowCount_;
            base_ = pass.windowsBase_ + 64 * k;
        } else {
            base_ = cursor.blockBegin + ((at - cursor.blockBegin) & ~std::ptrdiff_t{63});
        }
    }

    Stop run(From from);

private:
    // What a quiet pass over windows came to: a tag whose name the name step must look at,
    // or the block's end.
    struct Quiet {
        const char* nameStart = nullptr;
        Stop stop;
    };
    // The outcome of one window taken whole.
    enum class Taken { Whole, WantedTag, NotSure };

    // A window at a time: most whole windows go to the width's quiet walk, and a region's text
    // is mostly short, so that windows classified ahead would be wasted.
    void classify(const char* base, int most = 1) {
        pass_.classifyFrom(base, end_, most);
        w_ = pass_.windows_;
        windowsEnd_ = w_ + pass_.windowCount_;
        base_ = base;
    }
    // The masks of the window the walk stands in.
    const window::Masks& masks() {
        if (!w_) classify(base_);
        return *w_;
    }
    // The window at base, whose masks the quiet walk left in the first slot.
    void kept(const char* base) {
        pass_.windowsBase_ = base;
        pass_.windowCount_ = 1;
        w_ = pass_.windows_;
        windowsEnd_ = w_ + 1;
        base_ = base;
    }
    void nextWindow() {
        countTo(base_ + 64);
        base_ += 64;
        w_ = w_ && w_ + 1 != windowsEnd_ ? w_ + 1 : nullptr;
    }
    // Moves on to at, in this window or a later one, in a pass that counts no line (one with a
    // reader of tags): the line feeds before at are left uncounted.
    void jumpTo(const char* at) {
        if (at - base_ < 64) return;
        base_ = cursor_.blockBegin + ((at - cursor_.blockBegin) & ~std::ptrdiff_t{63});
        w_ = windowsEnd_ = nullptr;
        counted_ = at;
    }
    // The window after this one, which is not the block's last.
    const window::Masks& peekNext() {
        if (!w_ || w_ + 1 == windowsEnd_) classify(base_, 2);
        return w_[1];
    }
    bool lastWindow() const { return base_ + 64 >= end_; }

    // Counts the line feeds up to at. A name found in a later window than its start leaves at
    // behind what is counted already; a name holds no line feed.
    void countTo(const char* at) {
        if (at <= counted_) return;
        if (std::uint64_t m = masks().lineFeed & bitRange(counted_ - base_, at - base_)) {
            lines_ += countBits(m);
            lineStart_ = base_ + (64 - std::countl_zero(m));
        }
        counted_ = at;
    }
    // Moves the cursor to at, which the pass has reached.
    void settle(const char* at) {
        countTo(at);
        cursor_.moveTo(at, lines_, lineStart_);
        lines_ = 0;
        counted_ = at;
    }
    // The first position at or after p whose bit is set in the masks that pick chooses, or the
    // block's end.
    template <typename Pick>
    const char* find(const char* p, Pick pick) {
        for (;;) {
            const std::ptrdiff_t offset = p - base_;
            if (offset < 64)
                if (std::uint64_t m = pick(masks()) >> offset) return p + std::countr_zero(m);
            if (lastWindow()) return end_;
            nextWindow();
            p = std::max(p, base_);
        }
    }

    // Steps of a pass with a region open: over a tag's rest to its '>', then the text to the
    // next '<', echoed. False when the block ends first (stop says where).
    bool toTagEnd(const char*& p, Stop& stop);
    bool echoText(const char*& p);
    // The step of a pass with nothing to echo: windows and stretches, tags known by their
    // opens and closes alone.
    Quiet passQuietly(const char* p, bool inTag);
    Taken takeWindow(int& i, bool& inTag, char& openQuote, const char*& nameStart);
    bool walkStretch(int& i, bool& inTag, char& openQuote, const char*& nameStart);

    PassOver& pass_;
    const window::Masks* w_ = nullptr;  // the window the walk stands in
    const window::Masks* windowsEnd_ = nullptr;  // past the last window classified
    const char* base_ = nullptr;        // where it starts
    BlockCursor& cursor_;
    const char* const end_;
    const std::string_view* regionEnd_;
    Output* echo_;
    const char* counted_;  // the line feeds before it are in lines_, the last one ends before lineStart_
    long long lines_ = 0;
    const char* lineStart_ = nullptr;
};

TAGSIFT_STEP PassOver::Stop PassOver::Walk::run(From from) {
    const char* p = cursor_.at;
    bool atName = from == From::Name;
    bool pastName = from == From::TagRest;  // a tag is passed over after its name
    for (;;) {
        if (atName) {
            // A name that runs to the block's end, or ends at a line feed (which the ordinary way
            // pushes back as a blank), takes the ordinary way, as does every name that may be wanted.
            const char* nameEnd = find(p, delimiters);
            if (nameEnd == end_ || *nameEnd == '\n') {
                settle(p);
                return {true, false, 0, nullptr};
            }
            if (pass_.mayBeWanted(p, static_cast<std::size_t>(nameEnd - p), regionEnd_)) {
                const window::TagReader& reader = pass_.candidates_.reader;
                const window::TagReader::Resume taken =
                    reader.read && !echo_ ? reader.read(reader.self, p, nameEnd, end_) : window::TagReader::Resume{};
                if (!taken.at) {
                    settle(p);
                    return {true, false, 0, nameEnd};
                }
                // Taken where it stands: the walk goes on after it, in the window it ends in.
                if (taken.at == end_) {
                    settle(end_);
                    return {false, taken.inTag, 0};
                }
                jumpTo(taken.at);
                p = taken.at;
                atName = false;
                pastName = taken.inTag;
                continue;
            }
            p = nameEnd;
            pastName = true;
        }
        if (echo_) {
            Stop stop;
            if (pastName && !toTagEnd(p, stop)) return stop;
            if (!echoText(p)) return {};
            atName = true;  // which passes the next name, or stops at it
            continue;
        }
        // The next tag is often near and wanted (the next cell of a table row): a step or two
        // within the window before the walk is called.
        if (w_ && pastName && p - base_ < 64) {
            const std::uint64_t ahead = tagEndOrQuote(*w_) >> (p - base_);
            if (ahead && p[std::countr_zero(ahead)] == '>') {
                p += std::countr_zero(ahead) + 1;
                pastName = false;
            }
        }
        if (w_ && !pastName && p - base_ < 64) {
            const std::ptrdiff_t at = p - base_;
            const std::uint64_t ahead = w_->open >> at;
            if (ahead && (w_->candidate >> (at + std::countr_zero(ahead))) & 1) {
                p += std::countr_zero(ahead) + 1;
                atName = true;
                continue;
            }
        }
        Quiet quiet = passQuietly(p, pastName);
        if (!quiet.nameStart) return quiet.stop;
        p = quiet.nameStart;
        atName = true;
        pastName = false;
    }
}

TAGSIFT_STEP bool PassOver::Walk::toTagEnd(const char*& p, Stop& stop) {
    for (const char* q = p;;) {
        q = find(q, tagEndOrQuote);
        if (q == end_) {
            settle(end_);
            stop = {false, true, 0};
            return false;
        }
        const char quote = *q++;
        if (quote == '>') {
            p = q;
            return true;
        }
        q = quote == '"' ? find(q, doubleQuotes) : find(q, singleQuotes);
        if (q == end_) {
            settle(end_);
            stop = {false, true, quote};
            return false;
        }
        ++q;
    }
}

TAGSIFT_STEP bool PassOver::Walk::echoText(const char*& p) {
    const char* text = p;
    // The line feeds counted on the way tell whether the text has any to blank out.
    const bool countedFromText = counted_ <= text;
    countTo(text);
    const long long linesBefore = lines_;
    const char* open = find(p, opens);
    countTo(open);
    const std::string_view piece{text, static_cast<std::size_t>(open - text)};
    if (countedFromText && lines_ == linesBefore) echo_->write(piece);
    else echo_->writeBlanked(piece);
    if (open == end_) {
        settle(end_);
        return false;
    }
    p = open + 1;
    return true;
}

// With nothing to echo, a stretch without quotes is passed over whole: its tags are known from
// the opens and closes alone, since the state after either is its kind (in a tag after '<', in
// text after '>'). Only a tag that may be wanted, or has a quote or a line feed in its name, or
// a quote after it, needs the name step.
TAGSIFT_STEP PassOver::Walk::Quiet PassOver::Walk::passQuietly(const char* p, bool inTag) {
    int i = static_cast<int>(p - base_);
    char openQuote = 0;  // inside a quoted value of a tag, which may run over many windows
    const char* nameStart = nullptr;
    const char* own = nullptr;  // a window the width's walk handed back, taken here to its end
    for (;;) {
        if (i < 64 && base_ != own && end_ - base_ > 64) {
            // The width's quiet walk, from here to the next tag that may be wanted.
            countTo(base_ + i);
            window::QuietRun run;  // the walk sets what it hands back
            run.at = base_;
            run.end = end_;
            run.from = i;
            run.countLines = pass_.places_;
            run.inTag = inTag;
            run.openQuote = openQuote;
            run.given = w_;
            run.kept = pass_.windows_;
            pass_.walkQuietly_(run, pass_.candidates_);
            if (run.lines) {
                lines_ += run.lines;
                lineStart_ = run.lineStart;
            }
            if (run.at != base_) counted_ = run.at;
            if (run.stop != window::QuietRun::BlockEnd) {
                kept(run.at);
            } else {
                base_ = run.at;
                w_ = nullptr;
            }
            i = run.from;
            inTag = run.inTag;
            openQuote = run.openQuote;
            if (run.stop == window::QuietRun::WantedTag) return {base_ + i + 1, {}};
            own = base_;
        }
        if (i < 64) {
            if (openQuote) {
                const std::uint64_t close = (openQuote == '"' ? masks().doubleQuote : masks().singleQuote) >> i << i;
                if (!close) {
                    i = 64;
                } else {
                    i = std::countr_zero(close) + 1;
                    openQuote = 0;
                }
                continue;
            }
            masks();  // takeWindow and walkStretch read w_
            const Taken taken = takeWindow(i, inTag, openQuote, nameStart);
            if (taken == Taken::WantedTag) return {nameStart, {}};
            if (taken == Taken::NotSure && walkStretch(i, inTag, openQuote, nameStart)) return {nameStart, {}};
            continue;
        }
        if (lastWindow()) {
            settle(end_);
            return {nullptr, {false, inTag, openQuote}};
        }
        nextWindow();
        i = 0;
    }
}

// The rest of the window from i at once (window::take), and a name that runs on into the next
// window.
TAGSIFT_STEP PassOver::Walk::Taken PassOver::Walk::takeWindow(int& i, bool& inTag, char& openQuote, const char*& nameStart) {
    const window::Taken taken = window::take(*w_, i, inTag);
    switch (taken.kind) {
        case window::Taken::Whole:
            inTag = taken.inTag;
            openQuote = taken.openQuote;
            i = 64;
            return Taken::Whole;
        case window::Taken::WantedTag: nameStart = base_ + taken.at + 1; return Taken::WantedTag;
        case window::Taken::NotSure: return Taken::NotSure;
        case window::Taken::NameRunsOn: break;
    }
    // Passed over here when the name ends in the next window at a delimiter other than a line
    // feed (a quote before it belongs to the name); else the name step takes the tag.
    int nameEnd = 64;
    if (!lastWindow()) {
        const window::Masks& next = peekNext();
        if (next.delimiter) nameEnd = std::countr_zero(next.delimiter);
        if (nameEnd < 64 && ((next.lineFeed >> nameEnd) & 1)) nameEnd = 64;
    }
    if (nameEnd == 64) {
        nameStart = base_ + taken.at + 1;
        return Taken::WantedTag;
    }
    nextWindow();
    i = nameEnd;
    inTag = true;
    return Taken::Whole;
}

// The stretch from i to the window's next quote, walked from one '<' or '>' to the next. True
// when a tag must take the name step (nameStart tells where); else i, inTag and openQuote tell
// how the walk goes on after the stretch.
TAGSIFT_STEP bool PassOver::Walk::walkStretch(int& i, bool& inTag, char& openQuote, const char*& nameStart) {
    const std::uint64_t quotes = (w_->doubleQuote | w_->singleQuote) & bitRange(i, 64);
    const int stop = quotes ? std::countr_zero(quotes) : 64;
    const std::uint64_t stretch = bitRange(i, stop);
    const std::uint64_t events = (w_->open | w_->close) & stretch;
    auto lastIsClose = [&](std::uint64_t e) { return (w_->close >> (63 - std::countl_zero(e))) & 1; };
    // The '<' of the tag whose name is still open just before at, or -1.
    auto nameOpenBefore = [&](int at) {
        const std::uint64_t before = stretch & bitRange(0, at);
        const std::uint64_t closes = w_->close & before;
        const std::uint64_t opensAfter =
            closes ? w_->open & before & ~bitRange(0, 64 - std::countl_zero(closes)) : (inTag ? 0 : w_->open & before);
        if (!opensAfter) return -1;
        const int open = std::countr_zero(opensAfter);
        return w_->delimiter & before & ~bitRange(0, open + 1) ? -1 : open;
    };
    int resume = -1;  // a '<' whose tag takes the name step
    int candidate = stop;
    for (std::uint64_t k = w_->candidate & stretch; k; k &= k - 1) {
        const int at = std::countr_zero(k);
        const std::uint64_t before = events & bitRange(0, at);
        if (before ? lastIsClose(before) : !inTag) {
            candidate = at;
            break;
        }
    }
    for (std::uint64_t f = w_->lineFeed & stretch & bitRange(0, candidate); f && resume < 0; f &= f - 1)
        resume = nameOpenBefore(std::countr_zero(f));
    if (resume < 0 && candidate < stop) resume = candidate;
    if (resume < 0) resume = nameOpenBefore(stop);
    if (resume >= 0) {
        nameStart = base_ + resume + 1;
        return true;
    }
    if (events) inTag = !lastIsClose(events);
    if (stop == 64) {
        i = 64;
        return false;
    }
    // A quote inside a tag whose name has ended opens a value; one in text is only passed.
    if (inTag) openQuote = (w_->doubleQuote >> stop) & 1 ? '"' : '\'';
    i = stop + 1;
    return false;
}

PassOver::Stop PassOver::pass(BlockCursor& cursor, const std::string_view* regionEnd, Output* echo, From from) {
    return Walk(*this, cursor, regionEnd, echo).run(from);
}

}  // namespace tagsift
