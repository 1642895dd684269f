#include "ratio.hpp"

#include <algorithm>

#include "../lcs_core.hpp"

namespace qx {

namespace {

// (2 * lcs) * 100 / total, the product taken before the division.
inline double ratio_score(uint64_t lcs, uint64_t total) {
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(total);
}

}  // namespace

double ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    // Identical texts score 100 before the cutoff is looked at.
    if (same_bytes(s1, s2)) return 100.0;
    if (s1.empty() || s2.empty()) return 0.0;

    const bool ascii = is_ascii(s1) && is_ascii(s2);
    const uint64_t len1 = ascii ? s1.size() : count_symbols(s1);
    const uint64_t len2 = ascii ? s2.size() : count_symbols(s2);
    const uint64_t total = len1 + len2;
    // The best score the lengths allow; below the cutoff the LCS is not needed.
    if (cutoff && ratio_score(std::min(len1, len2), total) < *cutoff) return 0.0;

    const uint64_t lcs =
        ascii ? lcs_bytes(bytes_of(s1), bytes_of(s2)) : lcs_unicode(s1, s2, len1, len2);
    return cut_similarity(ratio_score(lcs, total), cutoff);
}

double q_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (s1.empty() || s2.empty()) return 0.0;
    return ratio(s1, s2, cutoff);
}

}  // namespace qx
