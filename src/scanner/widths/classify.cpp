// The window classifier and the quiet walk, written once: the build compiles
// this file once for each width it has (see lanes.h), and the pass-over picks
// one at start-up.
#include <cstddef>

#include "scanner/widths/lanes.h"
#include "scanner/widths/take.h"
#include "scanner/window.h"

namespace tagsift::window {

#if defined(TAGSIFT_WIDTH_AVX512)
#define TAGSIFT_CLASSIFIER classifyAvx512
#define TAGSIFT_QUIET_WALK walkQuietlyAvx512
#elif defined(TAGSIFT_WIDTH_AVX2)
#define TAGSIFT_CLASSIFIER classifyAvx2
#define TAGSIFT_QUIET_WALK walkQuietlyAvx2
#elif defined(TAGSIFT_WIDTH_SSE2)
#define TAGSIFT_CLASSIFIER classifySse2
#define TAGSIFT_QUIET_WALK walkQuietlySse2
#elif defined(TAGSIFT_WIDTH_NEON)
#define TAGSIFT_CLASSIFIER classifyNeon
#define TAGSIFT_QUIET_WALK walkQuietlyNeon
#else
#define TAGSIFT_CLASSIFIER classifyScalar
#define TAGSIFT_QUIET_WALK walkQuietlyScalar
#endif

namespace {

// The word delimiters but '=', each at the index of its low four bits; an index that holds
// none has a byte whose low four bits differ from it, which no byte equals there.
constexpr unsigned char kDelimiters[16] = {' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', '>', 0};

// The bytes the classifier compares with, spread over registers once for many windows.
struct Splats {
    Lanes::Reg open, close, doubleQuote, singleQuote, lineFeed, equals, bang, table;
    static constexpr int kMostWanted = 8;
    Lanes::Reg wanted[kMostWanted];
    int count;
    explicit Splats(const Candidates& c)
        : open(Lanes::splat('<')), close(Lanes::splat('>')), doubleQuote(Lanes::splat('"')),
          singleQuote(Lanes::splat('\'')), lineFeed(Lanes::splat('\n')), equals(Lanes::splat('=')),
          bang(Lanes::splat('!')), table(tableOf<>()), count(c.everyOpen ? 0 : c.count) {
        for (int j = 0; j < count; ++j) wanted[j] = Lanes::splat(static_cast<char>(c.bytes[j]));
    }
    // The compiler would rather make a constant again than keep it: over the many windows of a
    // walk that costs three instructions a constant, each window.
    static void pin(Lanes::Reg& r) {
#if defined(TAGSIFT_WIDTH_AVX512) || defined(TAGSIFT_WIDTH_AVX2) || defined(TAGSIFT_WIDTH_SSE2)
        asm("" : "+x"(r));
#elif defined(TAGSIFT_WIDTH_NEON)
        asm("" : "+w"(r));
#else
        asm("" : "+r"(r));
#endif
    }
    // A template, so that a width without a lookup never compiles one.
    template <typename L = Lanes>
    static typename L::Reg tableOf() {
        if constexpr (L::kLookup) return L::table(kDelimiters);
        else return L::splat(0);
    }
};

// How many first bytes the candidates compare with when the walk is compiled for a count: one
// rule's name has two (its first letter in both cases), no rule none; kAny leaves it to the
// run, and kEveryOpen makes every open a candidate.
constexpr int kAny = -1;
constexpr int kEveryOpen = -2;

// A template, so that the branch a width has no lookup for is never compiled for it. Without
// kLineFeeds the window's line feeds are left out (a walk that counts none).
template <int kCount = kAny, bool kLineFeeds = true, typename L = Lanes>
[[gnu::always_inline]] inline void classifyOne(Masks& w, const char* from, const Candidates& wanted, const Splats& k) {
    const Bytes64 v(from);
    w.open = (v == k.open).bits();
    w.close = (v == k.close).bits();
    w.doubleQuote = (v == k.doubleQuote).bits();
    w.singleQuote = (v == k.singleQuote).bits();
    w.lineFeed = kLineFeeds ? (v == k.lineFeed).bits() : 0;
    if constexpr (L::kLookup) {
        // '=' shares its low four bits with carriage return.
        w.delimiter = (v.template inTable<L>(k.table) | (v == k.equals)).bits();
    } else {
        // Tab, line feed, form feed and carriage return: 9 to 13 but for 11.
        w.delimiter = (v.inRange('\t', '\r').butNot(v == L::splat('\v')) | (v == L::splat(' ')) | (v == k.equals) |
                       (v == k.close))
                          .bits();
    }
    // The bytes that may follow the '<' of a candidate are compared in place and moved down a
    // byte; the byte after the window is looked up.
    if (kCount == kEveryOpen || (kCount == kAny && wanted.everyOpen)) {
        w.candidate = w.open;
        return;
    }
    Flags64 hit = v == k.bang;
    const int count = kCount >= 0 ? kCount : k.count;  // a constant where the walk is compiled for one
    for (int j = 0; j < Splats::kMostWanted && j < count; ++j) hit = hit | (v == k.wanted[j]);
    const std::uint64_t after = wanted.follows[static_cast<unsigned char>(from[64])];
    w.candidate = w.open & ((hit.bits() >> 1) | (after << 63));
}

}  // namespace

void TAGSIFT_CLASSIFIER(Masks* masks, const char* from, int count, const Candidates& wanted) {
    const Splats k(wanted);
    for (int n = 0; n < count; ++n) classifyOne(masks[n], from + 64 * n, wanted, k);
}

namespace {

// With kReads, the reader of the wanted tags is called at each (a walk that counts no line).
template <int kCount, bool kLines, bool kReads = false>
void walkQuietly(QuietRun& run, const Candidates& wanted) {
    static_assert(!(kLines && kReads));
    const char* at = run.at;
    const char* const end = run.end;
    bool inTag = run.inTag;
    char openQuote = run.openQuote;
    int from = run.from;  // the state holds from this byte of the window at at on
    long long lines = 0;
    const char* lineStart = nullptr;
    auto countLines = [&](std::uint64_t lineFeeds) {
        if (!kLines || !lineFeeds) return;
#if defined(__POPCNT__) || !defined(__x86_64__)
        lines += __builtin_popcountll(lineFeeds);
#else
        for (std::uint64_t m = lineFeeds; m; m &= m - 1) ++lines;
#endif
        lineStart = at + (64 - __builtin_clzll(lineFeeds));
    };
    Splats k(wanted);
    Splats::pin(k.equals);
    Splats::pin(k.bang);
    Masks w;
    if (run.given) w = *run.given;
    else classifyOne<kCount, kLines>(w, at, wanted, k);
    QuietRun::Stop stop;
    for (;;) {
        // The line feeds of a window are counted from where the walk entered it, once it is passed.
        const int entered = from;
        if (openQuote) {
            const std::uint64_t close = (openQuote == '"' ? w.doubleQuote : w.singleQuote) >> from << from;
            from = close ? __builtin_ctzll(close) + 1 : 64;
            if (close) openQuote = 0;
        }
        if (from < 64) {
            // Most windows are taken from their first byte: a copy of the step of its own.
            const Taken taken = from == 0 ? take(w, 0, inTag) : take(w, from, inTag);
            if (taken.kind == Taken::WantedTag) {
                TagReader::Resume resume{nullptr, false};
                if constexpr (kReads) {
                    // A reader takes the tag here when its name ends in the window, at a
                    // delimiter other than a line feed; else, or when it will not, the walk
                    // stops at it.
                    const int name = taken.at + 1;
                    const std::uint64_t delimiters = name < 64 ? w.delimiter >> name : 0;
                    const char* nameEnd = at + name + (delimiters ? __builtin_ctzll(delimiters) : 0);
                    if (delimiters && *nameEnd != '\n')
                        resume = wanted.reader.read(wanted.reader.self, at + name, nameEnd, end);
                }
                if (!resume.at) {
                    from = taken.at;
                    stop = QuietRun::WantedTag;
                    break;
                }
                inTag = resume.inTag;
                const std::ptrdiff_t ahead = resume.at - at;
                if (ahead < 64) {
                    from = static_cast<int>(ahead);
                    continue;
                }
                // The tag ran on past the window: the walk goes on in the one it ends in, which
                // may be the block's last (the tag may end with the block).
                const std::ptrdiff_t toEnd = (end - at - 1) >> 6;
                const std::ptrdiff_t windows = ahead >> 6 < toEnd ? ahead >> 6 : toEnd;
                at += 64 * windows;
                from = static_cast<int>(ahead - 64 * windows);
                if (end - at <= 64) {
                    stop = QuietRun::BlockEnd;
                    break;
                }
                classifyOne<kCount, kLines>(w, at, wanted, k);
                continue;
            }
            if (taken.kind != Taken::Whole) {
                // A name that runs on into the next window is passed over when it ends there at
                // a delimiter other than a line feed; the walk goes on from there.
                if (taken.kind == Taken::NameRunsOn && end - at > 128) {
                    Masks following;
                    classifyOne<kCount, kLines>(following, at + 64, wanted, k);
                    const int nameEnd = following.delimiter ? __builtin_ctzll(following.delimiter) : 64;
                    if (nameEnd < 64 && !((following.lineFeed >> nameEnd) & 1)) {
                        countLines(w.lineFeed >> entered << entered);
                        inTag = true;
                        from = nameEnd;
                        at += 64;
                        w = following;
                        continue;
                    }
                }
                stop = QuietRun::Window;
                break;
            }
            inTag = taken.inTag;
            openQuote = taken.openQuote;
        }
        countLines(w.lineFeed >> entered << entered);
        at += 64;
        from = 0;
        if (end - at <= 64) {
            stop = QuietRun::BlockEnd;
            break;
        }
        classifyOne<kCount, kLines>(w, at, wanted, k);
    }
    run.at = at;
    run.from = from;
    run.inTag = inTag;
    run.openQuote = openQuote;
    run.stop = stop;
    if (stop != QuietRun::BlockEnd) {
        // The caller goes on in the window with its masks: they must be whole.
        if (!kLines) w.lineFeed = (Bytes64(at) == k.lineFeed).bits();
        *run.kept = w;
    }
    run.lines = lines;
    run.lineStart = lineStart;
}

}  // namespace

void TAGSIFT_QUIET_WALK(QuietRun& run, const Candidates& wanted) {
    // Most windows pass here: the common counts of first bytes get walks of their own, whose
    // compares are unrolled. A place is printed only by a rule, whose name has a first byte.
    if (!run.countLines && wanted.count == 0 && !wanted.everyOpen) {
        walkQuietly<0, false>(run, wanted);  // no rule: no tag to read
    } else if (!run.countLines && wanted.reader.read) {
        if (wanted.everyOpen) walkQuietly<kEveryOpen, false, true>(run, wanted);
        else if (wanted.count == 2) walkQuietly<2, false, true>(run, wanted);
        else walkQuietly<kAny, false, true>(run, wanted);
    } else if (!run.countLines) {
        if (wanted.everyOpen) walkQuietly<kEveryOpen, false>(run, wanted);
        else if (wanted.count == 2) walkQuietly<2, false>(run, wanted);
        else walkQuietly<kAny, false>(run, wanted);
    } else if (wanted.everyOpen) {
        walkQuietly<kEveryOpen, true>(run, wanted);
    } else if (wanted.count == 2) {
        walkQuietly<2, true>(run, wanted);
    } else {
        walkQuietly<kAny, true>(run, wanted);
    }
}

}  // namespace tagsift::window
