// What ends a run from any of its threads.
//
// The first failure that ends the run (a write error, memory) is kept here
// for the entry point to report once every thread has stopped, and a stop is
// requested: every wait of the run's threads watches the stop token, so no
// thread is left waiting for one that is gone.
#pragma once

#include <exception>
#include <mutex>
#include <stop_token>

namespace tagsift {

// Thrown out of a wait, or a write, once the run is stopping: the thread unwinds and ends.
struct Stopped {};

class Stop {
public:
    // Keeps failure if it is the first, and stops the run.
    void fail(std::exception_ptr failure);
    // Stops the run without a failure of its own (the entry point gives up on the rest).
    void request() { source_.request_stop(); }
    bool requested() const { return source_.stop_requested(); }
    std::stop_token token() const { return source_.get_token(); }
    // The first failure, or null.
    std::exception_ptr failure() const;

private:
    std::stop_source source_;
    mutable std::mutex mutex_;
    std::exception_ptr failure_;
};

}  // namespace tagsift
