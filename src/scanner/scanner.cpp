#include "scanner/scanner.h"

#include <algorithm>
#include <cstring>

#include "driver/fatal.h"
#include "scanner/text.h"

namespace tagsift {

namespace {

struct ByteTable {
    bool in[256] = {};
    constexpr ByteTable(std::string_view bytes) {
        for (char c : bytes) in[static_cast<unsigned char>(c)] = true;
    }
};

constexpr ByteTable kDelimiters(std::string_view(" =>\t\n\r\f"));
constexpr ByteTable kTagRestStops(std::string_view(">\"'"));
constexpr ByteTable kDoubleQuote(std::string_view("\""));
constexpr ByteTable kSingleQuote(std::string_view("'"));

bool isDelimiter(int c) { return c >= 0 && kDelimiters.in[c]; }

}  // namespace

Scanner::Scanner(Input& input, Output& out, BodyCapture& body, std::function<void()> flushBody)
    : input_(input), out_(out), body_(body), flushBody_(std::move(flushBody)) {}

bool Scanner::refill() {
    if (!input_.refill()) {
        cur_ = end_ = nullptr;
        return false;
    }
    cur_ = input_.begin();
    end_ = input_.end();
    return true;
}

void Scanner::consume(const char* stop) {
    std::size_t len = static_cast<std::size_t>(stop - cur_);
    if (const void* last = memrchr(cur_, '\n', len)) {
        const char* lastLineEnd = static_cast<const char*>(last);
        lineCount += std::count(cur_, lastLineEnd + 1, '\n');
        columnCount = stop - (lastLineEnd + 1);
    } else {
        columnCount += static_cast<long long>(len);
    }
    cur_ = stop;
}

int Scanner::skipTo(const bool (&stops)[256]) {
    for (;;) {
        if (pushed_ != kNone) {
            int c = getChar();
            if (c == kEnd || stops[c]) return c;
            continue;
        }
        if (cur_ == end_ && !refill()) return kEnd;
        const char* p = cur_;
        while (p != end_ && !stops[static_cast<unsigned char>(*p)]) ++p;
        consume(p);
        if (p != end_) return getChar();
    }
}

bool Scanner::readQuotedInto(int quote, std::string& value) {
    for (;;) {
        if (pushed_ != kNone || cur_ == end_) {
            int c = getChar();
            if (c == kEnd) return false;
            if (c == quote) return true;
            value.push_back(static_cast<char>(c));
            continue;
        }
        const void* found = std::memchr(cur_, quote, static_cast<std::size_t>(end_ - cur_));
        const char* stop = found ? static_cast<const char*>(found) : end_;
        std::size_t from = value.size();
        value.append(cur_, stop);
        std::replace(value.begin() + static_cast<std::ptrdiff_t>(from), value.end(), '\n', ' ');
        consume(stop);
        if (found) {
            getChar();
            return true;
        }
    }
}

void Scanner::readWord(std::string& word) {
    word.clear();
    for (;;) {
        if (pushed_ == kNone && cur_ != end_) {
            // No line feed can be inside the stretch: it is a delimiter.
            const char* p = cur_;
            while (p != end_ && !kDelimiters.in[static_cast<unsigned char>(*p)]) ++p;
            word.append(cur_, p);
            columnCount += p - cur_;
            cur_ = p;
        }
        int c = getChar();
        if (c == kEnd) throw fatal::eofInTag();
        if (isDelimiter(c)) {
            ungetChar(c);
            return;
        }
        word.push_back(static_cast<char>(c));
    }
}

void Scanner::skipSpace() {
    int c = ' ';
    while (isSpace(c)) {
        c = getChar();
        if (c == kEnd) break;
        if (echoingTags()) echo(c);
    }
    ungetChar(c);
}

void Scanner::skipQuoted(int quote) {
    if (!echoingTags()) {
        skipTo(quote == '"' ? kDoubleQuote.in : kSingleQuote.in);
        return;
    }
    int c = ' ';
    while (c != quote) {
        c = getChar();
        if (c == kEnd) return;
        if (echoingTags()) echo(c);
    }
}

void Scanner::skipTagRest() {
    int c = ' ';
    while (c != '>') {
        if (!echoingTags()) {
            c = skipTo(kTagRestStops.in);
        } else {
            c = getChar();
            if (c != kEnd) echo(c);
        }
        if (c == kEnd) return;
        if (c == '"' || c == '\'') skipQuoted(c);
    }
}

void Scanner::skipComment() {
    const bool echoing = body_.active && body_.echoComments;
    auto next = [&] {
        int c = getChar();
        if (echoing && c != kEnd) echo(c);
        return c;
    };
    for (;;) {
        int c;
        do {
            c = next();
            if (c == kEnd) return;
        } while (c != '-');
        c = next();
        if (c == kEnd) return;
        if (c != '-') continue;
        do {
            c = next();
            if (c == kEnd) return;
        } while (c == '-');
        if (c == '>') return;
    }
}

bool Scanner::scanToTag() {
    for (;;) {
        if (pushed_ != kNone) {
            int c = getChar();
            if (c == kEnd) return false;
            if (c == '<') return true;
            if (body_.active) echo(c);
            continue;
        }
        if (cur_ == end_ && !refill()) return false;
        const void* found = std::memchr(cur_, '<', static_cast<std::size_t>(end_ - cur_));
        const char* stop = found ? static_cast<const char*>(found) : end_;
        if (body_.active) out_.writeBlanked({cur_, static_cast<std::size_t>(stop - cur_)});
        consume(stop);
        if (found) {
            ++cur_;
            ++columnCount;
            return true;
        }
    }
}

bool Scanner::nextTag() {
    for (;;) {
        if (!scanToTag()) return false;
        tagColumn = columnCount;
        tagLine = lineCount;
        readWord(tagName);
        if (tagName == "!--") {
            if (body_.active && body_.echoComments) out_.write("<!--");
            skipComment();
            continue;
        }
        if (!tagName.empty() && tagName[0] == '/' &&
            equalsIgnoringCase(std::string_view(tagName).substr(1), body_.endName)) {
            flushBody_();
            return true;
        }
        if (echoingTags()) echo('<');
        return true;
    }
}

}  // namespace tagsift
