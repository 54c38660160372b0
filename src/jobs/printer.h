// The output of a run over many documents, printed in input order whatever
// order the documents are filtered in.
//
// Each document gets a slot, in input order, and prints into it: standard
// output and standard error, in the order written. The first slot not yet
// printed is first in line, and while it is live its worker's writes go
// straight to the descriptors. Any other slot holds what it is given, up to a
// limit, and then its worker waits until the slot is first in line. When the
// first slot closes, the thread that closes it writes out the slots after it
// that are ready and hands the line on to the first that is not.
//
// So exactly one thread writes to the descriptors at a time: the worker of
// the live first slot, or the thread handing the line on; the hand-over is
// made under the mutex, which orders one writer's writes before the next's.
// Small pieces of standard output are gathered into larger writes; standard
// error is written at once, after what standard output has gathered, so the
// two interleave as they were written.
//
// Back-pressure: open() waits while as many slots as its caller allows are
// open and unprinted, and a slot that is not first in line holds at most
// `holdLimit` bytes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/output.h"
#include "jobs/status_line.h"
#include "jobs/stop.h"

namespace tagsift {

class Printer {
public:
    using Slot = std::uint64_t;
    enum class Stream { Out, Err };

    Printer(int outFd, int errFd, std::size_t holdLimit, Stop& stop);

    // The next document's slot, once fewer than window slots are open and unprinted; nullopt
    // when the run is stopping. batch: a window that is full is waited on until half of it is
    // free, for a caller that has nothing to do meanwhile and would otherwise be woken for every
    // slot printed.
    std::optional<Slot> open(std::size_t window, bool batch = false);
    // Prints bytes for the document of slot, waiting while its slot holds too much. A failed
    // write stops the run (Stop::fail with QuietExit or a Fatal); the writer and every later
    // caller then get Stopped.
    void write(Slot slot, Stream stream, std::string_view bytes);
    // The document of slot prints nothing more.
    void close(Slot slot);
    // Waits until slot is first in line; throws Stopped when the run stops first.
    void waitForTurn(Slot slot);
    // Every slot is closed: writes what standard output has gathered. Throws as a write fails.
    void finish();
    // Writes to standard error, and to standard output when outputToo (it is the same terminal),
    // clear this line first. Set before the first slot opens.
    void keepClearOf(StatusLine& line, bool outputToo) {
        errLine_ = &line;
        outLine_ = outputToo ? &line : nullptr;
    }

private:
    struct Held {
        std::deque<std::pair<Stream, std::string>> pieces;
        std::size_t bytes = 0;
        bool closed = false;
    };

    bool live(Slot slot) const { return slot == head_ && headLive_; }
    void waitForTurn(std::unique_lock<std::mutex>& lock, Slot slot);
    // With the line: prints the closed first slot's successors that are ready, and hands the line on.
    void passOn(std::unique_lock<std::mutex>& lock);
    // With the line: one piece to its descriptor.
    void emit(Stream stream, std::string_view bytes);
    void flushGathered();

    const int outFd_, errFd_;
    const std::size_t holdLimit_;
    Stop& stop_;
    std::mutex mutex_;
    // Waits for room in the window, and for a slot's turn: apart, so that printing a slot wakes
    // only a thread that can go on.
    std::condition_variable_any room_, turn_;
    std::optional<std::size_t> wakeAt_;  // the open slots few enough for open()'s waiter
    int waitingForTurn_ = 0;
    std::deque<Held> slots_;  // from head_ on
    Slot head_ = 0, next_ = 0;
    bool headLive_ = true;  // head_'s worker writes itself (or, with no slot open, the next will)
    std::string gathered_;  // standard output not yet written; touched only with the line
    StatusLine* errLine_ = nullptr;  // the line each write clears first, on standard error
    StatusLine* outLine_ = nullptr;  // and on standard output
};

// An Output's sink that prints into one slot of a Printer; the slot changes with the document.
class SlotSink final : public OutputSink {
public:
    explicit SlotSink(Printer& printer) : printer_(printer) {}
    void use(Printer::Slot slot) { slot_ = slot; }
    void take(std::string_view bytes) override { printer_.write(slot_, Printer::Stream::Out, bytes); }

private:
    Printer& printer_;
    Printer::Slot slot_ = 0;
};

}  // namespace tagsift
