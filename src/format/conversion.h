// printf-style conversions of format items, done safely.
//
// A conversion is '%', flags (- + blank # 0 '), a width, a precision, length
// letters (h l L q j z t, ignored) and then a letter that picks the form; an
// asterisk stands for nothing. Numbers: d i (signed), u, o, x, X, c; any
// other letter prints the number as d would. Texts print as s whatever the
// letter. Whatever follows the letter is printed as written ("%%" as one
// '%'). So '%x$_num$', compiled to "%xd", prints the count in hex then 'd'.
// As in printf, "%%" before the conversion prints one '%', and a conversion
// made of nothing but such pairs and plain text ("%%d") prints no value.
// Values are only ever read as the number or text the item names.
#pragma once

#include <string>
#include <string_view>

namespace tagsift {

class Output;

struct ConversionSpec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zero = false;
    long long width = 0;
    long long precision = -1;  // -1: none
    std::string leading;       // printed before the value
    bool hasValue = true;      // false when no '%' is left to convert the value
    char letter = '\0';        // none when the conversion has no letter
    std::string trailing;      // printed after the value

    // Prints the value as it is: most conversions, which the caller writes without a call.
    bool bare() const { return width == 0 && precision < 0 && hasValue && leading.empty() && trailing.empty(); }
};

ConversionSpec parseConversion(std::string_view conversion);
void formatNumber(Output& out, const ConversionSpec& spec, long long value);
void formatText(Output& out, const ConversionSpec& spec, std::string_view text);

// Collapses each "%%" to one '%': literal text is printed the way printf prints a format.
std::string collapsePercents(std::string_view text);

}  // namespace tagsift
