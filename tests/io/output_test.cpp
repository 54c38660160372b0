// Writing from a buffer that can be read past the text: the bytes past it never show.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "io/output.h"

namespace tagsift {
namespace {

TEST(Output, WriteFromShowsTheTextAloneWhateverItsLengthAndRoom) {
    std::string source;
    for (int i = 0; i < 200; ++i) source.push_back(static_cast<char>('a' + i % 26));
    for (std::size_t capacity : {std::size_t{40}, std::size_t{1} << 16})
        for (std::size_t before : {0, 7, 9, 39})
            for (std::size_t length : {0, 1, 7, 8, 16, 17, 31, 32, 33, 100})
                for (std::size_t readable : {length, std::size_t{31}, std::size_t{32}, std::size_t{64}}) {
                    if (readable < length) continue;
                    // Readable up to the end of its own allocation, where a sanitizer sees a read past it.
                    const auto buffer = std::make_unique<char[]>(readable);
                    std::copy_n(source.data() + 3, readable, buffer.get());
                    Output out(-1, capacity);
                    const std::string head(before, '-');
                    out.write(head);
                    out.writeFrom(std::string_view(buffer.get(), length), buffer.get() + readable);
                    out.write("|");
                    out.flush();
                    EXPECT_EQ(out.collected(), head + source.substr(3, length) + "|")
                        << capacity << " " << before << " " << length << " " << readable;
                }
}

}  // namespace
}  // namespace tagsift
