// The --progress line: what a run has read, on standard error while that is a
// terminal, refreshed a few times a second by a thread of its own.
//
//   tagsift: 3/10 files, 1200 documents, 540.2 MB, 480.3 MB/s, 12 s left
//
// The number of files, and the time left, show when they are known before the
// run: the files after -- that are regular files. The line is drawn after a
// carriage return and cleared to the end of the line, so that each refresh
// overwrites the last; every other write to the terminal clears it first (it
// is a StatusLine), and it is cleared for good when the run ends.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "driver/diagnostics.h"
#include "driver/documents.h"
#include "jobs/status_line.h"

namespace tagsift {

class Progress final : public StatusLine {
public:
    // Draws nothing unless errFd is a terminal; total is what is known before the run.
    Progress(int errFd, const Tally& tally, KnownSizes total);
    ~Progress() override { stop(); }
    // Whether the line is drawn at all.
    bool drawn() const { return thread_.joinable(); }
    std::unique_lock<std::mutex> clear() override;
    // Clears the line for good.
    void stop();

    // The line's text, for a run that has taken elapsed so far.
    static std::string text(const Tally& tally, KnownSizes total, std::chrono::duration<double> elapsed);

private:
    void refresh(std::stop_token stop);

    const int errFd_;
    const Tally& tally_;
    const KnownSizes total_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex mutex_;
    bool shown_ = false;
    std::jthread thread_;
};

}  // namespace tagsift
