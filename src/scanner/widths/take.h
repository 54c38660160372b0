// The tags of a window from its masks: the step that takes the rest of a
// window at once. The pass-over uses it for any window, and each width's quiet
// walk (classify.cpp) for the windows it passes over with their masks still in
// registers. Everything here has internal linkage and uses compiler builtins
// only, so that each compilation gets a copy built with its own flags and no
// code of a width's flags reaches the rest of the program.
#pragma once

#include <cstdint>

#if defined(__PCLMUL__)
#include <wmmintrin.h>
#endif

#include "scanner/window.h"

namespace tagsift::window {
namespace {

// Bit i set when an odd number of bits of x lie at or below i: from an opening quote to before
// its closing one.
[[gnu::always_inline]] inline std::uint64_t prefixXor(std::uint64_t x) {
#if defined(__PCLMUL__)
    // A carry-less product with all ones is the running parity.
    const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
#else
    for (int k = 1; k < 64; k <<= 1) x ^= x << k;
    return x;
#endif
}

struct Taken {
    enum Kind {
        Whole,       // passed over: inTag and openQuote tell the state at the window's end
        WantedTag,   // at: the open of a tag that may be wanted
        NameRunsOn,  // at: the open of the last tag, whose name runs on into the next window
        NotSure,     // the guess fails somewhere after i: the stretch must be walked
    } kind;
    int at = 0;
    bool inTag = false;
    char openQuote = 0;
};

// The rest of the window from bit i (below 64), from the state inTag, at once, when its quotes
// are all of one kind, on the guess that each of them opens or closes a value of a tag past its
// name; NotSure when the guess fails.
[[gnu::always_inline]] inline Taken take(const Masks& w, int i, bool inTag) {
    const std::uint64_t rest = ~std::uint64_t{0} << i;
    const std::uint64_t doubleQuotes = w.doubleQuote & rest;
    const std::uint64_t singleQuotes = w.singleQuote & rest;
    if (doubleQuotes && singleQuotes) return {Taken::NotSure};
    const std::uint64_t quotes = doubleQuotes | singleQuotes;
    const std::uint64_t quoted = prefixXor(quotes);
    const std::uint64_t tagOpens = w.open & rest & ~quoted;
    // In a tag from each '<' after a '>' to before the next '>': a carry runs from the first '<'
    // through the bytes that are not '>', and the later ones are added back. Nothing before i
    // starts a carry, so the closes before it change nothing.
    const std::uint64_t notClose = ~(w.close & ~quoted);
    const std::uint64_t entry = std::uint64_t{inTag} << i;
    const std::uint64_t starts = tagOpens | (entry & notClose);
    const std::uint64_t inTags = (notClose & ~(notClose + starts)) | starts;
    const std::uint64_t inTagBefore = (inTags << 1) | entry;
    const std::uint64_t tagStarts = tagOpens & ~inTagBefore;
    // Each name, from after its '<' to before the first delimiter: one carry a name, since a
    // '>' lies between two tag starts.
    const std::uint64_t nameFirst = (tagStarts << 1) & ~w.delimiter;
    const std::uint64_t carried = ~w.delimiter + nameFirst;
    const std::uint64_t names = ~(w.delimiter | carried);
    const std::uint64_t nameEnds = (carried | (tagStarts << 1)) & w.delimiter;
    // Every opening quote must stand inside a tag, past its name, and no name may end at a line
    // feed (where the name step looks at it).
    if ((quotes & quoted & (names | ~inTagBefore)) | (nameEnds & w.lineFeed)) return {Taken::NotSure};
    if (const std::uint64_t wanted = w.candidate & rest & ~(quoted | inTagBefore))
        return {Taken::WantedTag, __builtin_ctzll(wanted)};
    // The last tag's name runs on into the next window.
    if ((names | tagStarts) >> 63) return {Taken::NameRunsOn, 63 - __builtin_clzll(tagStarts)};
    return {Taken::Whole, 0, static_cast<bool>(inTags >> 63),
            quoted >> 63 ? (doubleQuotes ? '"' : '\'') : '\0'};
}

}  // namespace
}  // namespace tagsift::window
