// The --progress line's text, for the states a terminal test cannot wait for: totals known or
// not, nothing read yet, more read than was known.
#include <gtest/gtest.h>

#include "driver/progress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace tagsift {
namespace {

TEST(Progress, TheLineSaysWhatIsKnown) {
    struct Row {
        long long files, documents, bytes;
        KnownSizes total;
        double seconds;
        const char* line;
    };
    const Row rows[] = {
        {3, 1200, 540200000, {10, 1540200000}, 2.0, "tagsift: 3/10 files, 1200 documents, 540.2 MB, 270.1 MB/s, 4 s left"},
        {3, 1200, 540200000, {}, 2.0, "tagsift: 3 files, 1200 documents, 540.2 MB, 270.1 MB/s"},
        {3, 1200, 540200000, {10, {}}, 2.0, "tagsift: 3/10 files, 1200 documents, 540.2 MB, 270.1 MB/s"},
        // Nothing read yet: no rate, so no time left either.
        {0, 0, 0, {2, 5000}, 0.25, "tagsift: 0/2 files, 0 documents, 0.0 MB, 0.0 MB/s"},
        {0, 0, 0, {2, 5000}, 0.0, "tagsift: 0/2 files, 0 documents, 0.0 MB, 0.0 MB/s"},
        // A slow read, under a megabyte a second, still tells the time left.
        {1, 2, 500000, {4, 2000000}, 1.0, "tagsift: 1/4 files, 2 documents, 0.5 MB, 0.5 MB/s, 3 s left"},
        // A file that grew while it was read: nothing is left, never less.
        {1, 1, 3000000, {1, 1000000}, 1.0, "tagsift: 1/1 files, 1 documents, 3.0 MB, 3.0 MB/s, 0 s left"},
    };
    for (const Row& row : rows) {
        Tally tally;
        tally.files = row.files;
        tally.documents = row.documents;
        tally.bytesRead = row.bytes;
        EXPECT_EQ(Progress::text(tally, row.total, std::chrono::duration<double>(row.seconds)), row.line);
    }
}

// The sizes the line's time left is reckoned from: known only when every file is a regular
// file named before the run; standard input counts by what it is.
TEST(Progress, SizesAreKnownOfRegularFilesNamedBeforeTheRun) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("sizes-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string seven = dir / "seven", five = dir / "five", fifo = dir / "fifo";
    std::FILE* f = std::fopen(seven.c_str(), "w");
    std::fputs("1234567", f);
    std::fclose(f);
    f = std::fopen(five.c_str(), "w");
    std::fputs("12345", f);
    std::fclose(f);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int regularIn = open(five.c_str(), O_RDONLY), fifoIn = open(fifo.c_str(), O_RDWR);
    struct Row {
        std::vector<std::string> files;
        std::string list;
        int in;
        std::optional<long long> files_, bytes;
    };
    const Row rows[] = {
        {{seven, five}, "", fifoIn, 2, 12},
        {{seven, "-"}, "", regularIn, 2, 12},    // standard input, a file of 5 bytes
        {{seven, "-"}, "", fifoIn, 2, {}},       // standard input, a pipe
        {{seven, fifo}, "", regularIn, 2, {}},   // a named pipe
        {{seven, dir / "missing"}, "", regularIn, 2, {}},
        {{seven}, "list.txt", regularIn, {}, {}},  // names still to be read
    };
    for (const Row& row : rows) {
        Settings settings;
        settings.files = row.files;
        settings.listName = row.list;
        const KnownSizes sizes = knownSizes(settings, row.in);
        EXPECT_EQ(sizes.files, row.files_) << row.files.back();
        EXPECT_EQ(sizes.bytes, row.bytes) << row.files.back();
    }
    close(regularIn);
    close(fifoIn);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tagsift
