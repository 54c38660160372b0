// Decimal numbers of any length, compared exactly.
//
// Condition numbers and attribute values are read the way "%d" reads them
// (leading white space, an optional sign, at least one digit, anything after
// the digits ignored), but without a 32-bit range: '99999999999' is that
// number, never a folded one, so comparisons stay right for any digits.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace tagsift {

struct Number {
    bool negative = false;
    std::string digits;  // no leading zeros; "0" for zero (never negative)
};

std::optional<Number> readNumber(std::string_view text);
std::strong_ordering compareNumbers(const Number& a, const Number& b);

}  // namespace tagsift
