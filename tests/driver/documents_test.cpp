// The names of a run's documents, where the end-to-end path cannot reach: standard input that
// fails part-way while a document "-" makes the list on it be read ahead.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "base/fatal.h"
#include "driver/documents.h"

namespace tagsift {
namespace {

// /proc/self/mem opens, and its first read (at address 0) fails: a list that fails at once.
TEST(DocumentNames, AListReadAheadFailsInItsTurn) {
    const int failing = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (failing < 0) GTEST_SKIP() << "no /proc here";
    Settings settings;
    settings.files = {"a", "-", "b"};
    settings.listNames = {"-"};
    DocumentNames names(settings, failing);
    std::string name;
    for (const char* want : {"a", "-", "b"}) {
        ASSERT_TRUE(names.next(name));
        EXPECT_EQ(name, want);
    }
    EXPECT_THROW(names.next(name), Fatal);
    ::close(failing);
}

}  // namespace
}  // namespace tagsift
