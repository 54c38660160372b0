#include "scanner/attributes.h"

#include "driver/fatal.h"
#include "scanner/scanner.h"
#include "scanner/text.h"

namespace tagsift {

namespace {
// A record that once held a huge value gives its storage back, so one
// enormous tag does not keep the program's memory high for the rest of the run.
constexpr std::size_t kKeptCapacity = 1 << 16;

void release(std::string& s) {
    if (s.capacity() > kKeptCapacity) std::string().swap(s);
}
}  // namespace

Attribute& AttributeList::add() {
    if (count_ == slots_.size()) slots_.emplace_back();
    Attribute& a = slots_[count_++];
    a.name.clear();
    a.quote = 0;
    a.hasValue = false;
    a.value.clear();
    return a;
}

void AttributeList::clear() {
    for (std::size_t i = 0; i < count_; ++i) {
        release(slots_[i].name);
        release(slots_[i].value);
    }
    count_ = 0;
}

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

void readAttributes(Scanner& scanner, AttributeList& list) {
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
