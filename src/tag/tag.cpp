#include "tag/tag.h"

#include "base/text.h"

namespace tagsift {

const Attribute* AttributeList::find(std::string_view name) const {
    for (const Attribute& a : *this)
        if (equalsIgnoringCase(a.name, name)) return &a;
    return nullptr;
}

void AttributeList::keep() {
    for (Attribute& a : std::span(slots_).first(count_)) {
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
    const Attribute* before = slots_.data();
    slots_.emplace_back();
    if (slots_.data() == before) return;  // not moved: every view still points home
    for (Attribute& a : slots_) {
        if (a.ownsName) a.name = a.nameStore;
        if (a.ownsValue) a.value = a.valueStore;
    }
}

}  // namespace tagsift
