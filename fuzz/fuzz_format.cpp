// Format compile and render, with two oracles:
//   - every number and text conversion prints what the C library's printf
//     prints for the same flags, width, precision and letter;
//   - rendering a format and then closing its body region prints exactly what
//     the same format without body markers prints in one go.
//
// Input, split at line feeds:
//   line 1     the format text
//   line 2     the rule name (also the scanned tag name)
//   the rest   attributes: NAME (no value), NAME=VALUE, NAME="VALUE", NAME='VALUE'
// The last byte picks the values of the four number variables.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal.h"
#include "format/body.h"
#include "format/conversion.h"
#include "format/format.h"
#include "io/output.h"
#include "format/render.h"
#include "tag/tag.h"

namespace {

using namespace tagsift;

constexpr long long kNumbers[] = {0, 1, -1, 255, 4294967296LL, -123456789, LLONG_MAX, LLONG_MIN};

// See fuzz_program.cpp: wide conversions only cost time.
bool hasHugeWidth(std::string_view data) {
    bool inConversion = false;
    int run = 0;
    for (char c : data) {
        if (c == '%') {
            inConversion = true;
            run = 0;
        } else if (c == '$') {
            inConversion = false;
        } else if (inConversion && c >= '0' && c <= '9') {
            if (++run > 4) return true;
            continue;
        }
        run = 0;
    }
    return false;
}

[[noreturn]] void mismatch(const char* what, const std::string& expected, const std::string& got) {
    std::fprintf(stderr, "%s: printf gives [%s], tagsift gives [%s]\n", what, expected.c_str(),
                 got.c_str());
    std::abort();
}

std::string printfSpec(const ConversionSpec& spec, const char* length, char letter) {
    std::string f = "%";
    if (spec.left) f += '-';
    if (spec.plus) f += '+';
    if (spec.space) f += ' ';
    if (spec.alternate) f += '#';
    if (spec.zero) f += '0';
    f += std::to_string(spec.width);
    if (spec.precision >= 0) f += "." + std::to_string(spec.precision);
    f += length;
    f += letter;
    return f;
}

std::string viaPrintf(const std::string& format, auto value) {
    int n = std::snprintf(nullptr, 0, format.c_str(), value);
    if (n < 0) std::abort();
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(s.data(), s.size(), format.c_str(), value);
    s.resize(static_cast<std::size_t>(n));
    return s;
}

void checkNumber(const ConversionSpec& spec, long long value) {
    if (!spec.hasValue) return;  // only literal text and "%%" pairs: nothing to compare
    char letter = spec.letter;
    if (letter != 'i' && letter != 'u' && letter != 'o' && letter != 'x' && letter != 'X' &&
        letter != 'c')
        letter = 'd';
    std::string expected;
    if (letter == 'c') {
        // The zero flag is undefined for %c; the byte itself may be a NUL, which printf does print.
        if (spec.zero) return;
        expected = viaPrintf(printfSpec(spec, "", 'c'), static_cast<int>(value & 0xFF));
    } else if (letter == 'd' || letter == 'i') {
        expected = viaPrintf(printfSpec(spec, "ll", letter), value);
    } else {
        expected = viaPrintf(printfSpec(spec, "ll", letter), static_cast<unsigned long long>(value));
    }
    expected = spec.leading + expected + spec.trailing;
    Output out(-1);
    formatNumber(out, spec, value);
    out.flush();
    if (out.collected() != expected) mismatch("number", expected, out.collected());
}

void checkText(const ConversionSpec& spec, const std::string& text) {
    if (text.find('\0') != std::string::npos) return;  // printf would stop there
    if (!spec.hasValue) return;
    std::string expected =
        spec.leading + viaPrintf(printfSpec(spec, "", 's'), text.c_str()) + spec.trailing;
    Output out(-1);
    formatText(out, spec, text);
    out.flush();
    if (out.collected() != expected) mismatch("text", expected, out.collected());
}

std::string renderOnce(std::string_view name, const Format& items, const AttributeList& attributes,
                       bool closeRegion) {
    Output out(-1);
    BodyCapture body;
    Renderer renderer(out, body);
    AttributeList list = attributes;
    renderer.renderFormat(name, items, list);
    if (body.active) {
        if (!list.empty()) std::abort();  // the region must have taken the attributes
        if (closeRegion) {
            renderer.flushBody();
            if (body.active) std::abort();
        }
    }
    out.flush();
    return out.collected();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    std::string_view data(reinterpret_cast<const char*>(bytes), size);
    if (hasHugeWidth(data)) return -1;
    unsigned pick = static_cast<unsigned char>(data.back());

    std::vector<std::string_view> lines;
    for (std::string_view rest = data;;) {
        std::size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    std::string tagName(lines.size() > 1 ? lines[1] : "a");

    AttributeList attributes;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        Attribute& a = attributes.add();
        std::size_t eq = line.find('=');
        a.name = std::string(line.substr(0, eq));
        if (eq == std::string_view::npos) continue;
        std::string_view value = line.substr(eq + 1);
        a.hasValue = true;
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
            a.quote = value[0];
            value = value.substr(1, value.size() - 2);
        }
        a.value = std::string(value);
    }

    long long count = kNumbers[pick & 7];
    long long line = kNumbers[(pick >> 3) & 7];
    long long column = kNumbers[(pick >> 5) & 7];
    long long globalCount = kNumbers[(pick * 7) & 7];
    FormatBindings live{&tagName, &line, &column, &globalCount};

    Format items;
    try {
        items = compileFormat(lines[0], &count, live);
    } catch (const Fatal&) {
        return 0;
    }

    for (const FormatItem& item : items) {
        if (item.kind == FormatKind::Number) {
            checkNumber(item.spec, *item.number);
            checkNumber(item.spec, kNumbers[(pick + 1) & 7]);
        } else if (item.kind == FormatKind::Text) {
            checkText(item.spec, *item.textTarget);
        } else if (item.kind == FormatKind::Attribute) {
            for (const Attribute& a : attributes)
                if (a.hasValue) checkText(item.spec, a.value);
        }
    }

    Format withoutBody;
    for (const FormatItem& item : items)
        if (item.kind != FormatKind::Body) withoutBody.push_back(item);
    std::string whole = renderOnce(tagName, withoutBody, attributes, true);
    std::string split = renderOnce(tagName, items, attributes, true);
    if (split != whole) mismatch("body region", whole, split);
    // A region left open at the end of the input prints a prefix and nothing after it.
    std::string open = renderOnce(tagName, items, attributes, false);
    if (whole.compare(0, open.size(), open) != 0) mismatch("open region", whole, open);
    return 0;
}
