// The four forms (distance, similarity, normalized distance and similarity, each with its
// cutoff) of a measure whose distance and similarity add up to a maximum: the longer length for
// the edit distances, the LCS and the common affixes, both lengths for Indel. Each measure writes
// only its core, and its few irregular early returns as hooks of its pair.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// "No bound" for a bounded distance.
inline constexpr uint64_t kNoLimit = ~uint64_t{0};

// Largest distance in [0, m] whose mapped value `keeps` accepts, assuming `keeps` holds for
// small distances and fails for large ones; kNoLimit when it holds up to m, and `none` set when
// it fails already at 0.
template <class Keeps>
uint64_t largest_kept(uint64_t m, Keeps keeps, bool& none) {
    none = false;
    if (keeps(m)) return kNoLimit;
    if (!keeps(0)) {
        none = true;
        return 0;
    }
    uint64_t lo = 0, hi = m;  // keeps(lo), !keeps(hi)
    while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        (keeps(mid) ? lo : hi) = mid;
    }
    return lo;
}

// A pair of texts as the forms see it:
//   uint64_t maximum()              the maximum M; similarity = M - distance
//   uint64_t distance(uint64_t max) the distance, exact up to max; past max any value above it
//                                   (a kernel may stop early; others ignore max)
//   static constexpr bool kBounded  distance() gains from a tight max: the normalized forms
//                                   then search the largest distance their cutoff keeps
// and the hooks, for measures whose identical texts return before the cutoff is applied:
//   bool settled_when_identical()   identical texts: normalized distance 0.0 (similarity 1.0)
//                                   whatever the cutoff
//   std::optional<uint64_t> settled_similarity()
//                                   an integer similarity known before the cutoff, if any
template <class Pair>
struct EditForms {
    static uint64_t distance(Pair p, IntCutoff cutoff) {
        return cut_distance(p.distance(cutoff ? *cutoff : kNoLimit), cutoff);
    }

    static uint64_t similarity(Pair p, IntCutoff cutoff) {
        if (const std::optional<uint64_t> settled = p.settled_similarity()) return *settled;
        const uint64_t m = p.maximum();
        if (!cutoff) return m - p.distance(kNoLimit);
        if (*cutoff > m) return 0;  // m - d < cutoff for every d
        const uint64_t max = m - *cutoff;
        const uint64_t d = p.distance(max);
        return d > max ? 0 : m - d;
    }

    static double normalized_distance(Pair p, FloatCutoff cutoff) {
        const uint64_t m = p.maximum();
        if (m == 0 || p.settled_when_identical()) return 0.0;
        const double dm = static_cast<double>(m);
        uint64_t max = kNoLimit;
        if (Pair::kBounded && cutoff) {
            const double c = *cutoff;
            bool none;
            max = largest_kept(m, [&](uint64_t d) { return !(static_cast<double>(d) / dm > c); },
                               none);
            if (none) return 1.0;
        }
        const uint64_t d = p.distance(max);
        if (d > max) return 1.0;
        return cut_distance(static_cast<double>(d) / dm, cutoff);
    }

    static double normalized_similarity(Pair p, FloatCutoff cutoff) {
        const uint64_t m = p.maximum();
        if (m == 0 || p.settled_when_identical()) return similarity_from_distance(0.0, cutoff);
        const double dm = static_cast<double>(m);
        uint64_t max = kNoLimit;
        if (Pair::kBounded && cutoff) {
            const double c = *cutoff;
            bool none;
            max = largest_kept(
                m, [&](uint64_t d) { return !(1.0 - static_cast<double>(d) / dm < c); }, none);
            if (none) return 0.0;
        }
        const uint64_t d = p.distance(max);
        if (d > max) return 0.0;
        return similarity_from_distance(static_cast<double>(d) / dm, cutoff);
    }
};

// A pair under an edit distance whose value lies between the difference of the lengths and the
// longer length, `Core` computing it without a bound: the length difference alone settles a
// distance past the bound.
template <uint64_t (*Core)(Text, Text)>
struct EditPair {
    static constexpr bool kBounded = false;
    Text s1, s2;

    uint64_t maximum() const { return std::max(s1.length, s2.length); }
    uint64_t distance(uint64_t max) const {
        const size_t len1 = s1.length, len2 = s2.length;
        const size_t diff = len1 > len2 ? len1 - len2 : len2 - len1;
        if (diff > max) return max + 1;
        return Core(s1, s2);
    }
    bool settled_when_identical() const { return false; }
    std::optional<uint64_t> settled_similarity() const { return std::nullopt; }
};

// The four forms of such an edit distance, as functions of two texts.
template <uint64_t (*Core)(Text, Text)>
struct EditDistanceForms {
    using Forms = EditForms<EditPair<Core>>;
    static uint64_t distance(Text s1, Text s2, IntCutoff c) { return Forms::distance({s1, s2}, c); }
    static uint64_t similarity(Text s1, Text s2, IntCutoff c) {
        return Forms::similarity({s1, s2}, c);
    }
    static double normalized_distance(Text s1, Text s2, FloatCutoff c) {
        return Forms::normalized_distance({s1, s2}, c);
    }
    static double normalized_similarity(Text s1, Text s2, FloatCutoff c) {
        return Forms::normalized_similarity({s1, s2}, c);
    }
};

}  // namespace qx
