// What a file descriptor's source knows before it is read: a regular file's size (so that a
// small one is read without a second thread), that a pipe may keep a reader waiting, and where
// a regular file's reads at any place start (standard input may be a file read in part before).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "io/input.h"
#include "support/run_binary.h"

namespace tagsift {
namespace {

TEST(FdSource, KnowsWhatItCanBeforeReading) {
    testing::ScratchDir dir;
    const struct {
        const char* name;
        std::string content;
    } files[] = {{"empty", ""}, {"small", "<a href=x>"}, {"larger", std::string(300000, 'x')}};
    for (const auto& f : files) {
        const int fd = ::open(dir.write(f.name, f.content).c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        const std::size_t first = std::min<std::size_t>(f.content.size(), 3);
        ::lseek(fd, static_cast<off_t>(first), SEEK_SET);
        FdSource source(fd, f.name, true);
        EXPECT_EQ(source.knownSize(), static_cast<long long>(f.content.size())) << f.name;
        EXPECT_FALSE(source.mayWaitForEver()) << f.name;
        char bytes[8];
        source.read(bytes, 2);  // reads in turn move nothing that reads at any place see
        EXPECT_TRUE(source.readableAt());
        EXPECT_EQ(std::string(bytes, source.readAt(bytes, 4, 1)), f.content.substr(std::min(first + 1, f.content.size()), 4));
        // Passed over up to the end, then read on from there.
        const long long left = static_cast<long long>(f.content.size() - std::min(first + 2, f.content.size()));
        EXPECT_EQ(source.skip(5), std::min(left, 5LL)) << f.name;
        EXPECT_EQ(std::string(bytes, source.read(bytes, 3)), f.content.substr(std::min(first + 7, f.content.size()), 3));
        EXPECT_EQ(source.skip(1LL << 40), std::max(left - 8, 0LL)) << f.name;
        EXPECT_EQ(source.read(bytes, 1), 0u) << f.name;
    }
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(write(pipeFds[1], "0123456789", 10), 10);
    close(pipeFds[1]);
    FdSource reading(pipeFds[0], "a pipe", true);
    EXPECT_EQ(reading.knownSize(), -1);
    EXPECT_TRUE(reading.mayWaitForEver());
    EXPECT_FALSE(reading.readableAt());
    char bytes[8];
    EXPECT_EQ(reading.skip(4), 4);  // a pipe is read to be passed over
    EXPECT_EQ(std::string(bytes, reading.read(bytes, 2)), "45");
    EXPECT_EQ(reading.skip(9), 4);
}

}  // namespace
}  // namespace tagsift
