#include "driver/diagnostics.h"

#include <cstdio>

#include "base/fatal.h"

namespace tagsift {

void Diagnostics::error(Printer::Slot slot, std::string_view text) {
    failed();
    if (printer_) printer_->write(slot, Printer::Stream::Err, std::string(kBanner).append(text));
}

std::string Diagnostics::notes() const {
    std::string notes;
    if (undecodable_ > 0) notes.append(kBanner).append(message::undecodable(undecodable_));
    if (cutShort_ > 0) notes.append(kBanner).append(message::cutShort(cutShort_));
    return notes;
}

std::string Diagnostics::stats(std::chrono::duration<double> elapsed) const {
    std::string passed = std::to_string([&] {
        long long all = 0;
        for (const auto& [kind, count] : tally_.passedOver) all += count;
        return all;
    }());
    const char* separator = " (";
    for (const auto& [kind, count] : tally_.passedOver) {
        passed.append(separator).append(kind).append(" ").append(std::to_string(count));
        separator = ", ";
    }
    if (!tally_.passedOver.empty()) passed += ")";
    const double seconds = elapsed.count();
    char time[64];
    std::snprintf(time, sizeof time, "%.3f s (%.1f MB/s)", seconds,
                  seconds > 0 ? static_cast<double>(tally_.bytesInflated) / 1e6 / seconds : 0.0);
    auto row = [](std::string_view label, const std::string& value) {
        std::string r = "  ";
        r.append(label).append(26 - label.size(), ' ').append(value).append("\n");
        return r;
    };
    return std::string(kBanner) + "\n! Stats :\n" + row("files", std::to_string(tally_.files)) +
           row("records", std::to_string(tally_.records)) +
           row("documents filtered", std::to_string(tally_.documents)) +
           row("skipped by --doc-if", std::to_string(tally_.skipped)) + row("records passed over", passed) +
           row("cut short by the crawler", std::to_string(cutShort_)) +
           row("problems", std::to_string(problems_)) +
           row("bytes read", std::to_string(tally_.bytesRead) + " (" + std::to_string(tally_.bytesInflated) +
                                 " after decompression)") +
           row("time", time);
}

}  // namespace tagsift
