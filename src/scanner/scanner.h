// The HTML scanner: standard input as characters with line and column
// counting, one character of push-back, and the tag finder on top.
//
// Every '<' starts a tag; nothing else of HTML structure is understood. A
// line feed is delivered to every reader as a blank (it still counts as a
// line end), so echoed text and quoted values show blanks for line ends.
// While a body region is open, the scanner copies what it reads to standard
// output as the region's echo flags say.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/body.h"
#include "format/output.h"
#include "scanner/input.h"

namespace tagsift {

class Scanner {
public:
    static constexpr int kEnd = -1;  // the end-of-input marker

    // flushBody closes the open body region; it is called when the region's end tag is read.
    Scanner(Input& input, Output& out, BodyCapture& body, std::function<void()> flushBody);

    int getChar() {
        if (pushed_ != kNone) {
            int c = pushed_;
            pushed_ = kNone;
            if (c != kEnd) ++columnCount;
            return c;
        }
        if (cur_ == end_ && !refill()) return kEnd;
        unsigned char c = static_cast<unsigned char>(*cur_++);
        if (c == '\n') {
            ++lineCount;
            columnCount = 0;
            return ' ';
        }
        ++columnCount;
        return c;
    }
    void ungetChar(int c) {
        if (columnCount > 0) --columnCount;
        pushed_ = c;
    }

    // Reads up to the next of " =>\t\n\r\f" (left unread). Ends the run at the end of the input.
    void readWord(std::string& word);
    void skipSpace();
    void skipQuoted(int quote);
    void skipTagRest();
    void skipComment();
    // Scans to the next tag and reads its name into tagName; false at the end of the input.
    bool nextTag();
    // From now on, while no body region is open or the open one does not echo tags, nextTag
    // consumes the tags that cannot have one of these names (ASCII case ignored) itself instead
    // of returning them (echoing the text around them to an open region); tagName, tagLine and
    // tagColumn keep the values of the last tag returned. Only a caller that would skip such
    // tags without looking at them may ask for this: it is the main loop's shortcut.
    void passOverTagsOtherThan(std::span<const std::string> names);
    // The unread rest of the current block while nothing is pushed back and no region echoes
    // tags, else empty: a reader may parse it in place and then consume what it used, which must
    // hold no line feed (so the count of columns simply grows by its length).
    std::string_view unreadInBlock() const {
        if (pushed_ != kNone || echoingTags()) return {};
        return {cur_, static_cast<std::size_t>(end_ - cur_)};
    }
    void consumeInBlock(std::size_t n) {
        cur_ += n;
        columnCount += static_cast<long long>(n);
    }
    // Appends characters to value up to the quote, which is consumed; false at the end of the input.
    bool readQuotedInto(int quote, std::string& value);

    // Windows are classified 64 bytes at a time where the machine can; tests turn that off to
    // cover the 16-byte way as well.
    static void setWideCompares(bool on);

    bool echoingTags() const { return body_.active && body_.echoTags; }
    void echo(int c) { out_.put(static_cast<char>(c)); }

    long long lineCount = 1;
    long long columnCount = 0;
    std::string tagName;
    long long tagLine = 0;
    long long tagColumn = 0;

private:
    static constexpr int kNone = -2;

    bool refill();
    // Reads up to and including the next '<', copying the text to an open region.
    bool scanToTag();
    // Consumes [cur_, stop) of the current block, which holds lines line feeds, the last of them
    // just before lineStart.
    void advance(const char* stop, long long lines, const char* lineStart) {
        if (lines) {
            lineCount += lines;
            columnCount = stop - lineStart;
        } else {
            columnCount += stop - cur_;
        }
        cur_ = stop;
    }
    // Reads up to and including the first of the Stops bytes; that byte, or kEnd if none comes.
    template <char... Stops>
    int skipTo();
    void skipTagRestQuietly();
    bool mayBeWanted(const char* name, std::size_t length) const;
    bool closesRegion(const char* name, std::size_t length) const;
    // Called just after a '<' (or, with no region open, anywhere in text): consumes the tags that
    // no wanted name can be the name of (see passOverTagsOtherThan), with the text between them.
    // True when it stops just after the '<' of a tag that takes the ordinary way; false when it
    // stops anywhere else.
    bool reachWantedTag(bool inText = false);

    Input& input_;
    Output& out_;
    BodyCapture& body_;
    std::function<void()> flushBody_;
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    int pushed_ = kNone;
    // The bytes after a '<' that make it a candidate: a tag whose name may be wanted.
    struct Candidates {
        bool everyOpen = false;  // too many first bytes to compare with one by one
        int count = 0;
        unsigned char bytes[8] = {};
    };
    // Bit masks of a 64-byte stretch of the block that starts at base (bit i for base[i]; none
    // past the block's end): tag opens and closes, both quotes, line feeds, readWord's delimiters,
    // and the opens that are candidates (also those whose next byte is past the block's end).
    struct Window {
        const char* base = nullptr;
        std::uint64_t open = 0, close = 0, doubleQuote = 0, singleQuote = 0, lineFeed = 0, delimiter = 0;
        std::uint64_t candidate = 0;
        void classify(const char* from, const char* end, const Candidates& wanted);
        void classifyWide(const char* from, const Candidates& wanted);  // 64 bytes and one more
    };
    Window window_;
    const char* blockBegin_ = nullptr;
    // The shortcut's test, a superset of the wanted names: their first bytes (both cases) and
    // their lengths (bit n for length n, bit 63 for 63 and more).
    bool filtering_ = false;
    bool wantedFirst_[256] = {};
    Candidates candidates_;
    std::uint64_t wantedLengths_ = 0;
    std::vector<std::string> wantedNames_;  // all of them when there are few, else none
};

}  // namespace tagsift
