#include "driver/filter.h"

#include <algorithm>

#include "base/text.h"

namespace tagsift {

EchoFilter* ConvertedEcho::begin(bool json, Encoding encoding) {
    json_ = json;
    // UTF-8 holds nothing from one region to the next: only other encodings start over.
    if (!encoding.isUtf8() || !transcoder_.encoding().isUtf8()) transcoder_.reset(encoding);
    decoder_ = {};
    escaper_ = {};
    // Stray bytes of a UTF-8 page are each escaped as one U+FFFD: marked before the references
    // are decoded, so that two of them never make a character across a reference or a tag.
    markStrays_ = json && encoding.isUtf8();
    marker_ = {};
    return this;
}

const std::string& ConvertedEcho::blanked(std::string_view text) {
    // UTF-8 goes through the transcoder as it is. A line feed is a line feed in every encoding a
    // byte scanner can read, so it is blanked after the transcoding.
    blanked_.clear();
    if (markStrays_) marker_.feed(text, blanked_);
    else transcoder_.feed(text, blanked_);
    std::replace(blanked_.begin(), blanked_.end(), '\n', ' ');
    return blanked_;
}

void ConvertedEcho::echo(std::string_view text) {
    decoder_.feed(blanked(text), decoded_);
    write();
}

void ConvertedEcho::echoMarkup(std::string_view markup) {
    decoder_.finish(decoded_);  // a reference never runs on into a tag
    decoded_.append(blanked(markup));
    write();
}

void ConvertedEcho::breakText() {
    endCharacter();
    decoder_.finish(decoded_);
    write();
}

void ConvertedEcho::finish() {
    if (!active_) return;
    endCharacter();
    decoder_.finish(decoded_);
    if (json_) escaper_.finish(escaped_);
    write();
    active_ = false;
}

void ConvertedEcho::endCharacter() {
    // A character begun before a tag does not go on after it. UTF-8 that no one marks holds none.
    if (!markStrays_ && transcoder_.encoding().isUtf8()) return;
    transcoded_.clear();
    if (markStrays_) marker_.finish(transcoded_);
    else transcoder_.finish(transcoded_);
    decoder_.feed(transcoded_, decoded_);
}

void ConvertedEcho::write() {
    if (json_) {
        escaper_.feed(decoded_, escaped_);
        out_.write(escaped_);
        escaped_.clear();
    } else {
        out_.write(decoded_);
    }
    decoded_.clear();
}

DocumentFilter::DocumentFilter(const CommandLine& line, Output& out)
    : rules_(line.rules), settings_(line.settings), out_(out), renderer_(out), convertedEcho_(out),
      counts_(line.rules.size()) {}

bool DocumentFilter::baseOf(const AttributeList& attributes, PageBase& base) {
    const Attribute* href = attributes.find("href");
    if (!href) return false;
    std::string address;
    const std::string_view written = href->asAddress(address);
    for (const bool json : {false, true}) {
        std::string& to = json ? base.json : base.plain;
        to.clear();
        renderer_.appendPageText(written, ReferencesIn::Attribute, to, json);
        if (!tag_.url.empty()) to = resolveUrl(tag_.url, to);
    }
    return true;
}

void DocumentFilter::closeRegion(Scanner& scanner) {
    scanner.closeRegion();
    convertedEcho_.finish();
    // The closing tag's name and place; the next match sets them again.
    tag_.tagName = scanner.tagName();
    tag_.line = scanner.tagLine();
    tag_.column = scanner.tagColumn();
    renderer_.closeRegion(tag_);
}

std::optional<DocumentError> DocumentFilter::filter(Input& input, std::string_view name, const DocumentInfo& info) {
    // Each document is read as if it were the only one: counts start again, and a region left
    // open by the document before is dropped unfinished.
    std::fill(counts_.begin(), counts_.end(), 0);
    globalCount_ = 0;
    renderer_.dropRegion();
    // Only a format that reads the page's text as characters needs to know their encoding.
    encoding_ = rules_.needsEncoding() ? sniffEncoding(input.start(kPrescanBytes), info.charset, settings_.fallbackEncoding)
                                       : Encoding();
    renderer_.useEncoding(encoding_);
    attributes_.clear();
    tag_ = TagContext{};
    tag_.document = name;
    tag_.url = info.url;
    tag_.date = info.date;
    tag_.status = info.status;
    tag_.type = info.type;
    offset_ = info.offset < 0 ? std::string() : std::to_string(info.offset);
    tag_.offset = offset_;
    tag_.record = info.record;
    tag_.truncated = info.truncated;
    tag_.charset = encoding_.name();
    tag_.attributes = &attributes_;
    std::optional<DocumentError> error;
    try {
        run(input);
    } catch (DocumentError& e) {
        error = std::move(e);
    }
    // A region left open at the end still prints what its conversion held back.
    convertedEcho_.finish();
    return error;
}

const TagRule* DocumentFilter::firstMatch(const std::vector<const TagRule*>& rules) const {
    for (const TagRule* rule : rules)
        if (rule->condition.empty() || checkArgs(rule->condition, attributes_)) return rule;
    return nullptr;
}

// In line in both callers: the tag loop pays no call for it.
[[gnu::always_inline]] inline std::optional<BodyMode> DocumentFilter::print(const TagRule& rule, std::string_view name,
                                                                           long long line, long long column) {
    ++counts_[rule.index];
    ++globalCount_;
    if (rule.plain) {
        renderer_.renderPlain(attributes_, rule.format);
        return std::nullopt;
    }
    tag_.ruleName = rule.name;
    tag_.tagName = name;
    tag_.line = line;
    tag_.column = column;
    tag_.ruleCount = counts_[rule.index];
    tag_.globalCount = globalCount_;
    return renderer_.render(tag_, rule.format);
}

TagTaker::Resume DocumentFilter::take(std::string_view name, const char* nameEnd, const char* end) {
    // Comments, a base tag that may hold the base, a body of tags or of decoded text, and a tag
    // that is not on one line in the block take the ordinary way.
    if (!name.empty() && name[0] == '!') return {};
    if (isBaseLookedFor(name)) return {};
    const std::vector<const TagRule*>* rules = rules_.find(name);
    if (!rules) return {nameEnd, true};
    for (const TagRule* rule : *rules)
        if (rule->opensRegion && rule->plainTextBody == std::string::npos) return {};
    const char* after = nameEnd;
    // A tag without attributes (a table cell) needs no reader.
    if (*after == '>') ++after;
    else if (!readAttributesOnLine(after, end, attributes_)) {
        attributes_.clearViews();  // read in place, as the pass-over reads every tag
        return {};
    }
    TagTaker::Resume resume{after, false};
    if (const TagRule* rule = firstMatch(*rules)) {
        // No place is printed: the pass that calls here does not know it.
        if (!rule->opensRegion) print(*rule, name, 0, 0);
        else resume = takeBodies(*rules, rule, name, after, end);
    }
    attributes_.clearViews();
    return resume;
}

// Enough for a row's end tag and the next row's tag; past more, the pass is quicker.
constexpr int kTagsBetweenCells = 2;

TagTaker::Resume DocumentFilter::takeBodies(const std::vector<const TagRule*>& rules, const TagRule* rule,
                                            std::string_view name, const char* after, const char* end) {
    // A region is printed whole, or not at all: the pass goes on at its end tag, as after a
    // region closed there, or the ordinary way opens it. A tag some rule may print, or a base the
    // run looks for, ends the reading: the ordinary way closes the region there, or reads the base.
    auto wanted = [this](std::string_view tagName) {
        return rules_.find(tagName) || isBaseLookedFor(tagName);
    };
    // The cells of a table follow one another: after one is printed, a next of the same name
    // without attributes, right after its end tag or past a row's end and the next row's start,
    // is read here too, and the pass goes on past them all at once. A next one that this cannot
    // print goes back to the pass, at its '<'.
    for (bool chained = false;; chained = true) {
        const char* endTag = body_.read(after, end, rule->endTag, wanted);
        if (!endTag) return {chained ? name.data() - 1 : nullptr, false};
        ++counts_[rule->index];
        ++globalCount_;
        if (rule->literalAroundBody) {
            if (!rule->beforeBody.empty()) out_.write(rule->beforeBody);
            body_.copyTo(out_, rule->endTag, wanted);
            if (rule->afterBody.size() == 1) out_.put(rule->afterBody[0]);  // a line feed, mostly
            else out_.write(rule->afterBody);
        } else {
            const std::span<const FormatItem> items = rule->format;
            renderer_.renderPlain(attributes_, items.first(rule->plainTextBody));
            body_.copyTo(out_, rule->endTag, wanted);
            renderer_.renderPlain(attributes_, items.subspan(rule->plainTextBody + 1));
        }
        attributes_.clearViews();
        // The end tag's name ends before the block does: the reading saw the delimiter after it.
        const char* close = endTag + 2 + name.size();
        if (rule->endTagWanted || *close != '>') return {endTag, false};
        const char* next = close + 1;
        if (!rule->cellTag.at(next, end)) {
            next = region::passDropped(next, end, kTagsBetweenCells, wanted);
            if (next == end || *next != '<' || !rule->cellTag.at(next, end)) return {next, false};
        }
        name = std::string_view(next + 1, name.size());
        after = next + name.size() + 2;
        rule = firstMatch(rules);
        if (!rule) return {after, false};
        if (!rule->opensRegion) {
            print(*rule, name, 0, 0);
            return {after, false};
        }
    }
}

void DocumentFilter::run(Input& input) {
    Scanner scanner(input, out_);
    // Where every rule prints a body of tags or of decoded text, none of their tags is taken in place.
    scanner.passOverTagsOtherThan(rules_.wantedNames(), rules_.printsPlaces(),
                                  rules_.takesTagsInPlace() ? TagTaker::of(*this) : window::TagReader{});
    lookingForBase_ = rules_.resolvesUrls();
    for (Scanner::Found found; (found = scanner.nextTag()) != Scanner::Found::End;) {
        if (found == Scanner::Found::RegionEnd) closeRegion(scanner);
        const std::vector<const TagRule*>* rules = rules_.find(scanner.tagName());
        if (!rules) {
            if (isBaseLookedFor(scanner.tagName())) {
                scanner.skipTagReading(attributes_);  // its href, with the echo of any tag without rules
                if (baseOf(attributes_, base_)) {
                    useBase(base_);
                    lookingForBase_ = false;
                }
                attributes_.clear();
            } else {
                scanner.skipTag();
            }
            continue;
        }
        scanner.readAttributes(attributes_);
        // A base tag's own rules still see the base from before it.
        const bool newBase = isBaseLookedFor(scanner.tagName()) && baseOf(attributes_, nextBase_);
        if (const TagRule* rule = firstMatch(*rules)) {
            if (renderer_.regionOpen()) closeRegion(scanner);
            if (std::optional<BodyMode> mode = print(*rule, scanner.tagName(), scanner.tagLine(), scanner.tagColumn()))
                scanner.openRegion(rule->name, *mode != BodyMode::TextOnly, *mode == BodyMode::Everything,
                                   convertedEcho_.start(renderer_.regionSteps(), encoding_));
        }
        // A region opened just now took the attributes and left an empty list here.
        attributes_.clear();
        if (newBase) {
            std::swap(base_, nextBase_);
            useBase(base_);
            lookingForBase_ = false;
        }
    }
}

}  // namespace tagsift
