#include "driver/progress.h"

#include <condition_variable>
#include <cstdio>
#include <unistd.h>

#include "io/output.h"

namespace tagsift {

namespace {
constexpr std::chrono::milliseconds kRefresh{250};
constexpr std::string_view kClearLine = "\r\x1b[K";
}  // namespace

Progress::Progress(int errFd, const Tally& tally, KnownSizes total) : errFd_(errFd), tally_(tally), total_(total) {
    if (isatty(errFd_)) thread_ = std::jthread([this](std::stop_token stop) { refresh(stop); });
}

std::string Progress::text(const Tally& tally, KnownSizes total, std::chrono::duration<double> elapsed) {
    const long long files = tally.files, bytes = tally.bytesRead;
    const double seconds = elapsed.count(), megabytes = static_cast<double>(bytes) / 1e6;
    const double rate = seconds > 0 ? megabytes / seconds : 0;
    char line[160];
    int n = total.files ? std::snprintf(line, sizeof line, "tagsift: %lld/%lld files", files, *total.files)
                        : std::snprintf(line, sizeof line, "tagsift: %lld files", files);
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), ", %lld documents, %.1f MB, %.1f MB/s",
                       tally.documents.load(), megabytes, rate);
    if (total.bytes && rate > 0) {
        const double left = static_cast<double>(std::max(*total.bytes - bytes, 0LL)) / 1e6 / rate;
        std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), ", %.0f s left", left);
    }
    return line;
}

void Progress::refresh(std::stop_token stop) {
    std::mutex sleep;
    std::condition_variable_any wake;
    for (;;) {
        {
            std::unique_lock lock(sleep);
            if (wake.wait_for(lock, stop, kRefresh, [] { return false; }) || stop.stop_requested()) return;
        }
        std::string line(kClearLine);
        line += text(tally_, total_, std::chrono::steady_clock::now() - start_);
        std::lock_guard lock(mutex_);
        writeAll(errFd_, line);
        shown_ = true;
    }
}

std::unique_lock<std::mutex> Progress::clear() {
    std::unique_lock lock(mutex_);
    if (shown_) writeAll(errFd_, kClearLine);
    shown_ = false;
    return lock;
}

void Progress::stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
    clear();
}

}  // namespace tagsift
