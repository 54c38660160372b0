#include "conditions/number.h"

#include <algorithm>
#include <tuple>

#include "base/text.h"

namespace tagsift {

std::optional<Number> readNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(static_cast<unsigned char>(text[i]))) ++i;
    const bool minus = i < text.size() && text[i] == '-';
    if (minus || (i < text.size() && text[i] == '+')) ++i;
    std::size_t start = i;
    i = std::min(text.find_first_not_of("0123456789", start), text.size());
    if (i == start) return std::nullopt;
    while (start + 1 < i && text[start] == '0') ++start;
    Number n;
    n.digits = std::string(text.substr(start, i - start));
    n.negative = minus && n.digits != "0";  // zero has no sign
    return n;
}

std::strong_ordering compareNumbers(const Number& a, const Number& b) {
    if (a.negative != b.negative) return b.negative <=> a.negative;  // the negative one is below
    // Without leading zeros, the longer is the larger, and of one length the later in order.
    const std::strong_ordering magnitude = std::tuple(a.digits.size(), std::string_view(a.digits)) <=>
                                           std::tuple(b.digits.size(), std::string_view(b.digits));
    return a.negative ? 0 <=> magnitude : magnitude;
}

}  // namespace tagsift
