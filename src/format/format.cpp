#include "format/format.h"

#include "driver/fatal.h"
#include "scanner/text.h"

namespace tagsift {

namespace {

bool isDecimal(char c) { return c >= '0' && c <= '9'; }
bool isOctal(char c) { return c >= '0' && c <= '7'; }

struct SystemVariable {
    std::string_view name;
    FormatKind kind;
    const char* letter;
};

constexpr SystemVariable kSystemVariables[] = {
    {"name", FormatKind::Text, "s"},     {"line", FormatKind::Number, "d"},
    {"pos", FormatKind::Number, "d"},    {"tag", FormatKind::WholeTag, "s"},
    {"num", FormatKind::Number, "d"},    {"gnum", FormatKind::Number, "d"},
    {"body", FormatKind::Body, ""},
};

void appendLiteral(Format& items, std::string_view written) {
    std::string decoded(written);
    if (!decodeEscapes(decoded)) throw fatal::badEscape(written);
    FormatItem item;
    item.kind = FormatKind::Literal;
    item.text = collapsePercents(decoded);
    items.push_back(std::move(item));
}

}  // namespace

bool decodeEscapes(std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out.push_back(c);
            ++i;
            continue;
        }
        char next = text[i + 1];
        int value;
        if (char simple = simpleEscape(next)) {
            out.push_back(simple);
            i += 2;
            continue;
        }
        if (isOctal(next)) {
            std::size_t j = i + 1;
            value = 0;
            bool octalRun = true;
            for (; j < text.size() && isDecimal(text[j]); ++j) {
                if (!isOctal(text[j])) octalRun = false;
                if (octalRun) value = (value * 8 + (text[j] - '0')) & 0xFF;
            }
            i = j;
        } else if (next == 'x') {
            std::size_t j = i + 2;
            value = 0;
            for (; j < text.size() && hexDigitValue(text[j]) >= 0; ++j)
                value = (value * 16 + hexDigitValue(text[j])) & 0xFF;
            if (j == i + 2) return false;
            i = j;
        } else {
            out.push_back('\\');
            out.push_back(next);
            i += 2;
            continue;
        }
        if (value == 0) break;  // a zero byte ends the literal text
        out.push_back(static_cast<char>(value));
    }
    text = std::move(out);
    return true;
}

Format compileFormat(std::string_view text, const long long* ruleCount, const FormatBindings& live) {
    Format items;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t mark = text.find_first_of("%$", pos);
        if (mark == std::string_view::npos) {
            appendLiteral(items, text.substr(pos));
            break;
        }
        if (mark > pos) appendLiteral(items, text.substr(pos, mark - pos));
        std::size_t open = mark;
        std::string conversion = "%";
        if (text[mark] == '%') {
            open = text.find('$', mark);
            if (open == std::string_view::npos) throw fatal::noVariable();
            conversion = std::string(text.substr(mark, open - mark));
        }
        std::size_t close = text.find('$', open + 1);
        if (close == std::string_view::npos) throw fatal::noVariable();
        std::string_view name = text.substr(open + 1, close - open - 1);

        FormatItem item;
        if (!name.empty() && name[0] == '_') {
            std::string_view rest = name.substr(1);
            const SystemVariable* found = nullptr;
            for (const SystemVariable& v : kSystemVariables)
                if (equalsIgnoringCase(v.name, rest)) found = &v;
            if (!found) throw fatal::notSystemVariable(rest);
            item.kind = found->kind;
            conversion += found->letter;
            std::string_view which = found->name;
            if (which == "name") item.textTarget = live.tagName;
            else if (which == "line") item.number = live.tagLine;
            else if (which == "pos") item.number = live.tagColumn;
            else if (which == "num") item.number = ruleCount;
            else if (which == "gnum") item.number = live.globalCount;
        } else {
            item.kind = FormatKind::Attribute;
            item.text = std::string(name);
            conversion += 's';
        }
        item.spec = parseConversion(conversion);
        item.conversion = std::move(conversion);
        items.push_back(std::move(item));
        pos = close + 1;
    }
    return items;
}

}  // namespace tagsift
