#include "format/conversion.h"

#include <algorithm>
#include <climits>

#include "base/text.h"
#include "io/output.h"

namespace tagsift {

namespace {

constexpr long long kMaxWidth = INT_MAX;

long long readCount(std::string_view s, std::size_t& i) { return readDigits(s, i, kMaxWidth); }

void pad(Output& out, long long n, char c) {
    if (n > 0) out.repeat(c, static_cast<std::size_t>(n));
}

// Digits of v in the given base, most significant first.
std::string digitsOf(unsigned long long v, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char tmp[72];
    int n = 0;
    do {
        tmp[n++] = digits[v % base];
        v /= base;
    } while (v != 0);
    std::string s;
    while (n > 0) s.push_back(tmp[--n]);
    return s;
}

}  // namespace

std::string collapsePercents(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out.push_back(text[i]);
        if (text.substr(i).starts_with("%%")) ++i;
    }
    return out;
}

ConversionSpec parseConversion(std::string_view c) {
    ConversionSpec spec;
    std::size_t i = 0;
    while (i < c.size()) {
        if (c.substr(i).starts_with("%%")) {
            spec.leading.push_back('%');
            i += 2;
        } else if (c[i] == '%') {
            break;
        } else {
            spec.leading.push_back(c[i++]);
        }
    }
    if (i == c.size()) {
        spec.hasValue = false;
        return spec;
    }
    for (++i; i < c.size(); ++i) {
        switch (c[i]) {
            case '-': spec.left = true; continue;
            case '+': spec.plus = true; continue;
            case ' ': spec.space = true; continue;
            case '#': spec.alternate = true; continue;
            case '0': spec.zero = true; continue;
            case '\'': continue;
            default: break;
        }
        break;
    }
    if (i < c.size() && c[i] == '*') ++i;
    else spec.width = readCount(c, i);
    if (i < c.size() && c[i] == '.') {
        ++i;
        if (i < c.size() && c[i] == '*') ++i;
        else spec.precision = readCount(c, i);
    }
    i = std::min(c.find_first_not_of("hlLqjzt", i), c.size());
    if (i < c.size()) spec.letter = c[i++];
    spec.trailing = collapsePercents(c.substr(i));
    return spec;
}

void formatNumber(Output& out, const ConversionSpec& spec, long long value) {
    out.write(spec.leading);
    if (!spec.hasValue) return;
    std::string prefix;
    std::string digits;
    bool isChar = false;
    unsigned long long magnitude = static_cast<unsigned long long>(value);
    switch (spec.letter) {
        case 'u': digits = digitsOf(magnitude, 10, false); break;
        case 'o':
            digits = digitsOf(magnitude, 8, false);
            break;
        case 'x':
        case 'X':
            digits = digitsOf(magnitude, 16, spec.letter == 'X');
            if (spec.alternate && value != 0) prefix = spec.letter == 'X' ? "0X" : "0x";
            break;
        case 'c': isChar = true; break;
        default:  // d, i and every letter without a meaning for numbers
            if (value < 0) {
                prefix = "-";
                magnitude = 0 - magnitude;
            } else if (spec.plus) {
                prefix = "+";
            } else if (spec.space) {
                prefix = " ";
            }
            digits = digitsOf(magnitude, 10, false);
            break;
    }
    if (isChar) {
        if (!spec.left) pad(out, spec.width - 1, ' ');
        out.put(static_cast<char>(value & 0xFF));
        if (spec.left) pad(out, spec.width - 1, ' ');
        out.write(spec.trailing);
        return;
    }
    if (spec.precision == 0 && value == 0) digits.clear();
    long long zeros = 0;
    if (spec.precision > static_cast<long long>(digits.size()))
        zeros = spec.precision - static_cast<long long>(digits.size());
    if (spec.letter == 'o' && spec.alternate && zeros == 0 && (digits.empty() || digits[0] != '0'))
        zeros = 1;
    long long length = static_cast<long long>(prefix.size() + digits.size()) + zeros;
    if (spec.zero && !spec.left && spec.precision < 0) {  // '0' fills the width after the prefix
        const long long fill = std::max(spec.width - length, 0LL);
        zeros += fill;
        length += fill;
    }
    if (!spec.left) pad(out, spec.width - length, ' ');
    out.write(prefix);
    pad(out, zeros, '0');
    out.write(digits);
    if (spec.left) pad(out, spec.width - length, ' ');
    out.write(spec.trailing);
}

void formatText(Output& out, const ConversionSpec& spec, std::string_view text) {
    out.write(spec.leading);
    if (!spec.hasValue) return;
    if (spec.precision >= 0 && static_cast<unsigned long long>(spec.precision) < text.size())
        text = text.substr(0, static_cast<std::size_t>(spec.precision));
    long long room = spec.width - static_cast<long long>(text.size());
    if (!spec.left) pad(out, room, ' ');
    out.write(text);
    if (spec.left) pad(out, room, ' ');
    out.write(spec.trailing);
}

}  // namespace tagsift
