#include "tag/tag.h"

#include "base/text.h"

namespace tagsift {

namespace {
// Names are mostly written alike, byte for byte: a byte that differs must be the same letter in
// the other case.
bool sameName(std::string_view a, std::string_view b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y && ((x ^ y) != 0x20 || static_cast<unsigned char>((x | 0x20) - 'a') > 'z' - 'a')) return false;
    }
    return true;
}
}  // namespace

const Attribute* AttributeList::find(std::string_view name) const {
    for (const Attribute& a : *this)
        if (a.name.size() == name.size() && sameName(a.name, name)) return &a;
    return nullptr;
}

void AttributeList::keep() {
    for (std::size_t i = 0; i < count_; ++i) {
        Attribute& a = slots_[i];
        if (!a.ownsName) {
            a.nameStore.assign(a.name);
            a.ownName();
        }
        if (!a.ownsValue) {
            a.valueStore.assign(a.value);
            a.ownValue();
        }
    }
}

void AttributeList::grow() {
    slots_.emplace_back();
    for (Attribute& a : slots_) {
        if (a.ownsName) a.name = a.nameStore;
        if (a.ownsValue) a.value = a.valueStore;
    }
}

}  // namespace tagsift
