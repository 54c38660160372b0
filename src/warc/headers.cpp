#include "warc/headers.h"

#include <cstring>

#include "base/text.h"

namespace tagsift::warc {

namespace {
std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && isSpace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

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
    for (std::size_t semicolon = contentType.find(';'); semicolon != std::string_view::npos;) {
        const std::size_t next = contentType.find(';', semicolon + 1);
        const std::string_view item = contentType.substr(semicolon + 1, next - semicolon - 1);
        semicolon = next;
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos || !equalsIgnoringCase(trimmed(item.substr(0, equals)), name)) continue;
        std::string_view value = trimmed(item.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

}  // namespace tagsift::warc
