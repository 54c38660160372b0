// The HTML scanner: the input as characters with line and column counting,
// one character of push-back, the tag finder, and the attribute reader.
//
// Every '<' starts a tag; nothing else of HTML structure is understood. A
// line feed is delivered to every reader as a blank (it still counts as a
// line end), so echoed text and quoted values show blanks for line ends.
//
// While a body region is open, the scanner copies what it reads to the
// output: text always, tags and comments as the region says. It knows of the
// region only what to echo and which end tag closes it; the caller opens it
// and closes it, and nextTag() tells when it has read that end tag. A region
// may echo to an EchoFilter of the caller's instead of the output.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/input.h"
#include "io/output.h"
#include "scanner/pass_over.h"
#include "tag/tag.h"

namespace tagsift {

// Takes what a body region echoes, for a caller that changes it on its way to the output.
class EchoFilter {
public:
    virtual ~EchoFilter() = default;
    // Text the region echoes; a line feed in it stands for a blank.
    virtual void echo(std::string_view text) = 0;
    // Tags and comments as the region echoes them: markup, whose references are not the text's.
    virtual void echoMarkup(std::string_view markup) = 0;
    // A tag begins: text echoed before it does not run on into text after it.
    virtual void breakText() = 0;
};

// The attributes of a tag on one line from p (after its name) as Scanner::readAttributes reads
// them, views of the bytes, up to and including its '>'; p moves past it. False, the list partly
// filled, when a line feed or end comes first.
bool readAttributesOnLine(const char*& p, const char* end, AttributeList& list);

class Scanner {
public:
    Scanner(Input& input, Output& out);

    enum class Found {
        End,        // the input is over
        Tag,        // a tag: its name is read, its attributes are next
        RegionEnd,  // the end tag of the open region: the caller closes the region, then goes on
                    // with it as with any tag
    };
    Found nextTag();
    // The tag's name: a view of the input block, or of the scanner's own copy where the name ran
    // past one; good until the next tag.
    std::string_view tagName() const { return name_; }
    long long tagLine() const { return tagLine_; }
    long long tagColumn() const { return tagColumn_; }

    // Reads the attributes that follow the tag's name, up to and including the '>'.
    void readAttributes(AttributeList& list);
    // Skips a tag that no rule reads; an open region that echoes tags gets it whole. The rest of
    // the tag may be left for the next nextTag to pass over: line() and column() may still
    // stand after its name until then.
    void skipTag();
    // The same, and reads the tag's attributes into the list from the bytes it skips; what a
    // region echoes of the tag, and where the tag ends, are those of skipTag.
    void skipTagReading(AttributeList& attributes);

    // From now on, while no region is open or the open one does not echo tags, nextTag passes
    // over the tags that cannot have one of these names (ASCII case ignored) itself instead of
    // returning them (echoing the text around them to an open region). Only a caller that would
    // skip such tags unread may ask for this. Without places, line() and column() (and those of
    // the tags) may be wrong from then on, for a caller that never reads them.
    // A taker (without places) reads the tags it can where the pass-over finds them: those never
    // come out of nextTag.
    void passOverTagsOtherThan(std::span<const std::string> names, bool places = true, window::TagReader taker = {}) {
        passOver_.want(names, places, taker);
    }

    // endName must outlive the region (a rule's name does).
    void openRegion(std::string_view endName, bool echoTags, bool echoComments, EchoFilter* filter = nullptr);
    void closeRegion() {
        region_.open = false;
        region_.filter = nullptr;
    }
    bool regionOpen() const { return region_.open; }

    // The place after the last character read.
    long long line() const { return cursor_.line; }
    long long column() const { return cursor_.column; }

private:
    static constexpr int kEnd = std::char_traits<char>::eof();  // the end-of-input marker
    static constexpr int kNone = kEnd - 1;  // nothing pushed back: neither a byte nor the end

    struct Region {
        bool open = false;
        bool echoTags = false;
        bool echoComments = false;
        std::string_view endName;  // the rule name whose end tag closes it
        EchoFilter* filter = nullptr;
    };

    int getChar() {
        if (pushed_ != kNone) {
            int c = pushed_;
            pushed_ = kNone;
            if (c != kEnd) ++cursor_.column;
            return c;
        }
        if (cursor_.at == cursor_.end && !refill()) return kEnd;
        unsigned char c = static_cast<unsigned char>(*cursor_.at++);
        if (c == '\n') {
            ++cursor_.line;
            cursor_.column = 0;
            return ' ';
        }
        ++cursor_.column;
        return c;
    }
    void ungetChar(int c) {
        if (cursor_.column > 0) --cursor_.column;
        pushed_ = c;
    }
    bool echoingTags() const { return region_.open && region_.echoTags; }
    // The pass-over writes an open region's text to the output itself: not past a filter, and
    // not where a region needs each tag's pieces.
    bool passOverMayRun() const {
        return passOver_.active() && pushed_ == kNone && !echoingTags() && !region_.filter;
    }
    // Markup (tags, comments) to an open region.
    void echo(int c) {
        if (!region_.filter) {
            out_.put(static_cast<char>(c));
            return;
        }
        const char byte = static_cast<char>(c);
        region_.filter->echoMarkup({&byte, 1});
    }
    void echo(std::string_view text) {
        if (region_.filter) region_.filter->echoMarkup(text);
        else out_.write(text);
    }

    bool refill();
    // Reads up to and including the next '<', copying the text to an open region.
    bool scanToTag();
    // Reads up to and including the first of the Stops bytes; that byte, or kEnd if none comes.
    template <char... Stops>
    int skipTo();
    // Reads up to the next of " =>\t\n\r\f" (left unread). Ends the run at the end of the input.
    void readWord(std::string& word);
    void skipSpace();
    // Echoes a quoted value of a tag whose rest is echoed, up to its closing quote.
    void echoQuoted(int quote);
    void skipTagRest();
    void skipTagRestQuietly();
    void skipComment();
    // Appends characters to value up to the quote, which is consumed; false at the end of the input.
    // Where a line feed was read as a blank, its place goes to lineFeeds.
    bool readQuotedInto(int quote, std::string& value, std::vector<std::size_t>& lineFeeds);
    void readQuotedValue(Attribute& attribute);
    bool readAttributesInBlock(AttributeList& list);
    // Where the pass-over may run: true when it stops just after the '<' of a tag that the
    // ordinary way must read (nameEnd: where its name ends, when the pass saw it), false when it
    // stops anywhere else.
    bool reachWantedTag(PassOver::From from, const char*& nameEnd);

    Input& input_;
    Output& out_;
    Region region_;
    BlockCursor cursor_;
    int pushed_ = kNone;
    PassOver passOver_;
    bool tagRestLeft_ = false;  // skipTag left the rest of the tag to the next pass
    std::string tagName_;    // a name read the ordinary way, or one kept when its block went
    std::string_view name_;  // the tag's name
    bool nameInBlock_ = false;  // name_ views the block
    std::string skipped_;  // the rest of a skipped tag whose attributes are wanted
    long long tagLine_ = 0;
    long long tagColumn_ = 0;
};

}  // namespace tagsift
