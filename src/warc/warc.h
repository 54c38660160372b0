// Web crawls stored as WARC files (versions 1.0 and 1.1), plain or gzip
// compressed (many members, as written record by record), read as a stream
// in constant memory.
//
// A WarcSource turns the bytes of one WARC file into documents: the HTTP
// payload of each response record whose Content-Type is HTML, and the block
// of each resource record whose Content-Type is HTML. A chunked payload is
// de-chunked, and one sent with Content-Encoding gzip or deflate decoded;
// one with any other encoding is passed over and counted. Every other record
// is passed over.
//
// Bad input (a record cut short, a header block that never ends, a broken
// gzip member, bytes that are no record) is reported as a problem with the
// file's name and the byte offset of the record (of its gzip member in a
// compressed file); the reader goes on at the next record it can find.
#pragma once

#include <memory>
#include <string>

#include "io/input.h"

namespace tagsift {

class WarcSource : public ByteSource {
public:
    // file: the bytes of the WARC file; name: what problems call it.
    WarcSource(std::unique_ptr<ByteSource> file, std::string name);
    ~WarcSource() override;

    std::size_t read(char* to, std::size_t room) override;
    bool nextDocument(DocumentInfo& info) override;
    bool mayWaitForEver() const override;

private:
    class Reader;
    std::unique_ptr<Reader> reader_;
};

}  // namespace tagsift
