// The bit masks of one 64-byte window, the classifiers that compute them, and
// the quiet walks that pass over whole windows with them.
//
// The classifier and the quiet walk are one routine each
// (src/scanner/widths/classify.cpp) compiled once for each width of byte
// compares the build has: 64-byte AVX-512 BW, 32-byte AVX2, 16-byte SSE2,
// 16-byte NEON, and plain code. This header is all that those compilations
// share with the rest of the program, so it holds nothing but plain data:
// code that a width's compiler flags could change must not be shared with the
// rest of the program (widths/take.h is compiled into each of them apart).
#pragma once

#include <cstdint>

namespace tagsift::window {

// A reader of wanted tags that the quiet walk calls where it finds one, so that a tag read
// quickly costs no stop of the walk: plain data, a function and its object.
struct TagReader {
    // Where the walk goes on: at at, in a tag past its name or in text; at null, the walk stops
    // at the tag as it would without a reader.
    struct Resume {
        const char* at;
        bool inTag;
    };
    // name to nameEnd: the name of a tag that may be wanted, ending at a delimiter other than a
    // line feed; end: the block's.
    Resume (*read)(void* self, const char* name, const char* nameEnd, const char* end);
    void* self;
};

// The bytes after a '<' that make it a candidate.
struct Candidates {
    bool everyOpen = false;  // too many first bytes to compare with one by one
    int count = 0;
    unsigned char bytes[8] = {};  // and '!'
    bool follows[256] = {};       // the same as a table
    // Who reads a wanted tag in a quiet walk that counts no line (read null: no one).
    TagReader reader{};
};

// Bit i for byte i: tag opens and closes, both quotes, line feeds, the word delimiters
// " =>\t\n\r\f", and the opens that are candidates (by the byte after them). Left unset until
// a classifier sets every one.
struct Masks {
    std::uint64_t open, close, doubleQuote, singleQuote, lineFeed, delimiter;
    std::uint64_t candidate;
};

// Classifies count windows one after another, the first at from, into masks[0] to
// masks[count - 1]; one more byte than the windows hold can be read. A run of windows at once
// costs one call and one set-up of the byte constants.
using Classifier = void (*)(Masks* masks, const char* from, int count, const Candidates& wanted);

void classifyScalar(Masks* masks, const char* from, int count, const Candidates& wanted);
void classifySse2(Masks* masks, const char* from, int count, const Candidates& wanted);
void classifyAvx2(Masks* masks, const char* from, int count, const Candidates& wanted);
void classifyAvx512(Masks* masks, const char* from, int count, const Candidates& wanted);
void classifyNeon(Masks* masks, const char* from, int count, const Candidates& wanted);

// A quiet walk: the windows from a byte of one on, each classified and taken whole (take.h)
// while it can be, up to the first tag that may be wanted; most of a page's windows go this way,
// so their masks stay in registers; a tag that a reader takes on the way does not stop it. It
// stops at the first window that is not taken whole, or at the block's last 64 bytes (not
// classified). The line feeds of the windows it passes are counted (from the starting byte on);
// none of the window it stops in. A run that no one asks the place of counts none, and passes
// over names that end at a line feed too.
struct QuietRun {
    // In (every field set by the caller) and out (set by the walk): a window of the block's grid,
    // with more than 64 bytes from it to end when the walk starts; the byte of it from which the
    // state holds, and the state.
    const char* at;
    const char* end;
    int from;
    bool countLines;
    bool inTag;
    char openQuote;  // in a quoted value of a tag: its quote
    // In: the masks of the window at at, or null (the walk classifies it). Out: the walk leaves
    // them at kept (unless it stops at the block's end), which may be where given points.
    const Masks* given;
    Masks* kept;
    // Out.
    enum Stop {
        WantedTag,  // the '<' at bit from of the window may begin a wanted name
        Window,     // the caller takes the window from from
        BlockEnd,   // the window at at lies in the block's last 64 bytes
    } stop;
    long long lines;        // 0 unless countLines
    const char* lineStart;  // just after the last line feed counted, when there is one
};
using QuietWalk = void (*)(QuietRun& run, const Candidates& wanted);

void walkQuietlyScalar(QuietRun& run, const Candidates& wanted);
void walkQuietlySse2(QuietRun& run, const Candidates& wanted);
void walkQuietlyAvx2(QuietRun& run, const Candidates& wanted);
void walkQuietlyAvx512(QuietRun& run, const Candidates& wanted);
void walkQuietlyNeon(QuietRun& run, const Candidates& wanted);

}  // namespace tagsift::window
