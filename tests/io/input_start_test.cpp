// A look at a document's first bytes shows them, and changes nothing of what is read after it:
// the same blocks, document after document, on the reading thread and without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "io/input.h"

namespace tagsift {
namespace {

// Documents one after another, each given out at most block bytes a read.
class Documents : public ByteSource {
public:
    Documents(std::vector<std::string> documents, std::size_t block) : documents_(std::move(documents)), block_(block) {}
    std::size_t read(char* to, std::size_t room) override {
        const std::string& d = documents_[current_];
        const std::size_t n = std::min({room, block_, d.size() - at_});
        d.copy(to, n, at_);
        at_ += n;
        return n;
    }
    bool nextDocument(DocumentInfo& info) override {
        at_ = 0;
        if (++current_ >= documents_.size()) return false;
        info.url = std::to_string(current_);
        return true;
    }

private:
    std::vector<std::string> documents_;
    std::size_t block_;
    std::size_t current_ = 0, at_ = 0;
};

// Every block of every document, each document's blocks after its number; with look, each
// document's start is looked at first and given in brackets.
std::vector<std::string> readAll(Input in, std::size_t look) {
    std::vector<std::string> seen;
    for (DocumentInfo info;;) {
        seen.push_back("#" + info.url);
        if (look) seen.push_back("[" + std::string(in.start(look)) + "]");
        while (in.refill()) seen.emplace_back(in.begin(), in.end());
        if (!in.nextDocument(info)) return seen;
    }
}

TEST(InputStart, ShowsTheStartAndLeavesTheBlocks) {
    // The first document is the one before any nextDocument(); a CR LF pair and a byte 26 are
    // cleaned before the look as after it.
    // The last document has a long stretch between two carriage returns, which a block keeps in
    // place and hands out in segments around them.
    const std::vector<std::string> documents{"<meta charset=koi8-r>\r\n" + std::string(40, 'x'), "", "ab",
                                             std::string(70, 'y') + "\x1a" + "after", "z",
                                             "p\r\n" + std::string(5000, 'q') + "\r\nr\r\n"};
    auto clean = [](std::string d) {
        d = d.substr(0, d.find('\x1a'));
        for (std::size_t at; (at = d.find("\r\n")) != std::string::npos;) d.erase(at, 1);
        return d;
    };
    for (std::size_t block : {1, 3, 16, 64, 1 << 16})
        for (std::size_t readSize : {1, 5, 1 << 16}) {
            const auto source = [&] { return std::make_unique<Documents>(documents, readSize); };
            const std::vector<std::string> plain = readAll(Input(source(), block), 0);
            for (std::size_t look : {1, 2, 22, 64, 1024, 5004}) {
                std::vector<std::string> looked = readAll(Input(source(), block), look);
                for (std::size_t d = 0; d < documents.size(); ++d) {
                    const std::string cleaned = clean(documents[d]);
                    const auto at = std::find(looked.begin(), looked.end(), "#" + (d ? std::to_string(d) : ""));
                    ASSERT_NE(at, looked.end());
                    EXPECT_EQ(at[1], "[" + cleaned.substr(0, look) + "]") << "document " << d << ", blocks of " << block;
                    looked.erase(at + 1);
                }
                EXPECT_EQ(looked, plain) << "blocks of " << block << ", reads of " << readSize << ", look " << look;
            }
        }
    // Bytes given whole, read on this thread.
    EXPECT_EQ(Input::fromText("abcdef", 2).start(4), "abcd");
    Input in = Input::fromText("abcdef", 4);
    EXPECT_EQ(in.start(5), "abcde");
    std::string all;
    while (in.refill()) all.append(in.begin(), in.end()).push_back('|');
    EXPECT_EQ(all, "abcd|ef|");
}

}  // namespace
}  // namespace tagsift
