// The given bytes as a file that gives at most step bytes a read, so that records, headers and
// gzip members split anywhere: for the crawl reader's test and fuzz target. It can also be read
// at any place, so that helpers may inflate its members ahead.
#pragma once

#include <algorithm>
#include <string>

#include "io/input.h"

namespace tagsift::testing {

class Pieces : public ByteSource {
public:
    Pieces(std::string data, std::size_t step) : data_(std::move(data)), step_(step) {}
    std::size_t read(char* to, std::size_t room) override {
        const std::size_t n = std::min({room, step_, data_.size() - at_});
        data_.copy(to, n, at_);
        at_ += n;
        return n;
    }
    // For helpers that inflate members ahead of the reader: any place, at most step bytes.
    std::size_t readAt(char* to, std::size_t room, long long offset) const override {
        const auto at = std::min(static_cast<std::size_t>(offset), data_.size());
        return data_.copy(to, std::min({room, step_, data_.size() - at}), at);
    }
    bool readableAt() const override { return true; }
    long long knownSize() const override { return static_cast<long long>(data_.size()); }

private:
    std::string data_;
    std::size_t step_, at_ = 0;
};

}  // namespace tagsift::testing
