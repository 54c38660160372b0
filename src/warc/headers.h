// The one header-block parser of the crawl reader, used for the WARC header of a record and
// again for the HTTP header inside a response record's block: a first line, then "Name: value"
// lines up to an empty line. Line ends are CR LF or LF alone. Names are matched without regard
// to case; a line that begins with a space or a tab goes on with the value before it; a line
// without a colon is passed over.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tagsift::warc {

struct HeaderBlock {
    std::string_view first;  // the first line, without its line end
    std::vector<std::pair<std::string_view, std::string_view>> fields;  // names and values, trimmed

    // The value of the last field of that name; empty when there is none.
    std::string_view value(std::string_view name) const;
    int count(std::string_view name) const;
};

// The length of the header block at the start of bytes, through the empty line that ends it;
// npos when bytes hold no empty line.
std::size_t headerBlockEnd(std::string_view bytes);
// Reads the block (as long as headerBlockEnd says) into into, whose views point into block.
void parseHeaderBlock(std::string_view block, HeaderBlock& into);
// The first line of bytes, without its line end: what HeaderBlock::first holds.
std::string_view firstLine(std::string_view bytes);

// text without the white space of any kind (line ends too) around it.
std::string_view trimmed(std::string_view text);
// A value that goes on over several lines, as one line: each line end with the white space
// around it becomes one space.
std::string oneLine(std::string_view value);
// The media type of a Content-Type value, without its parameters, in lower case.
std::string mediaType(std::string_view contentType);
// The value of a Content-Type parameter (charset), without its quotes; empty when absent (or
// given empty in quotes).
std::string parameter(std::string_view contentType, std::string_view name);

}  // namespace tagsift::warc
