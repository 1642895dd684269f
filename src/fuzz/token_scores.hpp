// Score formulas shared by the token scorers, and their calls into the character-level kernels
// (the LCS of two texts, ratio, partial ratio) on typed texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../cutoff.hpp"
#include "../lcs_core.hpp"
#include "../text.hpp"
#include "partial_ratio.hpp"
#include "ratio.hpp"

namespace qx {

// Ratio of two strings of character lengths lx and ly with an LCS of `lcs`:
// (2 * lcs) * 100 / (lx + ly), the product by 100 taken before the division.
inline double string_ratio(uint64_t lcs, size_t lx, size_t ly) {
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(lx + ly);
}

// Normalized score of a distance d over a total t: 100 - (d * 100) / t, and 100 when t is 0.
inline double normalized_score(size_t d, size_t t) {
    if (t == 0) return 100.0;
    return 100.0 - static_cast<double>(d) * 100.0 / static_cast<double>(t);
}

// The larger of two doubles; a NaN argument yields the other one.
inline double max_of(double a, double b) {
    if (a != a) return b;
    if (b != b) return a;
    return a < b ? b : a;
}

}  // namespace qx
