// What a file descriptor's source knows before it is read: a regular file's size (so that a
// small one is read without a second thread), and that a pipe may keep a reader waiting.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

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
        FdSource source(fd, f.name, true);
        EXPECT_EQ(source.knownSize(), static_cast<long long>(f.content.size())) << f.name;
        EXPECT_FALSE(source.mayWaitForEver()) << f.name;
    }
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    {
        FdSource reading(pipeFds[0], "a pipe", true);
        EXPECT_EQ(reading.knownSize(), -1);
        EXPECT_TRUE(reading.mayWaitForEver());
    }
    close(pipeFds[1]);
}

}  // namespace
}  // namespace tagsift
