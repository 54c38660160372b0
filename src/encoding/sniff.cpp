// A page's encoding from its first bytes, as the HTML standard finds it.
#include <algorithm>
#include <vector>

#include "base/text.h"
#include "encoding/encoding.h"

namespace tagsift {

namespace {

// Where the blanks from i on end: a byte that is none, or the value's end.
std::size_t pastBlanks(std::string_view value, std::size_t i) {
    return std::min(value.find_first_not_of("\t\n\f\r ", i), value.size());
}
bool isLetter(char c) { return asciiLower(c) >= 'a' && asciiLower(c) <= 'z'; }
bool isUtf16(Encoding e) { return e.name().starts_with("UTF-16"); }

// What the charset parameter of a content attribute's value names, if anything.
std::optional<Encoding> charsetOfContent(std::string_view value) {
    for (std::size_t from = 0;;) {
        std::size_t at = from;
        while (at + 7 <= value.size() && !equalsIgnoringCase(value.substr(at, 7), "charset")) ++at;
        if (at + 7 > value.size()) return std::nullopt;
        std::size_t i = pastBlanks(value, at + 7);
        if (i == value.size() || value[i] != '=') {
            from = i;  // "charset" was a word of something else: look on from there
            continue;
        }
        i = pastBlanks(value, i + 1);
        if (i == value.size()) return std::nullopt;
        if (value[i] == '"' || value[i] == '\'') {
            const std::string_view inside = value.substr(i + 1);
            const std::size_t close = inside.find(value[i]);
            if (close == std::string_view::npos) return std::nullopt;
            return Encoding::forLabel(inside.substr(0, close));
        }
        std::size_t end = i;
        while (end < value.size() && !isAsciiWhitespace(value[end]) && value[end] != ';') ++end;
        return Encoding::forLabel(value.substr(i, end - i));
    }
}

// The prescan's reading of a tag's attributes: names and values in ASCII lower case, values
// unquoted. Running past the end of the bytes ends the whole prescan without a result.
class Prescan {
public:
    explicit Prescan(std::string_view bytes) : s_(bytes) {}
    std::optional<Encoding> run();

private:
    enum class Got { Attribute, None, End };
    enum class Need { Unknown, Pragma, NoPragma };

    bool atEnd() const { return at_ >= s_.size(); }
    bool startsWith(std::string_view text) const { return s_.substr(at_).starts_with(text); }
    Got attribute(std::string& name, std::string& value);
    // A <meta>'s attributes, from after its name; nullopt when it names no encoding (or the bytes
    // end in it, which ends the prescan too).
    std::optional<Encoding> meta();

    std::string_view s_;
    std::size_t at_ = 0;
};

Prescan::Got Prescan::attribute(std::string& name, std::string& value) {
    name.clear();
    value.clear();
    while (!atEnd() && (isAsciiWhitespace(s_[at_]) || s_[at_] == '/')) ++at_;
    if (atEnd()) return Got::End;
    if (s_[at_] == '>') return Got::None;
    for (;; ++at_) {
        if (atEnd()) return Got::End;
        const char c = s_[at_];
        if (c == '=' && !name.empty()) break;
        if (isAsciiWhitespace(c)) {
            while (!atEnd() && isAsciiWhitespace(s_[at_])) ++at_;
            if (atEnd()) return Got::End;
            if (s_[at_] != '=') return Got::Attribute;
            break;
        }
        if (c == '/' || c == '>') return Got::Attribute;
        name.push_back(asciiLower(c));
    }
    ++at_;  // past the '='
    while (!atEnd() && isAsciiWhitespace(s_[at_])) ++at_;
    if (atEnd()) return Got::End;
    const char quote = s_[at_];
    if (quote == '"' || quote == '\'') {
        for (++at_; !atEnd(); ++at_) {
            if (s_[at_] == quote) {
                ++at_;
                return Got::Attribute;
            }
            value.push_back(asciiLower(s_[at_]));
        }
        return Got::End;
    }
    if (quote == '>') return Got::Attribute;
    for (; !atEnd(); ++at_) {
        if (isAsciiWhitespace(s_[at_]) || s_[at_] == '>') return Got::Attribute;
        value.push_back(asciiLower(s_[at_]));
    }
    return Got::End;
}

std::optional<Encoding> Prescan::meta() {
    std::vector<std::string> seen;
    std::string name, value;
    bool gotPragma = false;
    Need need = Need::Unknown;
    bool failed = false;  // a charset attribute named no encoding
    std::optional<Encoding> charset;
    for (;;) {
        const Got got = attribute(name, value);
        if (got == Got::End) return std::nullopt;
        if (got == Got::None) break;
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
        seen.push_back(name);
        if (name == "http-equiv") {
            gotPragma = gotPragma || value == "content-type";
        } else if (name == "content") {
            if (!charset && !failed) {
                charset = charsetOfContent(value);
                if (charset) need = Need::Pragma;
            }
        } else if (name == "charset") {
            charset = Encoding::forLabel(value);
            failed = !charset;
            need = Need::NoPragma;
        }
    }
    if (need == Need::Unknown || (need == Need::Pragma && !gotPragma) || !charset) return std::nullopt;
    // A <meta> that the prescan could read is not written in UTF-16; x-user-defined is for
    // scripts, not for pages.
    if (isUtf16(*charset)) return Encoding();
    if (charset->name() == "x-user-defined") return Encoding::forLabel("windows-1252");
    return charset;
}

std::optional<Encoding> Prescan::run() {
    std::string name, value;
    for (; !atEnd(); ++at_) {
        if (startsWith("<!--")) {
            // To the end of the first "-->" whose dashes may be those of the "<!--" itself.
            const std::size_t close = s_.find("-->", at_ + 2);
            if (close == std::string_view::npos) return std::nullopt;
            at_ = close + 2;
        } else if (at_ + 5 < s_.size() && s_[at_] == '<' && equalsIgnoringCase(s_.substr(at_ + 1, 4), "meta") &&
                   (isAsciiWhitespace(s_[at_ + 5]) || s_[at_ + 5] == '/')) {
            at_ += 6;
            if (std::optional<Encoding> found = meta()) return found;
            if (atEnd()) return std::nullopt;
        } else if (const std::string_view next = s_.substr(at_ + 1, 2);
                   s_[at_] == '<' && !next.empty() &&
                   (isLetter(next[0]) || (next.size() == 2 && next[0] == '/' && isLetter(next[1])))) {
            // Another tag: past its name, then past its attributes, whose values may hold a '>'.
            while (!atEnd() && !isAsciiWhitespace(s_[at_]) && s_[at_] != '>') ++at_;
            Got got;
            while ((got = attribute(name, value)) == Got::Attribute) {
            }
            if (got == Got::End) return std::nullopt;
        } else if (startsWith("<!") || startsWith("</") || startsWith("<?")) {
            at_ = s_.find('>', at_ + 1);
            if (at_ == std::string_view::npos) return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Encoding> prescanForMeta(std::string_view start) { return Prescan(start).run(); }

Encoding sniffEncoding(std::string_view start, std::string_view httpCharset, Encoding fallback) {
    if (start.starts_with("\xEF\xBB\xBF")) return Encoding();
    if (start.starts_with("\xFE\xFF")) return *Encoding::forLabel("utf-16be");
    if (start.starts_with("\xFF\xFE")) return *Encoding::forLabel("utf-16le");
    if (std::optional<Encoding> http = Encoding::forLabel(httpCharset); http && !isUtf16(*http)) return *http;
    if (std::optional<Encoding> meta = prescanForMeta(start.substr(0, kPrescanBytes))) return *meta;
    // A page without a byte order mark whose tags a byte scanner finds is not in UTF-16, whatever
    // the command line says.
    return isUtf16(fallback) ? Encoding() : fallback;
}

}  // namespace tagsift
