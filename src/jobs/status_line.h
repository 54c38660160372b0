// A line that a thread keeps redrawn at the bottom of a terminal (--progress).
//
// Whoever else writes to that terminal clears the line first and writes while
// holding the lock that clear() returns, so that nothing runs into the line;
// the line comes back at its next refresh.
#pragma once

#include <mutex>

namespace tagsift {

class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual std::unique_lock<std::mutex> clear() = 0;
};

}  // namespace tagsift
