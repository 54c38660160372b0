// The --progress line's text, for the states a terminal test cannot wait for: totals known or
// not, nothing read yet, more read than was known.
#include <gtest/gtest.h>

#include "driver/progress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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
    const std::string dir = std::filesystem::temp_directory_path() / ("sizes-" + std::to_string(getpid()));
    const std::string seven = dir + "/seven", five = dir + "/five", fifo = dir + "/fifo";
    std::filesystem::create_directories(dir);
    std::ofstream(seven) << "1234567";
    std::ofstream(five) << "12345";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int file = open(five.c_str(), O_RDONLY), pipe = open(fifo.c_str(), O_RDWR);
    const std::tuple<std::vector<std::string>, std::string, int, std::optional<long long>, std::optional<long long>>
        rows[] = {{{seven, five}, "", pipe, 2, 12}, {{seven, "-"}, "", file, 2, 12}, {{seven, "-"}, "", pipe, 2, {}},
                  {{seven, fifo}, "", file, 2, {}}, {{seven, dir + "/missing"}, "", file, 2, {}},
                  {{seven}, "list.txt", file, {}, {}}};  // the list's names are still to be read
    for (const auto& [files, list, in, count, bytes] : rows) {
        Settings settings;
        settings.files = files;
        if (!list.empty()) settings.listNames = {list};
        const KnownSizes sizes = knownSizes(settings, in);
        EXPECT_EQ(std::make_pair(sizes.files, sizes.bytes), std::make_pair(count, bytes)) << files.back() << in;
    }
    close(file);
    close(pipe);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tagsift
