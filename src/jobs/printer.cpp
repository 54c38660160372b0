#include "jobs/printer.h"

#include <algorithm>

namespace tagsift {

namespace {
// Pieces of standard output smaller than this are gathered; a buffer of this size is written at once.
constexpr std::size_t kGather = 1 << 16;
}  // namespace

Printer::Printer(int outFd, int errFd, std::size_t holdLimit, Stop& stop)
    : outFd_(outFd), errFd_(errFd), holdLimit_(holdLimit), stop_(stop) {}

std::optional<Printer::Slot> Printer::open(std::size_t window, bool batch) {
    std::unique_lock lock(mutex_);
    if (next_ - head_ >= window) {
        wakeAt_ = window - (batch ? std::max<std::size_t>(window / 2, 1) : 1);
        const bool room = room_.wait(lock, stop_.token(), [&] { return next_ - head_ <= *wakeAt_; });
        wakeAt_.reset();
        if (!room) return std::nullopt;
    }
    slots_.emplace_back();
    return next_++;
}

void Printer::write(Slot slot, Stream stream, std::string_view bytes) {
    std::unique_lock lock(mutex_);
    if (stop_.requested()) throw Stopped{};
    if (live(slot)) {
        lock.unlock();
        try {
            emit(stream, bytes);
        } catch (...) {
            stop_.fail(std::current_exception());
            throw Stopped{};
        }
        return;
    }
    Held& held = slots_[slot - head_];
    held.pieces.emplace_back(stream, std::string(bytes));
    held.bytes += bytes.size();
    if (held.bytes > holdLimit_) waitForTurn(lock, slot);
}

void Printer::waitForTurn(Slot slot) {
    std::unique_lock lock(mutex_);
    waitForTurn(lock, slot);
}

void Printer::waitForTurn(std::unique_lock<std::mutex>& lock, Slot slot) {
    ++waitingForTurn_;
    const bool turn = turn_.wait(lock, stop_.token(), [&] { return live(slot); });
    --waitingForTurn_;
    if (!turn) throw Stopped{};
}

void Printer::close(Slot slot) {
    std::unique_lock lock(mutex_);
    slots_[slot - head_].closed = true;
    if (!live(slot)) return;  // whoever hands the line on passes over it
    headLive_ = false;
    passOn(lock);
}

void Printer::passOn(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        slots_.pop_front();
        ++head_;
        if (wakeAt_ && next_ - head_ <= *wakeAt_) room_.notify_one();
        if (slots_.empty()) {
            headLive_ = true;
            return;
        }
        // A deque keeps its elements in place as others are added behind them.
        Held& first = slots_.front();
        while (!first.pieces.empty()) {
            auto pieces = std::move(first.pieces);
            first.pieces.clear();
            first.bytes = 0;
            lock.unlock();
            try {
                for (const auto& [stream, bytes] : pieces) emit(stream, bytes);
            } catch (...) {
                stop_.fail(std::current_exception());
                lock.lock();
                return;
            }
            lock.lock();
        }
        if (!first.closed) {
            headLive_ = true;
            if (waitingForTurn_) turn_.notify_all();
            return;
        }
    }
}

void Printer::emit(Stream stream, std::string_view bytes) {
    if (stream == Stream::Err) {
        flushGathered();
        std::unique_lock<std::mutex> clear;
        if (errLine_) clear = errLine_->clear();
        writeAll(errFd_, bytes);  // as ever, a failing standard error is not reported anywhere
        return;
    }
    if (gathered_.size() + bytes.size() <= kGather) {
        if (gathered_.capacity() < kGather) gathered_.reserve(kGather);
        gathered_.append(bytes);
        return;
    }
    flushGathered();
    if (bytes.size() < kGather) {
        gathered_.append(bytes);
        return;
    }
    std::unique_lock<std::mutex> clear;
    if (outLine_) clear = outLine_->clear();
    writeOutput(outFd_, bytes);
}

void Printer::flushGathered() {
    if (gathered_.empty()) return;
    std::unique_lock<std::mutex> clear;
    if (outLine_) clear = outLine_->clear();
    std::string bytes;
    bytes.swap(gathered_);  // never written twice, whatever the outcome
    writeOutput(outFd_, bytes);
    bytes.clear();
    if (gathered_.capacity() < bytes.capacity()) gathered_.swap(bytes);
}

void Printer::finish() {
    std::lock_guard lock(mutex_);
    flushGathered();
}

}  // namespace tagsift
