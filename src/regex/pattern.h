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

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tagsift {

class Pattern {
public:
    // Once compiled, a pattern is never changed: copies share it.
    struct Compiled;

private:
    std::shared_ptr<const Compiled> compiled_;  // null: matches everything

    friend std::optional<Pattern> compilePattern(std::string_view text, std::string* why);
    friend bool matchPattern(std::string_view subject, const Pattern& pattern);
    friend const Compiled* compiledOf(const Pattern& p);  // null: matches everything
};

// std::nullopt when the text does not compile; why (when given) says why.
std::optional<Pattern> compilePattern(std::string_view text, std::string* why = nullptr);
std::optional<Pattern> compilePatternIgnoringCase(std::string_view text,
                                                  std::string* why = nullptr);

bool matchPattern(std::string_view subject, const Pattern& pattern);
// The pattern must come from compilePatternIgnoringCase().
bool matchPatternIgnoringCase(std::string_view subject, const Pattern& pattern);

}  // namespace tagsift
