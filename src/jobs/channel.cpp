#include "jobs/channel.h"

#include <algorithm>
#include <cstring>

namespace tagsift {

namespace {
// Enough for the channels of a few documents in flight; more would only hold memory.
constexpr std::size_t kPooled = 16;
}  // namespace

std::string BlockPool::take(std::size_t size) {
    std::string block;
    {
        std::lock_guard lock(mutex_);
        if (!free_.empty()) {
            block = std::move(free_.back());
            free_.pop_back();
        }
    }
    if (block.size() < size) block.resize(size);
    return block;
}

void BlockPool::give(std::string block) {
    std::lock_guard lock(mutex_);
    if (free_.size() < kPooled) free_.push_back(std::move(block));
}

bool Channel::put(std::string block, std::size_t length) {
    {
        std::unique_lock lock(mutex_);
        const bool room = changed_.wait(lock, stop_.token(), [&] { return blocks_.size() < kBlocks || abandoned_; });
        if (room && !abandoned_) {
            blocks_.push_back({std::move(block), length});
            changed_.notify_all();
            return true;
        }
    }
    pool_.give(std::move(block));
    return false;
}

void Channel::end() {
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

void Channel::fail(DocumentError error) {
    std::lock_guard lock(mutex_);
    error_ = std::move(error);
    ended_ = true;
    changed_.notify_all();
}

std::size_t Channel::read(char* to, std::size_t room) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop_.token(), [&] { return !blocks_.empty() || ended_; })) throw Stopped{};
    if (blocks_.empty() && error_) throw *error_;
    std::size_t n = 0;
    while (n < room && !blocks_.empty()) {
        Block& first = blocks_.front();
        const std::size_t k = std::min(room - n, first.length - at_);
        std::memcpy(to + n, first.bytes.data() + at_, k);
        n += k;
        at_ += k;
        if (at_ < first.length) break;
        pool_.give(std::move(first.bytes));  // the pool's lock is only ever taken inside a channel's
        blocks_.pop_front();
        at_ = 0;
        changed_.notify_all();
    }
    return n;
}

void Channel::abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    for (Block& b : blocks_) pool_.give(std::move(b.bytes));
    blocks_.clear();
    changed_.notify_all();
}

}  // namespace tagsift
