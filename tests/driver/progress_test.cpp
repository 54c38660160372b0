// The --progress line's text, for the states a terminal test cannot wait for: totals known or
// not, nothing read yet, more read than was known.
#include <gtest/gtest.h>

#include "driver/progress.h"

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

}  // namespace
}  // namespace tagsift
