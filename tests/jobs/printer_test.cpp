// What no output shows: a document not first in line holds up to the limit without waiting, a
// byte more waits for its turn; whatever the order of writes, documents come out in slot order.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "jobs/channel.h"
#include "jobs/printer.h"

namespace tagsift {
namespace {

std::string contents(int fd) {
    std::string all(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
    EXPECT_EQ(pread(fd, all.data(), all.size(), 0), static_cast<ssize_t>(all.size()));
    return all;
}

TEST(JobsPrinter, ALaterDocumentHoldsUpToTheLimitThenWaitsForItsTurn) {
    constexpr std::size_t kLimit = 8;
    // Bytes the second document writes after one byte of standard error, while the first is
    // live; whether that write waits.
    const std::pair<std::string, bool> rows[] = {{"", false}, {"1234567", false}, {"12345678", true}};
    for (const auto& [bytes, waits] : rows) {
        const int out = memfd_create("out", 0), err = memfd_create("err", 0);
        Stop stop;
        Printer printer(out, err, kLimit, stop);
        const Printer::Slot first = *printer.open(4), second = *printer.open(4);
        printer.write(first, Printer::Stream::Out, "a");
        auto later = std::async(std::launch::async, [&, bytes = bytes] {
            printer.write(second, Printer::Stream::Err, "<");
            printer.write(second, Printer::Stream::Out, bytes);
        });
        const bool waited = later.wait_for(std::chrono::milliseconds(waits ? 200 : 20000)) != std::future_status::ready;
        EXPECT_EQ(waited, waits) << bytes;
        printer.write(first, Printer::Stream::Out, "b\n");
        printer.close(first);
        later.get();
        printer.close(second);
        printer.finish();
        EXPECT_EQ(contents(out), "ab\n" + bytes) << bytes;
        EXPECT_EQ(contents(err), "<") << bytes;
        close(out);
        close(err);
    }
}

// How many slots open() lets be open, with the slots already open and how many of them must be
// printed before it goes on: one for a single slot, half the window for a batch.
TEST(JobsPrinter, OpenWaitsForRoomInTheWindowItIsGiven) {
    const struct {
        std::size_t open, window;
        bool batch;
        std::size_t printed;  // before it goes on
    } rows[] = {{3, 4, false, 0}, {4, 4, false, 1}, {4, 4, true, 2}, {7, 8, true, 0}, {8, 8, true, 4}, {9, 8, true, 5},
                {1, 1, false, 1}, {1, 1, true, 1}, {5, 16, true, 0}};
    for (const auto& row : rows) {
        const int out = memfd_create("out", 0);
        Stop stop;
        Printer printer(out, out, 8, stop);
        for (std::size_t i = 0; i < row.open; ++i) printer.open(100);
        auto next = std::async(std::launch::async, [&] { return printer.open(row.window, row.batch); });
        for (std::size_t i = 0; i < row.printed; ++i) {
            EXPECT_EQ(next.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout) << i;
            printer.close(i);
        }
        EXPECT_EQ(next.get(), row.open) << row.open << " of " << row.window;
        close(out);
    }
}

// A crawl file that fails to read in the middle of a document: the worker waiting for its next
// bytes gets the error, and is not left waiting for ever.
TEST(JobsChannel, AReadErrorReachesTheWorkerThatWaits) {
    Stop stop;
    BlockPool pool;
    Channel channel(stop, pool);
    auto read = std::async(std::launch::async, [&] { char c; channel.read(&c, 1); });
    channel.fail(fatal::readError("f", "why"));
    if (read.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) stop.request();
    EXPECT_THROW(read.get(), DocumentError);
}

}  // namespace
}  // namespace tagsift
