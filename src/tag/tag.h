// What one tag is to the units that look at it: the attribute record that
// the scanner fills, and the per-tag context that conditions test and
// formats render.
//
// An attribute's name and value are views: of the input block for a tag read
// in place (the common tag, on one line), else of the record's own storage.
// The block is the scanner's: a list read from it is good until the scanner
// reads on, and keep() copies what it still views there into the records
// (for a body region, which prints its opening tag's attributes at its end).
// An AttributeList keeps its records (and their storage) between tags, so
// reading the attributes of millions of tags does not allocate once the list
// has grown to the widest tag seen.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tagsift {

// AttributeList::add() sets every field of a record it hands out, from name to lineFeeds.
struct Attribute {
    std::string_view name;   // as read, case kept; may be empty
    char quote;              // '"' or '\'' around the value, 0 when unquoted
    bool hasValue;           // false when written without '='
    std::string_view value;  // without its quotes; a line feed in it reads as a blank
    // Where the value had a line feed (a quoted value on several lines): an address leaves
    // those out, as browsers do, where every other use sees a blank.
    std::vector<std::size_t> lineFeeds;

    // The value as an address sees it: with its line feeds, which resolving passes over.
    std::string_view asAddress(std::string& scratch) const {
        if (lineFeeds.empty()) return value;
        scratch = value;
        for (std::size_t at : lineFeeds) scratch[at] = '\n';
        return scratch;
    }

    // The record's own storage, for a name or value not viewed in place: fill one, then point
    // the view at it with ownName() or ownValue().
    std::string nameStore, valueStore;
    void ownName() {
        name = nameStore;
        ownsName = true;
    }
    void ownValue() {
        value = valueStore;
        ownsValue = true;
    }

private:
    friend class AttributeList;
    bool ownsName, ownsValue;
};

class AttributeList {
public:
    Attribute& add() {
        if (count_ == slots_.size()) grow();
        Attribute& a = slots_[count_++];
        a.name = {};
        a.quote = 0;
        a.hasValue = false;
        a.value = {};
        a.lineFeeds.clear();
        a.ownsName = a.ownsValue = false;
        return a;
    }
    // Forgets every record; storage is kept for the next tag.
    void clear() {
        // A record that once held a huge value gives its storage back, so one enormous tag
        // does not keep the program's memory high for the rest of the run.
        for (Attribute& a : std::span(slots_).first(count_)) {
            release(a.nameStore);
            release(a.valueStore);
        }
        count_ = 0;
    }
    // The same, for records that only viewed bytes elsewhere since the last clear(): their
    // storage is as that left it.
    void clearViews() { count_ = 0; }
    void swap(AttributeList& other) noexcept {
        slots_.swap(other.slots_);
        std::swap(count_, other.count_);
    }
    // Copies every name and value that the records view elsewhere into their own storage.
    void keep();

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const Attribute& operator[](std::size_t i) const { return slots_[i]; }
    const Attribute* begin() const { return slots_.data(); }
    const Attribute* end() const { return slots_.data() + count_; }

    // The first attribute whose name equals name ignoring ASCII case, or nullptr.
    const Attribute* find(std::string_view name) const;

private:
    static constexpr std::size_t kKeptCapacity = 1 << 16;
    static void release(std::string& s) {
        if (s.capacity() > kKeptCapacity) std::string().swap(s);
    }
    // One record more: moving the records moves the short strings kept inside them, so the
    // views of those are pointed at them again.
    void grow();

    std::vector<Attribute> slots_;
    std::size_t count_ = 0;
};

// Everything a format may print about the tag a rule matched. TagContext{} is all empty and 0;
// the place and the counts are set for each tag before it is printed.
struct TagContext {
    std::string_view ruleName;   // as written after -tag: what $_tag$ prints
    std::string_view tagName;    // as read from the input: what $_name$ prints
    long long line;
    long long column;
    long long ruleCount;         // $_num$
    long long globalCount;       // $_gnum$
    std::string_view document;   // $_file$: the name of the document being read
    std::string_view url;        // $_url$: the address a crawl captured the document from, or empty
    std::string_view date;       // $_date$: when it was captured, or empty
    // What the crawl record says of the document, each empty where it does not apply.
    std::string_view status;     // $_status$: the HTTP status code
    std::string_view type;       // $_type$: the payload's media type
    std::string_view offset;     // $_offset$: where its record starts in the crawl file
    std::string_view record;     // $_record$: the WARC-Record-ID
    std::string_view truncated;  // $_truncated$: why the crawler cut the payload short
    std::string_view charset;    // $_charset$: the document's encoding, when some format needs it
    std::string_view base;       // the document's first <base href> so far, resolved against url; or empty
    std::string_view jsonBase;   // the same as %UJ reads it (its stray bytes marked first)
    AttributeList* attributes = nullptr;
};

}  // namespace tagsift
