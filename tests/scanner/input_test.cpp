// Standard input as blocks: read ahead on a second thread from a descriptor,
// the blocks must hold what reading on one thread gives, in order, with the
// same cleaning (CR LF to LF, also across reads; byte 26 ends the input) and
// the same read error after the blocks read before it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "base/fatal.h"
#include "io/input.h"

namespace tagsift {
namespace {

using namespace std::string_literals;

std::string drain(Input& in) {
    std::string all;
    while (in.refill()) all.append(in.begin(), in.end());
    return all;
}

// A file holding text, opened for reading at its start.
int fileWith(const std::string& text) {
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
    int fd = dup(fileno(f));
    std::fclose(f);
    lseek(fd, 0, SEEK_SET);
    return fd;
}

TEST(Input, ReadAheadGivesWhatTheTextGives) {
    std::string big;
    for (int k = 0; k < 40000; ++k) big += k % 3 ? "<a href=x>line\r\n" : "text\r\r\n";
    const struct Case {
        std::string text;
        std::string cleaned;
    } cases[] = {
        {"", ""},
        {"a\r\nb\rc\r\n", "a\nb\rc\n"},
        {"\r\n\r\n\r", "\n\n\r"},
        {"before\x1a after", "before"},
        {"\x1a", ""},
        {"a\0b\r\n"s, "a\0b\n"s},
    };
    for (const Case& c : cases)
        for (std::size_t blockSize : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{1} << 18}) {
            int fd = fileWith(c.text);
            Input ahead(fd, blockSize);
            EXPECT_EQ(drain(ahead), c.cleaned) << '"' << c.text << "\" in blocks of " << blockSize;
            close(fd);
        }
    for (std::size_t blockSize : {std::size_t{7}, std::size_t{4096}, std::size_t{1} << 18}) {
        int fd = fileWith(big);
        Input ahead(fd, blockSize);
        Input text = Input::fromText(big, blockSize);
        EXPECT_EQ(drain(ahead), drain(text)) << "blocks of " << blockSize;
        close(fd);
    }
}

TEST(Input, AReadErrorComesAfterTheBlocksBeforeIt) {
    int fd = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    Input in(fd);
    try {
        in.refill();
        FAIL() << "a directory read as input";
    } catch (const Fatal& f) {
        EXPECT_NE(f.text.find("cannot read standard input : Is a directory"), std::string::npos) << f.text;
    }
    close(fd);
}

// A run that ends early (a fatal error, say) leaves the reader waiting on a pipe that stays open.
TEST(Input, EndingWhileTheReaderWaitsDoesNotHang) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(write(pipeFds[1], "<a>", 3), 3);
    {
        Input in(pipeFds[0]);
        ASSERT_TRUE(in.refill());
        EXPECT_EQ(std::string(in.begin(), in.end()), "<a>");
    }
    close(pipeFds[1]);
    close(pipeFds[0]);
}

}  // namespace
}  // namespace tagsift
