// Web crawls stored as WARC files (versions 1.0 and 1.1), plain or gzip
// compressed (many members, as written record by record), read as a stream
// in constant memory.
//
// A WarcSource turns the bytes of one WARC file into documents: the HTTP
// payload of each response record whose Content-Type is HTML, and the block
// of each resource record whose Content-Type is HTML. A chunked payload is
// de-chunked, and one sent with Content-Encoding gzip (every member of it)
// or deflate decoded; one with any other encoding is passed over and counted.
// Every other record is passed over and counted by its kind.
//
// Bad input (a record cut short, a header block that never ends, a broken
// gzip member, bytes that are no record, a bad chunk size, compressed data
// that fails its checksum) is reported as a problem with the file's name and
// the byte offset where the trouble starts: the record's, or in a compressed
// file its gzip member's. The reader then goes on at the next record it can
// prove: in a compressed file the next gzip member (a file holds one record
// a member, or several in one; a record never runs on into the next
// member), in a plain file the next "WARC/1.0" or "WARC/1.1" line, wherever
// it starts.
#pragma once

#include <functional>
#include <map>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/input.h"
#include "warc/ahead.h"

namespace tagsift {

// What a reader has read of its file so far.
struct CrawlCounts {
    long long records = 0;    // records whose WARC header was read whole
    long long documents = 0;  // of those, the documents
    // The other records, by kind: the WARC-Type of a "warcinfo", "request", "metadata",
    // "revisit", "conversion" or "continuation" record; "response (not HTML)",
    // "response (not HTTP)", "response (bad HTTP header)", "response (unknown
    // Content-Encoding)" and "resource (not HTML)"; "other" for any other WARC-Type.
    std::map<std::string, long long, std::less<>> passedOver;
    long long bytesRead = 0;      // bytes of the file
    long long bytesInflated = 0;  // the same after gzip decompression (equal in a plain file)
    long long inflatedAhead = 0;  // gzip members that helpers inflated (no output tells them)
};

// Where the bytes of a file went, for tests that check that none vanish. A Member or
// BrokenMember span covers bytes of the file: the members (a plain file is one) and broken
// stretches of a compressed file, one after another from byte 0 to the end. The other spans
// cover the decoded bytes of one member, one after another from 0 to its end: each record (with
// the line ends after it; line ends with no record are passed over), and the bytes that are no
// record. A Problem or BrokenMember span has a problem reported at its start (at its member's
// start, in a compressed file).
struct CrawlSpan {
    enum class Kind { Member, BrokenMember, Document, PassedOver, Problem };
    Kind kind;
    long long member;    // where its member starts in the file (its own start for a member)
    long long from, to;  // [from, to) in the file (members) or in the member's decoded bytes
};

class WarcSource : public ByteSource {
public:
    // file: the bytes of the WARC file; name: what problems call it; helpers: threads that may
    // inflate its gzip members ahead of the reader (0: the reader alone).
    WarcSource(std::unique_ptr<ByteSource> file, std::string name, const warc::InflateAhead::Options& helpers = {});
    ~WarcSource() override;

    std::size_t read(char* to, std::size_t room) override;
    // Fills every field of info for the next document, with the problems found since the one
    // before.
    bool nextDocument(DocumentInfo& info);
    // The current document's bytes as a source of their own that any thread may read while this
    // one reads on, when they are a stretch of the file as it is (a plain file that can be read
    // anywhere, a payload sent as it is); read() then gives nothing of them, and the next
    // nextDocument() passes over them without reading them. Else null: read() gives them.
    std::unique_ptr<ByteSource> detachDocument();
    bool mayWaitForEver() const override;

    // Up to date whenever nextDocument() returns; read it on the thread that calls nextDocument(),
    // or after the last call.
    const CrawlCounts& counts() const;
    // Appends a span to spans for every stretch of bytes read from now on; nullptr stops it.
    void keepSpans(std::vector<CrawlSpan>* spans);
    // The documents the caller takes (--doc-if), asked of each HTML document that the reader
    // passes over because it cannot decode it: one turned away is counted as unchosen, not as
    // undecodable nor as a record passed over.
    void chooseWith(std::function<bool(const DocumentInfo&)> takes);

private:
    class Reader;
    std::unique_ptr<Reader> reader_;
};

}  // namespace tagsift
