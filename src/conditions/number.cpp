#include "conditions/number.h"

#include "base/text.h"

namespace tagsift {

std::optional<Number> readNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(static_cast<unsigned char>(text[i]))) ++i;
    Number n;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) n.negative = text[i++] == '-';
    std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == start) return std::nullopt;
    while (start + 1 < i && text[start] == '0') ++start;
    n.digits = std::string(text.substr(start, i - start));
    if (n.digits == "0") n.negative = false;
    return n;
}

int compareNumbers(const Number& a, const Number& b) {
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    int magnitude;
    if (a.digits.size() != b.digits.size())
        magnitude = a.digits.size() < b.digits.size() ? -1 : 1;
    else
        magnitude = a.digits.compare(b.digits) < 0 ? -1 : (a.digits == b.digits ? 0 : 1);
    return a.negative ? -magnitude : magnitude;
}

}  // namespace tagsift
