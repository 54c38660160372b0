// Inside the regex unit: a compiled pattern as a list of items, for the
// matcher and for the tests that check it against a plain reading.
#pragma once

#include <vector>

#include "regex/charset.h"
#include "regex/pattern.h"

namespace tagsift {

enum class ItemKind {
    Literal,
    Any,
    Set,
    NotSet,
    Star,
    End,
    Skip,
};

struct PatternItem {
    ItemKind kind = ItemKind::End;
    unsigned char ch = 0;     // Literal: the character; Skip: the character to pass
    long long count = 0;      // Star: the extra count n; Skip: how many to pass
    CharSet set;              // Set, NotSet
};

struct Pattern::Compiled {
    bool anchoredStart = false;
    bool anchoredEnd = false;
    std::vector<PatternItem> items;  // closed by an End item; empty: matches everything
};

inline const Pattern::Compiled* compiledOf(const Pattern& p) { return p.compiled_.get(); }

}  // namespace tagsift
