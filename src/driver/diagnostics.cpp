#include "driver/diagnostics.h"

#include "base/fatal.h"

namespace tagsift {

void Diagnostics::error(Printer::Slot slot, std::string_view text) {
    failed_ = true;
    printer_.write(slot, Printer::Stream::Err, std::string(kBanner).append(text));
}

std::string Diagnostics::notes() const {
    std::string notes;
    if (undecodable_ > 0) notes.append(kBanner).append(message::undecodable(undecodable_));
    if (cutShort_ > 0) notes.append(kBanner).append(message::cutShort(cutShort_));
    return notes;
}

}  // namespace tagsift
