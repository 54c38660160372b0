// The bit masks of one 64-byte window, and the classifiers that compute them.
//
// The classifier is one routine (src/scanner/widths/classify.cpp) compiled
// once for each width of byte compares the build has: 64-byte AVX-512 BW,
// 32-byte AVX2, 16-byte SSE2, 16-byte NEON, and plain code. This header is
// all that those compilations share with the rest of the program, so it holds
// nothing but plain data: code that a width's compiler flags could change
// must not be shared with the rest of the program.
#pragma once

#include <cstdint>

namespace tagsift::window {

// The bytes after a '<' that make it a candidate.
struct Candidates {
    bool everyOpen = false;  // too many first bytes to compare with one by one
    int count = 0;
    unsigned char bytes[8] = {};
};

// Bit i for byte i: tag opens and closes, both quotes, line feeds, the word delimiters
// " =>\t\n\r\f", and the opens that are candidates (by the byte after them).
struct Masks {
    std::uint64_t open = 0, close = 0, doubleQuote = 0, singleQuote = 0, lineFeed = 0, delimiter = 0;
    std::uint64_t candidate = 0;
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

}  // namespace tagsift::window
