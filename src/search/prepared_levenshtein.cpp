#include "prepared_levenshtein.hpp"

#include <algorithm>

#include "../distance/edit_forms.hpp"

namespace qx::search {

namespace {

// Below any bound the cutoff search gives: not even a distance of 0 is kept.
constexpr uint64_t kNone = kNoLimit - 1;

}  // namespace

template <class Keeps>
uint64_t PreparedLevenshtein::bound(uint64_t longest, double cutoff, Keeps keeps) const {
    const bool cacheable = longest < kCachedLengths;
    if (cacheable) {
        if (!cache_valid_ || !(cached_cutoff_ == cutoff)) {
            known_.fill(0);
            cached_cutoff_ = cutoff;
            cache_valid_ = cutoff == cutoff;
        } else if (known_[longest]) {
            return bounds_[longest];
        }
    }
    // The scalar forms' own search, so that the bound and every value derived from it are theirs.
    bool none;
    uint64_t max = largest_kept(longest, keeps, none);
    if (none) max = kNone;
    if (cacheable && cache_valid_) {
        bounds_[longest] = max;
        known_[longest] = 1;
    }
    return max;
}

std::optional<PreparedLevenshtein> PreparedLevenshtein::make(Text query, EditForm form) {
    if (query.length == 0 || query.length > kMaxQuery) return std::nullopt;
    return PreparedLevenshtein(query, form);
}

PreparedLevenshtein::PreparedLevenshtein(Text query, EditForm form)
    : length_(query.length), form_(form) {
    keys_.fill(kFree);
    for (size_t i = 0; i < query.length; ++i) {
        const uint32_t v = query.at(i);
        const uint64_t bit = uint64_t{1} << i;
        if (v < 256) {
            low_[v] |= bit;
            continue;
        }
        size_t slot = (v * 0x9E3779B1u) >> 25;
        while (keys_[slot] != kFree && keys_[slot] != v) slot = (slot + 1) & 127;
        keys_[slot] = v;
        wide_[slot] |= bit;
    }
}

uint64_t PreparedLevenshtein::distance(Text choice, uint64_t max) const {
    const size_t m = length_, n = choice.length;
    const size_t diff = m > n ? m - n : n - m;
    if (diff > max) return max + 1;
    max = std::min<uint64_t>(max, std::max(m, n));  // no distance is larger; no overflow below
    uint64_t vp = ~uint64_t{0}, vn = 0, d = m;
    const uint64_t last = uint64_t{1} << (m - 1);
    return visit(choice, [&](auto units) -> uint64_t {
        size_t remaining = n;
        for (auto symbol : units) {
            const uint64_t x = mask(symbol);
            const uint64_t d0 = (((x & vp) + vp) ^ vp) | x | vn;
            uint64_t hp = vn | ~(d0 | vp);
            const uint64_t hn = d0 & vp;
            d += (hp & last) != 0;
            d -= (hn & last) != 0;
            hp = (hp << 1) | 1;
            vp = (hn << 1) | ~(d0 | hp);
            vn = hp & d0;
            // Each remaining symbol lowers the distance by at most one.
            if (--remaining, d > max + remaining) [[unlikely]]
                return max + 1;
        }
        return d;
    });
}

double PreparedLevenshtein::score(Text choice, const Cutoff& cutoff) const {
    const uint64_t longest = std::max(length_, choice.length);
    const double dm = static_cast<double>(longest);
    switch (form_) {
        case EditForm::distance: {
            const uint64_t max = cutoff.set ? cutoff.n : kNoLimit;
            return static_cast<double>(cut_distance(distance(choice, max), cutoff.as_int()));
        }
        case EditForm::similarity: {
            if (!cutoff.set) return static_cast<double>(longest - distance(choice, kNoLimit));
            if (cutoff.n > longest) return 0.0;
            const uint64_t max = longest - cutoff.n;
            const uint64_t d = distance(choice, max);
            return d > max ? 0.0 : static_cast<double>(longest - d);
        }
        case EditForm::normalized_distance: {
            uint64_t max = kNoLimit;
            if (cutoff.set) {
                const double c = cutoff.f;
                max = bound(longest, c,
                            [&](uint64_t d) { return !(static_cast<double>(d) / dm > c); });
                if (max == kNone) return 1.0;
            }
            const uint64_t d = distance(choice, max);
            if (d > max) return 1.0;
            return cut_distance(static_cast<double>(d) / dm, cutoff.as_float());
        }
        default: {
            uint64_t max = kNoLimit;
            if (cutoff.set) {
                const double c = cutoff.f;
                max = bound(longest, c,
                            [&](uint64_t d) { return !(1.0 - static_cast<double>(d) / dm < c); });
                if (max == kNone) return 0.0;
            }
            const uint64_t d = distance(choice, max);
            if (d > max) return 0.0;
            return similarity_from_distance(static_cast<double>(d) / dm, cutoff.as_float());
        }
    }
}

}  // namespace qx::search
