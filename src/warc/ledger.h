// What every layer of the crawl reader writes to: the problems found, the counts and the spans
// of bytes, for the document that comes next.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/input.h"
#include "warc/warc.h"

namespace tagsift::warc {

class Ledger {
public:
    explicit Ledger(std::string name) : name_(std::move(name)) {}

    // A problem at the given byte of the file.
    void problem(long long offset, std::string_view what) {
        pending_.problems.push_back("\n! Error : " + name_ + " : the record at byte " + std::to_string(offset) +
                                    " : " + std::string(what) + "\n");
    }
    void undecodable() { ++pending_.undecodable; }
    void unchosen() { ++pending_.unchosen; }
    // Hands what was found since the last call over to info.
    void handOver(DocumentInfo& info) {
        info.problems = std::move(pending_.problems);
        info.undecodable = pending_.undecodable;
        info.unchosen = pending_.unchosen;
        pending_ = DocumentInfo{};
    }

    void span(CrawlSpan::Kind kind, long long member, long long from, long long to) {
        if (spans) spans->push_back({kind, member, from, to});
    }

    CrawlCounts counts;
    std::vector<CrawlSpan>* spans = nullptr;

private:
    std::string name_;
    DocumentInfo pending_;
};

}  // namespace tagsift::warc
