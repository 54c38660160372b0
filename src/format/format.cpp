#include "format/format.h"

#include <algorithm>

#include "base/fatal.h"
#include "base/text.h"

namespace tagsift {

namespace {

// Decodes the escapes of one literal stretch in place; false on a bad escape.
// A zero byte produced by an escape ends the text.
bool decodeEscapes(std::string& text) {
    std::string out;
    out.reserve(text.size());
    // A zero byte ends the literal text, but the escapes after it are still read: a bad one
    // there is as wrong as anywhere.
    std::size_t zero = std::string::npos;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i++]);
            continue;
        }
        const Escape e = readEscape(text, i);
        i += e.length;
        switch (e.kind) {
            case Escape::HexWithoutDigits: return false;
            case Escape::Other:
                out.push_back('\\');
                out.push_back(e.value);
                continue;
            case Escape::Number:
                if (e.value == 0 && zero == std::string::npos) zero = out.size();
                break;
            case Escape::Simple: break;
        }
        out.push_back(e.value);
    }
    if (zero != std::string::npos) out.resize(zero);
    text = std::move(out);
    return true;
}

struct SystemVariable {
    std::string_view name;
    FormatKind kind;
    Variable variable;
    const char* letter;
};

constexpr SystemVariable kSystemVariables[] = {
    {"name", FormatKind::Text, Variable::Name, "s"},     {"line", FormatKind::Number, Variable::Line, "d"},
    {"pos", FormatKind::Number, Variable::Pos, "d"},     {"tag", FormatKind::WholeTag, Variable::None, "s"},
    {"num", FormatKind::Number, Variable::Num, "d"},     {"gnum", FormatKind::Number, Variable::Gnum, "d"},
    {"body", FormatKind::Body, Variable::None, ""},     {"file", FormatKind::Text, Variable::File, "s"},
    {"url", FormatKind::Text, Variable::Url, "s"},      {"date", FormatKind::Text, Variable::Date, "s"},
    {"status", FormatKind::Text, Variable::Status, "s"}, {"type", FormatKind::Text, Variable::Type, "s"},
    {"offset", FormatKind::Text, Variable::Offset, "s"}, {"record", FormatKind::Text, Variable::Record, "s"},
    {"truncated", FormatKind::Text, Variable::Truncated, "s"}, {"charset", FormatKind::Text, Variable::Charset, "s"},
};

BodyMode bodyModeOf(std::string_view conversion) {
    if (conversion.starts_with("%c")) return BodyMode::NoComments;
    if (conversion.starts_with("%t")) return BodyMode::TextOnly;
    return BodyMode::Everything;
}

// A body's H or J comes after its mode letter, or right after the '%' when it has none.
ValueSteps bodyStepsOf(std::string_view conversion, BodyMode mode) {
    const std::size_t at = mode == BodyMode::Everything ? 1 : 2;
    if (conversion.size() != at + 1 || (conversion[at] != 'H' && conversion[at] != 'J')) return {};
    ValueSteps steps;  // a body is no address to resolve
    steps.decode = true;
    steps.json = conversion[at] == 'J';
    return steps;
}

// A text's conversion letter H, U, J, or U followed by J, picks its steps. The default letter
// appended to the conversion then ends the trailing text; these print nothing for it.
ValueSteps takeValueLetters(ConversionSpec& conversion) {
    ValueSteps steps;
    switch (conversion.letter) {
        case 'H': steps = {true, false, false}; break;
        case 'U':
            steps = {true, true, conversion.trailing.starts_with('J')};
            break;
        case 'J': steps = {true, false, true}; break;
        default: return steps;
    }
    conversion.trailing.pop_back();
    if (conversion.letter == 'U' && steps.json) conversion.trailing.erase(0, 1);
    return steps;
}

void appendLiteral(Format& items, std::string_view written) {
    std::string decoded(written);
    if (!decodeEscapes(decoded)) throw fatal::badEscape(written);
    FormatItem item;
    item.kind = FormatKind::Literal;
    item.text = collapsePercents(decoded);
    items.push_back(std::move(item));
}

}  // namespace

Format compileFormat(std::string_view text) {
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
            item.variable = found->variable;
            if (item.kind == FormatKind::Body) {
                item.bodyMode = bodyModeOf(conversion);
                item.steps = bodyStepsOf(conversion, item.bodyMode);
            }
            conversion += found->letter;
        } else {
            item.kind = FormatKind::Attribute;
            item.quoted = !name.empty() && name[0] == '~';
            item.text = std::string(item.quoted ? name.substr(1) : name);
            conversion += 's';
        }
        item.spec = parseConversion(conversion);
        if (item.kind != FormatKind::Number && item.kind != FormatKind::Body)
            item.steps = takeValueLetters(item.spec);
        item.plain = item.kind == FormatKind::Attribute && !item.quoted && !item.steps.decode && !item.steps.resolve &&
                     !item.steps.json && item.spec.bare();
        items.push_back(std::move(item));
        pos = close + 1;
    }
    return items;
}

std::size_t plainTextBody(std::span<const FormatItem> items) {
    const auto body = std::find_if(items.begin(), items.end(),
                                   [](const FormatItem& item) { return item.kind == FormatKind::Body; });
    if (body == items.end() || body->bodyMode != BodyMode::TextOnly || body->steps.decode) return std::string::npos;
    const auto at = static_cast<std::size_t>(body - items.begin());
    if (!plainFormat(items.first(at)) || !plainFormat(items.subspan(at + 1))) return std::string::npos;
    return at;
}

bool plainFormat(std::span<const FormatItem> items) {
    return std::all_of(items.begin(), items.end(),
                       [](const FormatItem& item) { return item.kind == FormatKind::Literal || item.plain; });
}

}  // namespace tagsift
