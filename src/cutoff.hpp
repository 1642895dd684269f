// Score cutoffs and the forms built around a measure's raw value.
// A cutoff never changes the computation unless a measure says so; it maps the final value.
#pragma once

#include <cstdint>
#include <optional>

namespace qx {

using IntCutoff = std::optional<uint64_t>;
using FloatCutoff = std::optional<double>;

// An integer distance above the cutoff becomes cutoff + 1.
inline uint64_t cut_distance(uint64_t d, IntCutoff c) {
    return c && d > *c ? *c + 1 : d;
}

// An integer similarity below the cutoff becomes 0.
inline uint64_t cut_similarity(uint64_t s, IntCutoff c) {
    return c && s < *c ? 0 : s;
}

// A float distance above the cutoff becomes 1.0 (a NaN cutoff leaves it unchanged).
inline double cut_distance(double d, FloatCutoff c) {
    return c && d > *c ? 1.0 : d;
}

// A float similarity below the cutoff becomes 0.0 (a NaN cutoff leaves it unchanged).
inline double cut_similarity(double s, FloatCutoff c) {
    return c && s < *c ? 0.0 : s;
}

// Normalized similarity from a normalized distance computed without a cutoff.
inline double similarity_from_distance(double normalized_distance, FloatCutoff c) {
    return cut_similarity(1.0 - normalized_distance, c);
}

// Float distance from a similarity computed without a cutoff.
inline double distance_from_similarity(double similarity, FloatCutoff c) {
    return cut_distance(1.0 - similarity, c);
}

}  // namespace qx
