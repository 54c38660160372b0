#include "warc/headers.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace tagsift::warc {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && isSpace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

namespace {

// The line at the start of s without its line end, and the length with it.
std::string_view lineAt(std::string_view s, std::size_t& length) {
    const std::size_t lf = s.find('\n');
    length = lf == std::string_view::npos ? s.size() : lf + 1;
    std::string_view line = s.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}
}  // namespace

std::string_view HeaderBlock::value(std::string_view name) const {
    for (auto field = fields.rbegin(); field != fields.rend(); ++field)
        if (equalsIgnoringCase(field->first, name)) return field->second;
    return {};
}

int HeaderBlock::count(std::string_view name) const {
    int n = 0;
    for (const auto& field : fields) n += equalsIgnoringCase(field.first, name);
    return n;
}

std::size_t headerBlockEnd(std::string_view bytes) {
    for (std::size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n', lf + 1)) {
        if (lf + 1 < bytes.size() && bytes[lf + 1] == '\n') return lf + 2;
        if (lf + 2 < bytes.size() && bytes[lf + 1] == '\r' && bytes[lf + 2] == '\n') return lf + 3;
    }
    return std::string_view::npos;
}

std::string_view firstLine(std::string_view bytes) {
    std::size_t length;
    return lineAt(bytes, length);
}

void parseHeaderBlock(std::string_view block, HeaderBlock& into) {
    into.fields.clear();
    std::size_t length;  // of each line, line end included
    into.first = lineAt(block, length);
    for (std::size_t at = length; at < block.size(); at += length) {
        const std::string_view line = lineAt(block.substr(at), length);
        if (line.empty()) break;
        if ((line[0] == ' ' || line[0] == '\t') && !into.fields.empty()) {
            // The value goes on: its view now reaches to this line's end.
            std::string_view& value = into.fields.back().second;
            const char* from = value.empty() ? line.data() : value.data();
            value = trimmed(std::string_view(from, static_cast<std::size_t>(line.data() + line.size() - from)));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        into.fields.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
}

std::string oneLine(std::string_view value) {
    std::string line;
    bool folded = false;  // a line end seen, and the blanks after it not yet passed
    for (const char c : value) {
        if (c == '\r' || c == '\n') {
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
            folded = true;
        } else if (!folded || !isSpace(static_cast<unsigned char>(c))) {
            if (folded) line += ' ';
            folded = false;
            line += c;
        }
    }
    if (folded) line += ' ';
    return line;
}

std::string mediaType(std::string_view contentType) {
    return lowerCased(trimmed(contentType.substr(0, contentType.find(';'))));
}

std::string parameter(std::string_view contentType, std::string_view name) {
    // As the MIME Sniffing standard reads parameters: a quoted value may hold ';' and backslash
    // escapes; a name or value with a byte the standard does not allow there, and an unquoted
    // empty value, are passed over; the first of a name that is left counts, even empty.
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    auto tokenByte = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    };
    auto quotedByte = [](char c) { return c == '\t' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F); };
    const std::size_t size = contentType.size();
    for (std::size_t at = contentType.find(';'); at < size;) {
        ++at;
        while (at < size && blank(contentType[at])) ++at;
        const std::size_t nameEnd = std::min(contentType.find_first_of(";=", at), size);
        const std::string_view itemName = contentType.substr(at, nameEnd - at);
        at = nameEnd;
        if (at == size) break;
        if (contentType[at] == ';') continue;
        std::string value;
        if (++at < size && contentType[at] == '"') {
            for (++at; at < size && contentType[at] != '"'; ++at) {
                if (contentType[at] == '\\' && at + 1 < size) ++at;
                value += contentType[at];
            }
            at = std::min(contentType.find(';', at), size);
        } else {
            const std::size_t end = std::min(contentType.find(';', at), size);
            std::string_view raw = contentType.substr(at, end - at);
            while (!raw.empty() && blank(raw.back())) raw.remove_suffix(1);
            at = end;
            if (raw.empty()) continue;
            value = raw;
        }
        if (itemName.empty() || !std::all_of(itemName.begin(), itemName.end(), tokenByte) ||
            !std::all_of(value.begin(), value.end(), quotedByte))
            continue;
        if (equalsIgnoringCase(itemName, name)) return value;
    }
    return {};
}

}  // namespace tagsift::warc
