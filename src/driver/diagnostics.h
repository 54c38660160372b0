// Messages about the documents of a run over many, in one place.
//
// Each message goes to its document's slot of the Printer, on standard error
// after the banner, so that it comes where one-at-a-time filtering would put
// it. The run's worst status is kept here, not carried by exceptions, and so
// are the counts that the notes at the run's end report. Workers and the
// reading thread report at once: the counts are atomic.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "jobs/printer.h"

namespace tagsift {

class Diagnostics {
public:
    explicit Diagnostics(Printer& printer) : printer_(printer) {}

    // A problem about the document of slot, which makes the run's status 1.
    void error(Printer::Slot slot, std::string_view text);
    // Documents passed over for a Content-Encoding that cannot be decoded.
    void undecodable(long long count) { undecodable_ += count; }
    // A document that the crawler cut short ended inside a tag: no error.
    void cutShort() { ++cutShort_; }

    int status() const { return failed_ ? 1 : 0; }
    // The notes for the end of the run, banner and all; empty when there are none.
    std::string notes() const;

private:
    Printer& printer_;
    std::atomic<bool> failed_{false};
    std::atomic<long long> undecodable_{0};
    std::atomic<long long> cutShort_{0};
};

}  // namespace tagsift
