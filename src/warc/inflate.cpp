#include "warc/inflate.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <isa-l/igzip_lib.h>

namespace tagsift::warc {

Inflater::Inflater() = default;
Inflater::~Inflater() = default;

void Inflater::start(Wrapper wrapper) {
    if (!state_) state_ = std::make_unique<inflate_state>();
    // A broken stream may refer back past its own start, and igzip then copies from its history
    // buffer whatever the stream before left there: another member's, another document's bytes.
    // Cleared, a broken stream gives the same bytes whatever was inflated before it.
    std::memset(state_->tmp_out_buffer, 0, sizeof state_->tmp_out_buffer);
    isal_inflate_init(state_.get());
    state_->crc_flag = wrapper == Wrapper::Gzip ? ISAL_GZIP : wrapper == Wrapper::Zlib ? ISAL_ZLIB : ISAL_DEFLATE;
    live_ = true;
}

Inflater::Step Inflater::run(const char* in, std::size_t inLength, char* out, std::size_t outLength) {
    inflate_state& z = *state_;
    z.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in));
    z.avail_in = static_cast<std::uint32_t>(std::min<std::size_t>(inLength, 1u << 30));
    z.next_out = reinterpret_cast<std::uint8_t*>(out);
    z.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(outLength, 1u << 30));
    const int status = isal_inflate(&z);
    Step step;
    step.consumed = static_cast<std::size_t>(reinterpret_cast<const char*>(z.next_in) - in);
    step.produced = static_cast<std::size_t>(reinterpret_cast<char*>(z.next_out) - out);
    // A wrong checksum is found at the end, with the stream's last bytes already out.
    if (status == ISAL_INCORRECT_CHECKSUM) step.state = State::WrongCheck;
    else if (status < 0 || status == ISAL_NEED_DICT) step.state = State::Broken;
    else if (z.block_state == ISAL_BLOCK_FINISH) step.state = State::Finished;
    if (step.state != State::More) live_ = false;
    return step;
}

void InflateStage::clear() {
    if (!bytes_) bytes_.reset(new char[kGuard + kSize]());
    std::memset(bytes_.get() + kGuard, 0, high_);
    high_ = last_ = 0;
}

Inflater::Step InflateStage::run(Inflater& inflater, const char* in, std::size_t length) {
    const Inflater::Step step = inflater.run(in, length, bytes_.get() + kGuard, kSize);
    last_ = step.produced;
    high_ = std::max(high_, last_);
    return step;
}

std::size_t takeFront(std::string_view& pending, char* to, std::size_t room) {
    const std::size_t n = std::min(room, pending.size());
    if (n == 0) return 0;  // pending may view nothing at all
    std::memcpy(to, pending.data(), n);
    pending.remove_prefix(n);
    return n;
}

const char* findGzipHeader(const char* from, const char* end) {
    for (const char* p = from; end - p >= 3; ++p) {
        p = static_cast<const char*>(std::memchr(p, kGzipHeaderStart[0], static_cast<std::size_t>(end - 2 - p)));
        if (!p) return nullptr;
        if (std::string_view(p, 3) == kGzipHeaderStart) return p;
    }
    return nullptr;
}

}  // namespace tagsift::warc
