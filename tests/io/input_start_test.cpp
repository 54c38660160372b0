// A look at a document's first bytes shows them, and changes nothing of what is read after it:
// the same blocks, on the reading thread and without it. Which thread reads a source.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "io/input.h"

namespace tagsift {
namespace {

// A document given out at most block bytes a read; it says its size when sized, and notes
// whether any read ran on a thread other than the one that made it.
class Document : public ByteSource {
public:
    Document(std::string text, std::size_t block, bool sized = false, bool worthIt = true, bool* elsewhere = nullptr)
        : text_(std::move(text)), block_(block), sized_(sized), worthIt_(worthIt), elsewhere_(elsewhere) {}
    std::size_t read(char* to, std::size_t room) override {
        if (elsewhere_) *elsewhere_ |= std::this_thread::get_id() != maker_;
        const std::size_t n = std::min({room, block_, text_.size() - at_});
        text_.copy(to, n, at_);
        at_ += n;
        return n;
    }
    long long knownSize() const override { return sized_ ? static_cast<long long>(text_.size()) : ByteSource::knownSize(); }
    bool worthReadingAhead() const override { return worthIt_ && ByteSource::worthReadingAhead(); }

private:
    std::string text_;
    std::size_t block_, at_ = 0;
    bool sized_, worthIt_, *elsewhere_;
    std::thread::id maker_ = std::this_thread::get_id();
};

// Every block of the document; with look, its start looked at first and given in brackets.
std::vector<std::string> readAll(Input in, std::size_t look) {
    std::vector<std::string> seen;
    if (look) seen.push_back("[" + std::string(in.start(look)) + "]");
    while (in.refill()) seen.emplace_back(in.begin(), in.end());
    return seen;
}

TEST(InputStart, ShowsTheStartAndLeavesTheBlocks) {
    // A CR LF pair and a byte 26 are cleaned before the look as after it. The last document has
    // a long stretch between two carriage returns, which a block keeps in place and hands out in
    // segments around them.
    const std::vector<std::string> documents{"<meta charset=koi8-r>\r\n" + std::string(40, 'x'), "", "ab",
                                             std::string(70, 'y') + "\x1a" + "after", "z",
                                             "p\r\n" + std::string(5000, 'q') + "\r\nr\r\n"};
    auto clean = [](std::string d) {
        d = d.substr(0, d.find('\x1a'));
        for (std::size_t at; (at = d.find("\r\n")) != std::string::npos;) d.erase(at, 1);
        return d;
    };
    for (const std::string& document : documents)
        for (std::size_t block : {1, 3, 16, 64, 1 << 16})
            for (std::size_t readSize : {1, 5, 1 << 16}) {
                const auto source = [&] { return std::make_unique<Document>(document, readSize); };
                const std::vector<std::string> plain = readAll(Input(source(), block), 0);
                EXPECT_EQ(std::accumulate(plain.begin(), plain.end(), std::string()), clean(document));
                for (std::size_t look : {1, 2, 22, 64, 1024, 5004}) {
                    std::vector<std::string> looked = readAll(Input(source(), block), look);
                    const std::string what = "blocks of " + std::to_string(block) + ", reads of " +
                                             std::to_string(readSize) + ", look " + std::to_string(look);
                    EXPECT_EQ(looked.front(), "[" + clean(document).substr(0, look) + "]") << what;
                    looked.erase(looked.begin());
                    EXPECT_EQ(looked, plain) << what;
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

// A source is read ahead on a thread of its own, unless its size says that it fits in one block
// (a thread would cost more than the read) or it says that another thread makes its bytes already.
TEST(InputStart, ReadsAheadOnAThreadOfItsOwnWhereThatPays) {
    EXPECT_EQ(Document("", 1).knownSize(), -1);  // unknown: past any block
    const struct {
        std::size_t size;
        bool sized, worthIt, elsewhere;
    } rows[] = {{8, false, true, true}, {7, true, true, false}, {8, true, true, false}, {9, true, true, true},
                {0, true, true, false}, {9, false, false, false}};
    for (const auto& row : rows) {
        bool elsewhere = false;
        std::string all;
        for (Input in(std::make_unique<Document>(std::string(row.size, 'x'), 3, row.sized, row.worthIt, &elsewhere), 8);
             in.refill();)
            all.append(in.begin(), in.end());
        EXPECT_EQ(all, std::string(row.size, 'x'));
        EXPECT_EQ(elsewhere, row.elsewhere) << row.size << (row.sized ? " sized" : "") << (row.worthIt ? "" : " not worth it");
    }
}

// A reader in a read of a source that cannot wait for ever (a file) is waited for when its Input
// goes: nothing of it runs on after the document's owner is done with it.
TEST(InputStart, WaitsForAReaderInTheMiddleOfARead) {
    struct Seen {
        std::atomic<int> reads{0};
        std::atomic<bool> inSecond{false}, secondDone{false};
    };
    class Slow : public ByteSource {
    public:
        explicit Slow(std::shared_ptr<Seen> seen) : seen_(std::move(seen)) {}
        std::size_t read(char* to, std::size_t) override {
            if (seen_->reads++ == 1) {
                seen_->inSecond = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                seen_->secondDone = true;
            }
            *to = 'x';
            return 1;
        }

    private:
        std::shared_ptr<Seen> seen_;  // shared: a reader left running would outlive the test
    };
    const auto seen = std::make_shared<Seen>();
    {
        Input in(std::make_unique<Slow>(seen), 4);
        ASSERT_TRUE(in.refill());
        while (!seen->inSecond) std::this_thread::yield();
    }
    EXPECT_TRUE(seen->secondDone);
}

TEST(InputStart, ReadsBlocksOf256KiB) {
    std::vector<std::size_t> sizes;
    for (Input in(std::make_unique<Document>(std::string(300 << 10, 'x'), 1 << 20)); in.refill();)
        sizes.push_back(static_cast<std::size_t>(in.end() - in.begin()));
    EXPECT_EQ(sizes, (std::vector<std::size_t>{256 << 10, 44 << 10}));
}

}  // namespace
}  // namespace tagsift
