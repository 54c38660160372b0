// The slow way the pattern language reads: search every candidate, walk on
// from it, back up on failure. Exponential in the number of '.*' items, so it
// has a step budget; the real matcher must agree with it wherever it finishes.
// Shared by the pattern test and the pattern fuzz target.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string_view>

#include "regex/items.h"

namespace tagsift::testing {

class PatternReference {
public:
    PatternReference(std::string_view s, const Pattern& p) : s_(s), p_(compiledOf(p)) {}

    // 1 matched, 0 not matched, -1 out of budget.
    int match() {
        if (!p_) return 1;
        std::size_t pos = 0, k = 0;
        while (item(k).kind == ItemKind::Any && item(0).kind == ItemKind::Any && pos < s_.size()) ++pos, ++k;
        const ItemKind kind = item(k).kind;
        const bool m = kind == ItemKind::End ? !p_->anchoredEnd || pos == s_.size()
                       : p_->anchoredStart || kind == ItemKind::Any || kind == ItemKind::Star || kind == ItemKind::Skip
                           ? walk(pos, k)
                           : find(pos, k);
        return budget_ < 0 ? -1 : m;
    }

private:
    const PatternItem& item(std::size_t k) const { return p_->items[k]; }

    bool takes(std::size_t k, std::size_t pos) const {
        const PatternItem& it = item(k);
        const auto c = static_cast<unsigned char>(pos < s_.size() ? s_[pos] : 0);
        return pos < s_.size() && (it.kind == ItemKind::Any || (it.kind == ItemKind::Literal && c == it.ch) ||
                                   (it.kind == ItemKind::Set && inSet(it.set, c)) ||
                                   (it.kind == ItemKind::NotSet && !inSet(it.set, c)));
    }

    bool walk(std::size_t pos, std::size_t k) {
        for (;;) {
            if (--budget_ < 0) return false;
            if (takes(k, pos)) {
                ++pos, ++k;
                continue;
            }
            const PatternItem& it = item(k);
            if (it.kind == ItemKind::Star) {
                if (item(k - 1).kind == ItemKind::Any) {  // give the character back, then pass n
                    const long long to = static_cast<long long>(pos) - 1 + it.count;
                    if (to > static_cast<long long>(s_.size())) return false;
                    return find(static_cast<std::size_t>(to), k + 1);
                }
                for (long long n = 1; n < it.count; ++n, ++pos)
                    if (!takes(k - 1, pos)) return false;
                ++k;
                continue;
            }
            if (pos == s_.size()) return it.kind == ItemKind::End;
            if (it.kind == ItemKind::End) return !p_->anchoredEnd;
            if (it.kind != ItemKind::Skip) return false;
            for (long long n = 0; n < it.count; ++n) {
                const std::size_t at = s_.find(static_cast<char>(it.ch), pos);
                if (at == std::string_view::npos) return false;
                pos = at + 1;
            }
            if (item(++k).kind != ItemKind::Skip) return find(pos, k);
        }
    }

    bool find(std::size_t pos, std::size_t k) {
        switch (item(k).kind) {
            case ItemKind::End: return true;
            case ItemKind::Skip: return walk(pos, k);  // it searches forward by itself
            case ItemKind::Star: std::abort();          // compiling must have refused it
            default:
                for (std::size_t c = pos; c < s_.size() && budget_ >= 0; ++c)
                    if (takes(k, c) && walk(c + 1, k + 1)) return true;
                return false;
        }
    }

    std::string_view s_;
    const Pattern::Compiled* p_;
    long budget_ = 200000;
};

}  // namespace tagsift::testing
