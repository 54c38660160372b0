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
        Printer printer(out, err, 4, kLimit, stop);
        const Printer::Slot first = *printer.open(), second = *printer.open();
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
