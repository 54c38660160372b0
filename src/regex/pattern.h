// The pattern language of condition right sides.
//
//   ^ at the start, $ at the end   anchors
//   .                              any one character
//   [set]  [^set]                  a member / a non-member of a bracket set
//   \c                             the character c itself
//   {cN}                           pass N occurrences of the character c
//   *                              after ".": pass any number of characters;
//                                  after anything else: n-1 more repetitions,
//                                  n being the count of copies of the
//                                  preceding character written after the star
//   0 (first, after any ^)         matches everything
// Every other character stands for itself.
//
// Compile once with compilePattern() (or compilePatternIgnoringCase(), which
// upper-cases ASCII letters first), then match any number of subjects. A
// missing subject is matched as the empty text. Matching takes time
// polynomial in the subject's length whatever the pattern.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regex/charset.h"

namespace tagsift {

enum class ItemKind : int {
    Literal = 0,
    Any = 2,
    Set = 3,
    NotSet = 4,
    Star = 5,
    End = 6,
    Skip = 7,
};

struct PatternItem {
    ItemKind kind = ItemKind::End;
    unsigned char ch = 0;     // Literal: the character; Skip: the character to pass
    long long count = 0;      // Star: the extra count n; Skip: how many to pass
    CharSet set;              // Set, NotSet
};

struct Pattern {
    bool anchoredStart = false;
    bool anchoredEnd = false;
    std::vector<PatternItem> items;  // closed by an End item; empty: matches everything
};

// std::nullopt when the text does not compile; why (when given) says why.
std::optional<Pattern> compilePattern(std::string_view text, std::string* why = nullptr);
std::optional<Pattern> compilePatternIgnoringCase(std::string_view text,
                                                  std::string* why = nullptr);

bool matchPattern(std::string_view subject, const Pattern& pattern);
// The pattern must come from compilePatternIgnoringCase().
bool matchPatternIgnoringCase(std::string_view subject, const Pattern& pattern);

// a..z to A..Z, every other byte unchanged.
void upperCaseText(std::string& text);

}  // namespace tagsift
