// The tagsift program: its command line, then a single page on standard
// input, or a run over many documents (driver/many.h).
#pragma once

#include <span>
#include <string>

namespace tagsift {

// Runs tagsift with the given words on the given descriptors; returns the exit status.
int runMain(std::span<const std::string> words, int inFd = 0, int outFd = 1, int errFd = 2);

}  // namespace tagsift
