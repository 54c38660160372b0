#include "scanner/attributes.h"

#include <cstring>

#include "driver/fatal.h"
#include "scanner/scanner.h"
#include "scanner/text.h"

namespace tagsift {

void AttributeList::swap(AttributeList& other) noexcept {
    slots_.swap(other.slots_);
    std::swap(count_, other.count_);
}

void readQuotedValue(Scanner& scanner, std::string& value) {
    int quote = scanner.getChar();
    value.clear();
    // No echo here: a quoted value never reaches an open region.
    if (!scanner.readQuotedInto(quote, value)) throw fatal::eofInTag();
}

namespace {
// The common tag, on one line and whole in the block, read straight from the block: the same
// steps as the character by character way below, which takes every other tag. False (and the
// list left empty, nothing read) when the tag is not such a tag.
bool readAttributesInBlock(Scanner& scanner, AttributeList& list) {
    const std::string_view in = scanner.unreadInBlock();
    if (in.empty() || !list.empty()) return false;
    const char* p = in.data();
    const char* const end = p + in.size();
    // Each step stops short at a line feed or the block's end, where the tag is not one of these.
    auto skipSpace = [&] {
        while (p != end && isSpace(static_cast<unsigned char>(*p)) && *p != '\n') ++p;
        return p != end && *p != '\n';
    };
    auto word = [&](std::string& to) {
        const char* from = p;
        while (p != end && !isWordDelimiter(*p)) ++p;
        if (p == end || *p == '\n') return false;
        to.assign(from, p);
        return true;
    };
    auto read = [&] {
        if (!skipSpace()) return false;
        while (*p != '>') {
            Attribute& a = list.add();
            if (!word(a.name) || !skipSpace()) return false;
            if (*p == '=') {
                ++p;
                if (!skipSpace()) return false;
                a.hasValue = true;
                if (*p == '"' || *p == '\'') {
                    a.quote = *p++;
                    const void* close = std::memchr(p, a.quote, static_cast<std::size_t>(end - p));
                    if (!close) return false;
                    const char* q = static_cast<const char*>(close);
                    if (std::memchr(p, '\n', static_cast<std::size_t>(q - p))) return false;
                    a.value.assign(p, q);
                    p = q + 1;
                } else if (!word(a.value)) {
                    return false;
                }
            }
            if (!skipSpace()) return false;
        }
        ++p;
        return true;
    };
    if (!read()) {
        list.clear();
        return false;
    }
    scanner.consumeInBlock(static_cast<std::size_t>(p - in.data()));
    return true;
}
}  // namespace

void readAttributes(Scanner& scanner, AttributeList& list) {
    if (readAttributesInBlock(scanner, list)) return;
    scanner.skipSpace();
    for (;;) {
        int c = scanner.getChar();
        if (c == '>') return;
        scanner.ungetChar(c);
        Attribute& a = list.add();
        scanner.readWord(a.name);
        scanner.skipSpace();
        c = scanner.getChar();
        if (c == '=') {
            scanner.skipSpace();
            c = scanner.getChar();
            a.hasValue = true;
            scanner.ungetChar(c);
            if (c == '"' || c == '\'') {
                a.quote = static_cast<char>(c);
                readQuotedValue(scanner, a.value);
            } else {
                scanner.readWord(a.value);
            }
        } else {
            scanner.ungetChar(c);
        }
        scanner.skipSpace();
    }
}

const Attribute* findAttribute(std::string_view name, const AttributeList& list) {
    for (const Attribute& a : list)
        if (equalsIgnoringCase(a.name, name)) return &a;
    return nullptr;
}

}  // namespace tagsift
