#include "tag/tag.h"

#include "base/text.h"

namespace tagsift {

const Attribute* AttributeList::find(std::string_view name) const {
    for (const Attribute& a : *this)
        if (equalsIgnoringCase(a.name, name)) return &a;
    return nullptr;
}

}  // namespace tagsift
