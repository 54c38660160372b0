// The window classifier, written once: the build compiles this file once for
// each width it has (see lanes.h), and the pass-over picks one at start-up.
#include "scanner/widths/lanes.h"
#include "scanner/window.h"

namespace tagsift::window {

#if defined(TAGSIFT_WIDTH_AVX512)
#define TAGSIFT_CLASSIFIER classifyAvx512
#elif defined(TAGSIFT_WIDTH_AVX2)
#define TAGSIFT_CLASSIFIER classifyAvx2
#elif defined(TAGSIFT_WIDTH_SSE2)
#define TAGSIFT_CLASSIFIER classifySse2
#elif defined(TAGSIFT_WIDTH_NEON)
#define TAGSIFT_CLASSIFIER classifyNeon
#else
#define TAGSIFT_CLASSIFIER classifyScalar
#endif

namespace {

// The word delimiters but '=', each at the index of its low four bits; an index that holds
// none has a byte whose low four bits differ from it, which no byte equals there.
constexpr unsigned char kDelimiters[16] = {' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', '>', 0};

// A template, so that the branch a width has no lookup for is never compiled for it.
template <typename L = Lanes>
[[gnu::always_inline]] inline void classifyOne(Masks& w, const char* from, const Candidates& wanted) {
    const Bytes64 v(from);
    const Flags64 close = v == '>';
    w.open = (v == '<').bits();
    w.close = close.bits();
    w.doubleQuote = (v == '"').bits();
    w.singleQuote = (v == '\'').bits();
    w.lineFeed = (v == '\n').bits();
    if constexpr (L::kLookup) {
        // '=' shares its low four bits with carriage return.
        w.delimiter = (v.template inTable<L>(kDelimiters) | (v == '=')).bits();
    } else {
        // Tab, line feed, form feed and carriage return: 9 to 13 but for 11.
        w.delimiter = (v.inRange('\t', '\r').butNot(v == '\v') | (v == ' ') | (v == '=') | close).bits();
    }
    w.candidate = w.open;
    // Most windows of a page have an open or two: the byte after each is compared only then.
    if (!wanted.everyOpen && w.open) {
        const Bytes64 next(from + 1);
        Flags64 hit = next == '!';
        for (int j = 0; j < wanted.count; ++j) hit = hit | (next == static_cast<char>(wanted.bytes[j]));
        w.candidate &= hit.bits();
    }
}

}  // namespace

void TAGSIFT_CLASSIFIER(Masks* masks, const char* from, int count, const Candidates& wanted) {
    for (int n = 0; n < count; ++n) classifyOne(masks[n], from + 64 * n, wanted);
}

}  // namespace tagsift::window
