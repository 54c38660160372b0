// One document's bytes on their way from the thread that reads the input to
// the worker that filters the document.
//
// A channel holds a few blocks at most: the reading thread waits while the
// worker is behind, the worker while the reader is. The worker's side is a
// ByteSource for its Input; when the worker reads no more (the document ended
// early, or the worker is gone), later blocks are dropped so that the reader
// can go on. Blocks come from, and go back to, a pool that the reading
// thread and the workers share, so that a run of many documents does not
// allocate a block for each.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "io/input.h"
#include "jobs/stop.h"

namespace tagsift {

class BlockPool {
public:
    // A buffer of at least size bytes, whose contents mean nothing.
    std::string take(std::size_t size);
    void give(std::string block);

private:
    std::mutex mutex_;
    std::vector<std::string> free_;
};

class Channel {
public:
    // The size of a block; a channel holds kBlocks of them.
    static constexpr std::size_t kBlockSize = 1 << 16;

    Channel(Stop& stop, BlockPool& pool) : stop_(stop), pool_(pool) {}

    // --- the reading thread ---
    std::string block() { return pool_.take(kBlockSize); }
    // A block that was not filled after all.
    void unused(std::string block) { pool_.give(std::move(block)); }
    // Hands over the first length bytes of block; false when they will never be read (the
    // worker reads no more, or the run is stopping).
    bool put(std::string block, std::size_t length);
    // The document is over; or it ends with an error, reported after the bytes before it.
    void end();
    void fail(DocumentError error);

    // --- the worker ---
    // Up to room bytes, as many as the channel holds; 0 at the end. Throws the document's error,
    // or Stopped.
    std::size_t read(char* to, std::size_t room);
    // Nothing more is read of this document.
    void abandon();

private:
    static constexpr std::size_t kBlocks = 4;
    struct Block {
        std::string bytes;
        std::size_t length;
    };

    Stop& stop_;
    BlockPool& pool_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<Block> blocks_;
    std::size_t at_ = 0;  // read of the first block
    bool ended_ = false;
    bool abandoned_ = false;
    std::optional<DocumentError> error_;
};

// The worker's side of a channel, as the source of its Input; abandons the channel when dropped.
class ChannelSource final : public ByteSource {
public:
    explicit ChannelSource(std::shared_ptr<Channel> channel) : channel_(std::move(channel)) {}
    ~ChannelSource() override { channel_->abandon(); }
    std::size_t read(char* to, std::size_t room) override { return channel_->read(to, room); }
    // The reading thread is ahead already.
    bool worthReadingAhead() const override { return false; }

private:
    std::shared_ptr<Channel> channel_;
};

}  // namespace tagsift
