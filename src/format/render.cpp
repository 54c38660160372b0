#include "format/format.h"

namespace tagsift {

namespace {
std::string_view textOf(const TagContext& tag, Variable variable) {
    switch (variable) {
        case Variable::File: return tag.document;
        case Variable::Url: return tag.url;
        case Variable::Date: return tag.date;
        case Variable::Status: return tag.status;
        case Variable::Type: return tag.type;
        case Variable::Offset: return tag.offset;
        case Variable::Record: return tag.record;
        case Variable::Truncated: return tag.truncated;
        case Variable::Charset: return tag.charset;
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
            case FormatKind::Text:
                printText(item, textOf(tag, item.variable), ReferencesIn::Text, item.variable == Variable::Name, tag);
                break;
            case FormatKind::WholeTag: printTag(item, tag); break;
            case FormatKind::Attribute: printAttribute(item, tag); break;
            case FormatKind::Body:
                // Only the first marker of a format opens a region; a later one,
                // reached while the region's rest is printed, prints nothing.
                if (!mayOpenRegion) break;
                open_ = true;
                openedMode_ = item.bodyMode;
                openedSteps_ = item.steps;
                if (!regionBase_.empty() || !tag.base.empty() || !tag.url.empty()) {
                    regionBase_.assign(tag.base.empty() ? tag.url : tag.base);
                    regionJsonBase_.assign(tag.jsonBase.empty() ? tag.url : tag.jsonBase);
                }
                ruleName_ = tag.ruleName;
                rest_ = items.subspan(i + 1);
                ruleCount_ = tag.ruleCount;
                globalCount_ = tag.globalCount;
                // Empty since the last region closed; a tag without attributes (a table cell)
                // leaves it so.
                if (!tag.attributes->empty()) {
                    attributes_.swap(*tag.attributes);
                    attributes_.keep();  // the scanner reads on before the region's end prints them
                }
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
    tag.base = regionBase_;
    tag.jsonBase = regionJsonBase_;
    renderItems(tag, rest_, false);
    attributes_.clear();
    rest_ = {};
}

void Renderer::printAttribute(const FormatItem& item, const TagContext& tag) {
    const Attribute* a = tag.attributes->find(item.text);
    if (!a || !a->hasValue) {
        out_.write("<undefined>");
        return;
    }
    // Most values are printed as they stand.
    if (item.plain) {
        out_.write(a->value);
        return;
    }
    // Resolving passes over the line feeds of an address; without a base it only decodes, as ever.
    const bool resolves = item.steps.resolve && !(tag.base.empty() && tag.url.empty());
    const std::string_view value = resolves ? a->asAddress(address_) : std::string_view(a->value);
    if (item.quoted && a->quote) {
        out_.put(a->quote);
        printText(item, value, ReferencesIn::Attribute, true, tag);
        out_.put(a->quote);
    } else {
        printText(item, value, ReferencesIn::Attribute, true, tag);
    }
}

void Renderer::printTag(const FormatItem& item, const TagContext& tag) {
    std::string& s = wholeTag_;
    s.assign(1, '<');
    s.append(tag.ruleName);
    for (const Attribute& a : *tag.attributes) {
        s.push_back(' ');
        s.append(a.name);
        if (!a.hasValue) continue;
        s.push_back('=');
        if (a.quote) s.push_back(a.quote);
        s.append(a.value);
        if (a.quote) s.push_back(a.quote);
    }
    s.push_back('>');
    // Without a value letter the conversion of $_tag$ prints nothing of its own.
    if (item.steps.decode) printText(item, s, ReferencesIn::Attribute, true, tag);
    else out_.write(s);
}

void Renderer::printText(const FormatItem& item, std::string_view value, ReferencesIn where, bool fromPage,
                         const TagContext& tag) {
    const std::string_view text = item.steps.decode ? converted(item, value, where, fromPage, tag) : value;
    if (item.spec.bare()) out_.write(text);
    else formatText(out_, item.spec, text);
}

void Renderer::appendPageText(std::string_view text, ReferencesIn where, std::string& out, bool json) {
    // A UTF-8 page's stray bytes, each to be one U+FFFD, stay apart across the references.
    if (json && pageDecoder_.encoding().isUtf8()) {
        StrayMarker marker;
        marked_.clear();
        marker.feed(text, marked_);
        marker.finish(marked_);
        text = marked_;
    }
    // A reference means the same character in every encoding: the text is turned into UTF-8 first.
    if (!pageDecoder_.encoding().isUtf8()) {
        transcoded_.clear();
        pageDecoder_.convert(text, transcoded_);
        text = transcoded_;
    }
    appendDecoded(text, where, out);
}

std::string_view Renderer::converted(const FormatItem& item, std::string_view value, ReferencesIn where,
                                     bool fromPage, const TagContext& tag) {
    // Only the page's own text is HTML: an address, a file name or a date is data, with no
    // references to decode (an address's "&region=" is not "&reg" and "ion=").
    std::string_view text = value;
    if (fromPage) {
        decoded_.clear();
        appendPageText(value, where, decoded_, item.steps.json);
        text = decoded_;
    }
    // The first <base href> of the document before the tag, else the document's own address.
    const std::string_view pageBase = item.steps.json ? tag.jsonBase : tag.base;
    const std::string_view base = pageBase.empty() ? tag.url : pageBase;
    if (item.steps.resolve && !base.empty()) text = resolved_ = resolveUrl(base, text);
    if (item.steps.json) {
        escaped_.clear();
        appendJsonEscaped(text, escaped_);
        text = escaped_;
    }
    // A precision never cuts a character, nor an escape, in two.
    if (item.spec.precision >= 0) {
        const auto limit = static_cast<std::size_t>(item.spec.precision);
        text = text.substr(0, wholeCharacters(text, limit, item.steps.json));
    }
    return text;
}

}  // namespace tagsift
