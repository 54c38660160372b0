#include "jobs/stop.h"

namespace tagsift {

void Stop::fail(std::exception_ptr failure) {
    {
        std::lock_guard lock(mutex_);
        if (!failure_) failure_ = std::move(failure);
    }
    source_.request_stop();
}

std::exception_ptr Stop::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

}  // namespace tagsift
