// The HTML scanner: standard input as characters with line and column
// counting, one character of push-back, and the tag finder on top.
//
// Every '<' starts a tag; nothing else of HTML structure is understood. A
// line feed is delivered to every reader as a blank (it still counts as a
// line end), so echoed text and quoted values show blanks for line ends.
// While a body region is open, the scanner copies what it reads to standard
// output as the region's echo flags say.
#pragma once

#include <functional>
#include <string>

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
    // Appends characters to value up to the quote, which is consumed; false at the end of the input.
    bool readQuotedInto(int quote, std::string& value);

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
    // Consumes [cur_, stop) of the current block, counting its line ends.
    void consume(const char* stop);
    // Reads up to and including the first byte that is in the stop table; kEnd if none.
    int skipTo(const bool (&stops)[256]);

    Input& input_;
    Output& out_;
    BodyCapture& body_;
    std::function<void()> flushBody_;
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    int pushed_ = kNone;
};

}  // namespace tagsift
