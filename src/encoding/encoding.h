// The encodings of web pages, and their text turned into UTF-8.
//
// An Encoding is one of the encodings of the WHATWG Encoding standard, named
// as the standard names it (UTF-8, windows-1252, Shift_JIS ...) and found
// from a label as the standard reads labels ("latin1" and "ascii" mean
// windows-1252, "gb2312" GBK, ...). sniffEncoding() decides a page's
// encoding as the HTML standard does: a byte order mark, then what the
// HTTP header says, then a <meta> in the first 1024 bytes, else a fallback.
//
// A TextDecoder turns text in an encoding into UTF-8, whole or in pieces,
// through glibc's iconv: each single-byte encoding through a table of 256
// entries made from iconv once, the others through iconv itself. Where
// iconv's charsets and the standard differ, the standard's result is taken
// where it can be had simply (see encoding.cpp); each byte that starts no
// character becomes one U+FFFD. UTF-16 pages are out of reach of a byte
// scanner: their text, like that of the replacement encoding, decodes to a
// single U+FFFD.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tagsift {

class Encoding {
public:
    // UTF-8.
    constexpr Encoding() = default;
    // The encoding a label names, ASCII blanks around it and letter case aside; nullopt for a
    // label the standard does not know.
    static std::optional<Encoding> forLabel(std::string_view label);

    // The standard's name: what $_charset$ prints.
    std::string_view name() const;
    bool isUtf8() const { return id_ == 0; }
    bool operator==(const Encoding&) const = default;

private:
    friend class TextDecoder;
    constexpr explicit Encoding(unsigned char id) : id_(id) {}
    unsigned char id_ = 0;  // a row of the table in encoding.cpp
};

// How many bytes of a page the <meta> prescan reads.
inline constexpr std::size_t kPrescanBytes = 1024;

// The encoding that the page's first bytes name in a <meta charset> or a <meta http-equiv=
// "Content-Type" content="...; charset=...">, as the HTML standard's prescan finds it (after
// comments and other tags, before the end of start); nullopt when they name none it knows.
std::optional<Encoding> prescanForMeta(std::string_view start);

// A page's encoding: a byte order mark at the start of start; else the HTTP charset when it
// names an encoding other than UTF-16 (a page whose tags a byte scanner finds is none); else
// what prescanForMeta finds in the first kPrescanBytes of start; else fallback.
Encoding sniffEncoding(std::string_view start, std::string_view httpCharset, Encoding fallback);

// Turns text in an encoding into UTF-8. For UTF-8 itself the bytes go through as they are.
class TextDecoder {
public:
    explicit TextDecoder(Encoding encoding = {}) { reset(encoding); }
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;
    ~TextDecoder();

    // Forgets what is held and starts again, in encoding.
    void reset(Encoding encoding);
    Encoding encoding() const { return encoding_; }

    // Appends the UTF-8 of a piece of text; a character cut between two pieces comes out whole.
    void feed(std::string_view piece, std::string& out);
    // The text ends: an unfinished character comes out as one U+FFFD, and the next piece starts
    // a text of its own.
    void finish(std::string& out);
    // A whole text: feed and finish.
    void convert(std::string_view text, std::string& out) {
        feed(text, out);
        finish(out);
    }

private:
    enum class Kind { Same, Table, Iconv, Replacement };
    std::size_t convertSome(const char* in, std::size_t n, bool final, std::string& out);
    void closeIconv();

    Encoding encoding_;
    Kind kind_ = Kind::Same;
    const struct TableEntry* table_ = nullptr;  // Table: the UTF-8 of each byte
    void* iconv_ = nullptr;                     // Iconv: the open descriptor, kept across resets
    Encoding iconvFor_;                         // the encoding it was opened for
    bool replaced_ = false;                     // Replacement: the U+FFFD of this text is out
    std::string held_;                          // Iconv: the start of a character cut off
    std::string joined_;
};

}  // namespace tagsift
