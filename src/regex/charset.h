// Bracket sets of the pattern language, kept as a normalised text (inside the regex unit).
//
// A CharSet is a byte string of entries in non-decreasing order of their
// first character, compared as signed 8-bit values (bytes 0x80..0xFF order
// before 0..127):
//   - a single character (any byte but '-'),
//   - a range: '-', first, last,
//   - the dash entry: a lone '-' as the very last byte, making '-' a member.
// normalizeSet() turns the content written between "[" (or "[^") and "]"
// into that form once, at compile time; inSet() answers membership while
// matching.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagsift {

using CharSet = std::string;

// Rewrites a set content in place into its CharSet. On failure returns false,
// leaves the content unchanged and, when why is given, says what is wrong.
bool normalizeSet(std::string& content, std::string* why = nullptr);

bool inSet(std::string_view set, unsigned char c);

}  // namespace tagsift
