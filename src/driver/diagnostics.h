// What a run says about its documents, in one place: the messages about one
// document, the run's worst status, and the counts that the notes, --stats
// and --progress report.
//
// In a run over many documents each message goes to its document's slot of
// the Printer, on standard error after the banner, so that it comes where
// one-at-a-time filtering would put it. The status is kept here, not carried
// by exceptions. Workers and the reading thread report at once: what they
// count is atomic.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <string_view>

#include "jobs/printer.h"

namespace tagsift {

// What a run has read so far.
struct Tally {
    std::atomic<long long> files{0};          // files read to their end (or to their failure)
    std::atomic<long long> documents{0};      // documents filtered
    std::atomic<long long> skipped{0};        // documents --doc-if did not take
    std::atomic<long long> bytesRead{0};      // bytes read from the files
    std::atomic<long long> bytesInflated{0};  // the same, crawl files after their gzip members are inflated
    // Crawl records, and those that are no document by kind: counted by the reading thread alone.
    long long records = 0;
    std::map<std::string, long long> passedOver;
};

class Diagnostics {
public:
    // Messages about documents go to printer's slots; without one (a single page on standard
    // input) they only count.
    void usePrinter(Printer& printer) { printer_ = &printer; }

    // A problem about the document of slot, which makes the run's status 1.
    void error(Printer::Slot slot, std::string_view text);
    // A problem without a slot: it only counts (its message went its own way).
    void failed() {
        failed_ = true;
        ++problems_;
    }
    // Documents passed over for a Content-Encoding that cannot be decoded.
    void undecodable(long long count) { undecodable_ += count; }
    // A document that the crawler cut short ended inside a tag: no error.
    void cutShort() { ++cutShort_; }

    Tally& tally() { return tally_; }
    const Tally& tally() const { return tally_; }
    int status() const { return failed_ ? 1 : 0; }
    // The notes for the end of the run, banner and all; empty when there are none.
    std::string notes() const;
    // What --stats prints at the end, banner and all; elapsed is the run's time so far.
    std::string stats(std::chrono::duration<double> elapsed) const;

private:
    Printer* printer_ = nullptr;
    Tally tally_;
    std::atomic<bool> failed_{false};
    std::atomic<long long> problems_{0};
    std::atomic<long long> undecodable_{0};
    std::atomic<long long> cutShort_{0};
};

}  // namespace tagsift
