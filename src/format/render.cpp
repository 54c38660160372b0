#include "format/format.h"

namespace tagsift {

namespace {
std::string_view textOf(const TagContext& tag, Variable variable) {
    switch (variable) {
        case Variable::File: return tag.document;
        case Variable::Url: return tag.url;
        case Variable::Date: return tag.date;
        default: return tag.tagName;
    }
}
}  // namespace

std::optional<BodyMode> Renderer::render(const TagContext& tag, std::span<const FormatItem> items) {
    if (!renderItems(tag, items, true)) return std::nullopt;
    return openedMode_;
}

bool Renderer::renderItems(const TagContext& tag, std::span<const FormatItem> items, bool mayOpenRegion) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FormatItem& item = items[i];
        switch (item.kind) {
            case FormatKind::Literal: out_.write(item.text); break;
            case FormatKind::Number: {
                long long value = 0;
                switch (item.variable) {
                    case Variable::Line: value = tag.line; break;
                    case Variable::Pos: value = tag.column; break;
                    case Variable::Num: value = tag.ruleCount; break;
                    case Variable::Gnum: value = tag.globalCount; break;
                    default: break;
                }
                formatNumber(out_, item.spec, value);
                break;
            }
            case FormatKind::Text: formatText(out_, item.spec, textOf(tag, item.variable)); break;
            case FormatKind::WholeTag: printTag(tag); break;
            case FormatKind::Attribute: printAttribute(item, *tag.attributes); break;
            case FormatKind::Body:
                // Only the first marker of a format opens a region; a later one,
                // reached while the region's rest is printed, prints nothing.
                if (!mayOpenRegion) break;
                open_ = true;
                openedMode_ = item.bodyMode;
                ruleName_.assign(tag.ruleName);
                rest_ = items.subspan(i + 1);
                ruleCount_ = tag.ruleCount;
                globalCount_ = tag.globalCount;
                attributes_.clear();
                attributes_.swap(*tag.attributes);
                return true;
        }
    }
    return false;
}

void Renderer::closeRegion(const TagContext& now) {
    if (!open_) return;
    open_ = false;
    // The whole tag and its attributes are the opening tag's; the name and place are those of
    // the tag that closes the region. No match can come between, so the counts are as they were.
    TagContext tag = now;
    tag.ruleName = ruleName_;
    tag.ruleCount = ruleCount_;
    tag.globalCount = globalCount_;
    tag.attributes = &attributes_;
    renderItems(tag, rest_, false);
    attributes_.clear();
    rest_ = {};
}

void Renderer::printAttribute(const FormatItem& item, const AttributeList& attributes) {
    const Attribute* a = attributes.find(item.text);
    if (!a || !a->hasValue) {
        out_.write("<undefined>");
        return;
    }
    if (item.quoted && a->quote) {
        out_.put(a->quote);
        formatText(out_, item.spec, a->value);
        out_.put(a->quote);
    } else {
        formatText(out_, item.spec, a->value);
    }
}

void Renderer::printTag(const TagContext& tag) {
    out_.put('<');
    out_.write(tag.ruleName);
    for (const Attribute& a : *tag.attributes) {
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

}  // namespace tagsift
