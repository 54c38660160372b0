// The attribute reader of the scanner.
#include <cstring>

#include "base/fatal.h"
#include "base/text.h"
#include "scanner/scanner.h"

namespace tagsift {

void Scanner::readQuotedValue(Attribute& attribute) {
    int quote = getChar();
    attribute.value.clear();
    // No echo here: a quoted value never reaches an open region.
    if (!readQuotedInto(quote, attribute.value, attribute.lineFeeds)) throw fatal::eofInTag();
}

namespace {

// The attributes from p up to and including the tag's '>', read as readAttributes reads a tag on
// one line; false when a line feed (unless the tag may hold them: then they read as blanks) or the
// end comes first. p moves past what was read. Inlined into each caller, as the quick way for the
// common tag needs.
template <bool kLineFeeds = false>
[[gnu::always_inline]] inline bool readAttributesFrom(const char*& p, const char* const end,
                                                      AttributeList& list) {
    // Each step stops short at a line feed or the end, where the tag is not one of these.
    auto skipSpace = [&] {
        while (p != end && isSpace(static_cast<unsigned char>(*p)) && (kLineFeeds || *p != '\n')) ++p;
        return p != end && (kLineFeeds || *p != '\n');
    };
    auto word = [&](std::string& to) {
        const char* from = p;
        while (p != end && !isWordDelimiter(*p)) ++p;
        if (p == end || (!kLineFeeds && *p == '\n')) return false;
        to.assign(from, p);
        return true;
    };
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
                if (!kLineFeeds && std::memchr(p, '\n', static_cast<std::size_t>(q - p))) return false;
                a.value.assign(p, q);
                for (std::size_t i = 0; kLineFeeds && i < a.value.size(); ++i) {
                    if (a.value[i] != '\n') continue;
                    a.value[i] = ' ';
                    a.lineFeeds.push_back(i);
                }
                p = q + 1;
            } else if (!word(a.value)) {
                return false;
            }
        }
        if (!skipSpace()) return false;
    }
    ++p;
    return true;
}

}  // namespace

// The common tag, on one line and whole in the block, read straight from the block: the same
// steps as the character by character way below, which takes every other tag. False (and the
// list left empty, nothing read) when the tag is not such a tag.
bool Scanner::readAttributesInBlock(AttributeList& list) {
    // The unread rest of the block, while nothing is pushed back and no region echoes tags.
    if (pushed_ != kNone || echoingTags() || !list.empty()) return false;
    const char* p = cursor_.at;
    if (p == cursor_.end) return false;
    if (!readAttributesFrom(p, cursor_.end, list)) {
        list.clear();
        return false;
    }
    // What was read holds no line feed: the column simply grows.
    cursor_.moveTo(p, 0, nullptr);
    return true;
}

void Scanner::skipTagReading(AttributeList& attributes) {
    if (echoingTags()) {
        echo('<');
        echo(tagName_);
    }
    // What skipTagRest reads and echoes, a byte at a time and kept (line feeds as they were, for
    // an address); rare enough to need no hurry.
    skipped_.clear();
    for (int quote = 0;;) {
        const long long line = cursor_.line;
        const int c = getChar();
        if (c == kEnd) break;
        if (echoingTags()) echo(c);
        skipped_.push_back(cursor_.line != line ? '\n' : static_cast<char>(c));
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    const char* p = skipped_.data();
    if (!readAttributesFrom<true>(p, p + skipped_.size(), attributes)) attributes.clear();
}

void Scanner::readAttributes(AttributeList& list) {
    if (echoingTags()) echo('<');
    // A tag without attributes (a table cell) is common enough to be taken apart.
    if (pushed_ == kNone && !echoingTags() && cursor_.at != cursor_.end && *cursor_.at == '>' && list.empty()) {
        ++cursor_.at;
        ++cursor_.column;
        return;
    }
    if (readAttributesInBlock(list)) return;
    skipSpace();
    for (;;) {
        int c = getChar();
        if (c == '>') return;
        ungetChar(c);
        Attribute& a = list.add();
        readWord(a.name);
        skipSpace();
        c = getChar();
        if (c == '=') {
            skipSpace();
            c = getChar();
            a.hasValue = true;
            ungetChar(c);
            if (c == '"' || c == '\'') {
                a.quote = static_cast<char>(c);
                readQuotedValue(a);
            } else {
                readWord(a.value);
            }
        } else {
            ungetChar(c);
        }
        skipSpace();
    }
}

}  // namespace tagsift
