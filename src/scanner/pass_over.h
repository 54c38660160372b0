// Passing over the tags that no rule can want, in bulk.
//
// Most tags of a page have no rule: the scanner need not read their names
// and attributes one character at a time. This unit finds, with bit masks
// over the block, the next tag that may be wanted and passes over everything
// before it, keeping the line and column count exact and copying the text
// (never the tags) to an open body region. Whatever it passes over, the tags
// that reach the caller, their places, and what a region echoes are exactly
// what reading tag by tag gives.
//
// Terms:
//   block      the bytes the input delivered last; the pass never leaves it.
//   window     64 bytes of a block on a 64-byte grid from the block's start,
//              classified at once into bit masks (bit i for byte i).
//   candidate  a '<' whose next byte may begin a wanted name (or '!', which
//              begins a comment). The names' first bytes and lengths are a
//              superset test; a few names are compared whole.
//   the ordinary way  the scanner's tag-by-tag reading, which the pass hands
//              a tag to when it cannot be sure: a candidate, a name that runs
//              past the block or meets a line feed, a quote in a name.
//   stretch    bytes of one window up to its next quote, which the pass
//              walks from one '<' or '>' to the next when a whole window
//              cannot be taken at once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/output.h"
#include "scanner/window.h"

namespace tagsift {

// A position in the current block, with the line and column count of the byte before it.
struct BlockCursor {
    const char* at = nullptr;
    const char* end = nullptr;
    const char* blockBegin = nullptr;
    long long line = 1;
    long long column = 0;

    // Moves to stop, which lies lines line feeds further on, the last of them just before lineStart.
    void moveTo(const char* stop, long long lines, const char* lineStart) {
        if (lines) {
            line += lines;
            column = stop - lineStart;
        } else {
            column += stop - at;
        }
        at = stop;
    }
};

// Reads a wanted tag where the pass finds it, for a run that prints no place: a tag it reads
// whole costs no stop of the pass and never comes out of nextTag. A taker is any object with
//
//     Resume take(std::string_view name, const char* nameEnd, const char* end);
//
// called for a tag that may be wanted, nameEnd at a delimiter other than a line feed, its bytes
// going on to end, the block's; never while a region is open. It returns where the pass goes
// on: just after the tag's '>' (read whole), in the tag just after its name (no rule reads it:
// the pass skips its rest), or at null: not read, nothing done, and the tag is left to the
// ordinary way.
struct TagTaker {
    struct Resume {
        const char* at = nullptr;
        bool inTag = false;
    };
    // The walk's reader for a taker, which calls its take directly (a class that keeps take
    // private makes TagTaker a friend).
    template <typename T>
    static window::TagReader of(T& taker) {
        return {[](void* self, const char* name, const char* nameEnd, const char* end) -> window::TagReader::Resume {
                    const Resume r = static_cast<T*>(self)->take(
                        std::string_view(name, static_cast<std::size_t>(nameEnd - name)), nameEnd, end);
                    return {r.at, r.inTag};
                },
                &taker};
    }
};

class PassOver {
public:
    // Classifies with the width chosen when it is made.
    PassOver();

    // Wanted: the tags with one of these names (ASCII case ignored); nothing is passed before.
    // Without places, no one reads the cursor's line and column: the quiet walk over whole
    // windows leaves their line feeds uncounted.
    // A taker (TagTaker::of), given without places, reads the tags it can where the pass finds them.
    void want(std::span<const std::string> names, bool places = true, window::TagReader taker = {});
    bool active() const { return active_; }
    // The block changed: the classified windows are stale.
    void forgetWindow() { windowCount_ = 0; }

    // Where a pass stopped. At a wanted tag: just after its '<'; nameEnd, when set, is where
    // its name ends in the block, at a delimiter other than a line feed (else the ordinary way
    // reads the name). Else at the block's end, inside a tag (its rest is left for the scanner
    // to skip) or in text; openQuote tells that the block ended inside a quoted value of that tag.
    struct Stop {
        bool atWantedTag = false;
        bool inTag = false;
        char openQuote = 0;
        const char* nameEnd = nullptr;
    };
    // Where the cursor stands when a pass starts: just after a '<', in text, or in a tag past
    // its name (whose rest the pass passes over).
    enum class From { Name, Text, TagRest };
    // Passes from the cursor to the next tag that may be wanted. regionEnd: the name whose end
    // tag closes an open region, or null; echo: where the text goes while a region is open, or null.
    Stop pass(BlockCursor& cursor, const std::string_view* regionEnd, Output* echo, From from);

    // The widths of byte compares that classify a window: one routine (window.h) compiled for
    // each. The build's TAGSIFT_SIMD option says which the binary has; the best that the
    // processor has is chosen at start-up, once, and every pass-over of the run uses it.
    enum class Width { Scalar, Sse2, Avx2, Avx512, Neon };
    // The widths this binary can use on this machine, the one it takes by default first; plain
    // code (Scalar) is always among them, so that tests can compare every width with it.
    static std::span<const Width> widths();
    static Width width();
    // A test hook: the pass-overs made from now on classify with w (tests compare the widths in
    // one process). Never called while another thread scans. False, and nothing changed, when
    // w is not among widths().
    static bool forceWidthForTests(Width w);
    // A build for one width only (TAGSIFT_SIMD) on a processor without it: the feature it needs
    // ("AVX-512 BW"), which the run must not go on without; else nullptr.
    static const char* missingFeature();
    // The name TAGSIFT_SIMD gives w: "scalar", "sse2", "avx2", "avx512" or "neon".
    static const char* widthName(Width w);

    using Candidates = window::Candidates;

private:
    class Walk;
    bool mayBeWanted(const char* name, std::size_t length, const std::string_view* regionEnd) const;
    // Classifies the windows of the block that ends at end, from the one at from on, at most
    // most of them (up to kMostWindows). The masks of the block's last window have no bits past
    // its end, and an open at the very end is a candidate.
    void classifyFrom(const char* from, const char* end, int most);

    window::Classifier classifier_;
    window::QuietWalk walkQuietly_;
    bool active_ = false;
    bool places_ = true;
    // The windows classified last (a window, and the next when a name runs on into it), on the
    // block's 64-byte grid: windows_[k] is the one at windowsBase_ + 64 k.
    static constexpr int kMostWindows = 2;
    window::Masks windows_[kMostWindows];
    const char* windowsBase_ = nullptr;
    int windowCount_ = 0;
    // The superset test: the wanted names' first bytes (both cases) and lengths (bit n for
    // length n, bit 63 for 63 and more).
    bool wantedFirst_[256] = {};
    Candidates candidates_;
    std::uint64_t wantedLengths_ = 0;
    std::vector<std::string> wantedNames_;  // all of them when there are few, else none
};

}  // namespace tagsift
