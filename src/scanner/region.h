// A body region that copies text only, read whole from a block at once: for a
// caller that reads a tag where the pass-over finds it and would rather print
// a short element (a table cell) there than stop the pass twice for it.
//
// The reading is the pass-over's with a region open: the text up to each '<'
// is copied with its line feeds as blanks, each tag's name is read up to a
// word delimiter and its rest skipped up to the '>' that no quoted value
// holds, and the region ends at the first tag named '/' and the region's name
// (ASCII case ignored). What the pass would hand to the ordinary way ends the
// reading instead, with nothing copied: the block's end, a name at a line
// feed, a comment or any name that starts with '!', and a name the caller
// wants (which might close the region, or print).
#pragma once

#include <cstring>
#include <string_view>

#include "base/text.h"
#include "io/output.h"

namespace tagsift {

// From p, just after the region's opening tag, to its end tag, in [p, end): the '<' of the end
// tag, or null. With out, the text is copied to it; a reading that has once returned the end
// tag copies the same text every time. wanted(name) tells the names the caller reads itself.
template <typename Wanted>
const char* readTextOnlyRegion(const char* p, const char* end, std::string_view regionName, const Wanted& wanted,
                               Output* out) {
    for (;;) {
        const auto* open = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
        if (!open) return nullptr;
        const char* name = open + 1;
        const char* nameEnd = name;
        while (nameEnd != end && !isWordDelimiter(*nameEnd)) ++nameEnd;
        if (nameEnd == end || *nameEnd == '\n') return nullptr;
        const std::string_view tagName(name, static_cast<std::size_t>(nameEnd - name));
        if (!tagName.empty() && tagName[0] == '/' && equalsIgnoringCase(tagName.substr(1), regionName)) {
            if (out) out->writeBlanked({p, static_cast<std::size_t>(open - p)});
            return open;
        }
        if ((!tagName.empty() && tagName[0] == '!') || wanted(tagName)) return nullptr;
        // The tag is dropped: its rest runs to the first '>' outside quotes.
        const char* q = nameEnd;
        for (;;) {
            while (q != end && *q != '>' && *q != '"' && *q != '\'') ++q;
            if (q == end) return nullptr;
            if (*q == '>') break;
            const auto* close = static_cast<const char*>(std::memchr(q + 1, *q, static_cast<std::size_t>(end - q - 1)));
            if (!close) return nullptr;
            q = close + 1;
        }
        if (out) out->writeBlanked({p, static_cast<std::size_t>(open - p)});
        p = q + 1;
    }
}

}  // namespace tagsift
