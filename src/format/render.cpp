#include "format/render.h"

namespace tagsift {

void Renderer::renderFormat(std::string_view name, std::span<const FormatItem> items,
                            AttributeList& attributes) {
    renderItems(name, items, attributes, true);
}

void Renderer::renderItems(std::string_view name, std::span<const FormatItem> items,
                           AttributeList& attributes, bool mayOpenRegion) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FormatItem& item = items[i];
        switch (item.kind) {
            case FormatKind::Literal: out_.write(item.text); break;
            case FormatKind::Number: formatNumber(out_, item.spec, *item.number); break;
            case FormatKind::Text: formatText(out_, item.spec, *item.textTarget); break;
            case FormatKind::WholeTag: printTag(name, attributes); break;
            case FormatKind::Attribute: printAttribute(item, attributes); break;
            case FormatKind::Body:
                // Only the first marker of a format opens a region; a later one,
                // reached while the region's rest is printed, prints nothing.
                if (!mayOpenRegion) break;
                body_.endName.assign(name);
                body_.rest = items.subspan(i + 1);
                body_.attributes.clear();
                body_.attributes.swap(attributes);
                body_.active = true;
                body_.echoTags = true;
                body_.echoComments = true;
                if (item.conversion.size() > 1 && item.conversion[1] == 'c') {
                    body_.echoComments = false;
                } else if (item.conversion.size() > 1 && item.conversion[1] == 't') {
                    body_.echoTags = false;
                    body_.echoComments = false;
                }
                return;
        }
    }
}

void Renderer::printAttribute(const FormatItem& item, const AttributeList& attributes) {
    std::string_view name = item.text;
    bool quoted = !name.empty() && name[0] == '~';
    if (quoted) name.remove_prefix(1);
    const Attribute* a = findAttribute(name, attributes);
    if (!a || !a->hasValue) {
        out_.write("<undefined>");
        return;
    }
    if (quoted && a->quote) {
        out_.put(a->quote);
        formatText(out_, item.spec, a->value);
        out_.put(a->quote);
    } else {
        formatText(out_, item.spec, a->value);
    }
}

void Renderer::printTag(std::string_view name, const AttributeList& attributes) {
    out_.put('<');
    out_.write(name);
    for (const Attribute& a : attributes) {
        out_.put(' ');
        out_.write(a.name);
        if (!a.hasValue) continue;
        out_.put('=');
        if (a.quote) out_.put(a.quote);
        out_.write(a.value);
        if (a.quote) out_.put(a.quote);
    }
    out_.put('>');
}

void Renderer::closeBody() {
    body_.active = false;
    renderItems(body_.endName, body_.rest, body_.attributes, false);
    body_.attributes.clear();
    body_.rest = {};
}

}  // namespace tagsift
