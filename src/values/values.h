// Values made ready for use downstream: what the conversions %H, %U and %J do
// to a text before it is printed.
//
// Decoding turns the character references of HTML into UTF-8 as Python's
// html.unescape does: every named reference of the HTML standard (the legacy
// names also without their ';', taking the longest that fits), decimal and
// hexadecimal ones with the standard's replacements for 0, surrogates, values
// past U+10FFFF and 0x80-0x9F (read as windows-1252); the code points the
// standard calls controls or noncharacters are dropped. In attribute values,
// a legacy name without ';' that an ASCII letter, digit or '=' follows stays
// as written, as browsers read attribute values.
//
// Resolving follows RFC 3986 section 5 (a reference with the base's own
// scheme and no authority is read as relative, as browsers and urljoin do).
//
// JSON escaping writes the inside of a JSON string: '"', '\' and controls as
// escapes, U+2028 and U+2029 too, and each malformed stretch of UTF-8 as one
// U+FFFD (the way the WHATWG decoder, and Python's errors="replace", count
// them), so every result parses and holds only what the text held.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagsift {

enum class ReferencesIn { Text, Attribute };

// Appends text to out with its character references decoded.
void appendDecoded(std::string_view text, ReferencesIn where, std::string& out);

// Decodes text that arrives in pieces, as a body region copies it: a reference
// cut between two pieces decodes whole. What it holds back is a few bytes.
class StreamingDecoder {
public:
    void feed(std::string_view piece, std::string& out);
    // The text ends (a tag comes, or the region closes): what is held back decodes as it stands.
    void finish(std::string& out);

private:
    std::string held_;  // the start of a reference that the next piece may go on with
};

// The reference resolved against base; an empty base stands for no base at all. Blanks and
// controls around either, and tabs and line ends inside, do not count.
std::string resolveUrl(std::string_view base, std::string_view reference);

// The UTF-8 decoder of the WHATWG encoding standard, a byte at a time: what the two
// classes below share.
class Utf8Reader {
public:
    // Reads a byte: a character read whole goes to character (its bytes), each malformed
    // stretch ended to stray (a byte that cannot go on with the character begun ends it, and
    // is read again on its own).
    template <typename Character, typename Stray>
    void take(unsigned char byte, Character&& character, Stray&& stray);
    // Reads a piece as take() does, but that while no character is begun a run of bytes that
    // passes (ASCII that needs nothing done) goes to out at once: most of a page is such.
    template <typename Passes, typename Character, typename Stray>
    void feed(std::string_view piece, std::string& out, Passes&& passes, Character&& character, Stray&& stray);
    // The text ends: an unfinished character is a malformed stretch.
    template <typename Stray>
    void finish(Stray&& stray);

private:
    // No character is begun: an ASCII byte would be one of its own.
    bool idle() const { return need_ == 0; }

    unsigned char held_[4] = {};  // the lead byte and up to three more
    int have_ = 0;  // bytes of the character begun
    int need_ = 0;  // continuation bytes it still lacks
    unsigned char lower_ = 0x80, upper_ = 0xBF;  // where its next byte must lie
};

// Escapes text that arrives in pieces into the inside of a JSON string; a UTF-8
// character cut between two pieces comes out whole.
class JsonEscaper {
public:
    void feed(std::string_view piece, std::string& out);
    // The text ends: an unfinished character stands for one U+FFFD.
    void finish(std::string& out);

private:
    Utf8Reader reader_;
};

// Copies UTF-8 that arrives in pieces with each malformed stretch made one byte 0xFF, which
// begins no character and ends any begun: stretches that character references lie between
// stay apart when the references are decoded (or dropped), and JsonEscaper later counts one
// U+FFFD for each, as it would have counted them.
class StrayMarker {
public:
    void feed(std::string_view piece, std::string& out);
    void finish(std::string& out);

private:
    Utf8Reader reader_;
};

void appendJsonEscaped(std::string_view text, std::string& out);

// The length of the longest start of text, at most limit bytes, that cuts no UTF-8 character
// (and, in escaped JSON, no escape) in two: where a precision cuts a converted value.
std::size_t wholeCharacters(std::string_view text, std::size_t limit, bool json);

}  // namespace tagsift
