#include "ratio.hpp"

#include <algorithm>

namespace qx {

namespace {

// (2 * lcs) * 100 / total, the product taken before the division.
inline double ratio_score(uint64_t lcs, uint64_t total) {
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(total);
}

// `lcs()` gives the LCS of the two texts.
template <class Lcs>
double ratio_of(Text s1, Text s2, FloatCutoff cutoff, Lcs lcs) {
    // Identical texts score 100 before the cutoff is looked at.
    if (same_text(s1, s2)) return 100.0;
    if (s1.empty() || s2.empty()) return 0.0;
    const uint64_t len1 = s1.length, len2 = s2.length;
    const uint64_t total = len1 + len2;
    // The best score the lengths allow; below the cutoff the LCS is not needed.
    if (cutoff && ratio_score(std::min(len1, len2), total) < *cutoff) return 0.0;
    return cut_similarity(ratio_score(lcs(), total), cutoff);
}

}  // namespace

double ratio(Text s1, Text s2, FloatCutoff cutoff) {
    return ratio_of(s1, s2, cutoff, [s1, s2] { return lcs_length(s1, s2); });
}

double q_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    if (s1.empty() || s2.empty()) return 0.0;
    return ratio(s1, s2, cutoff);
}

double RatioQuery::ratio(Text choice, FloatCutoff cutoff) const {
    return ratio_of(lcs_.text(), choice, cutoff, [this, choice] { return lcs_.lcs(choice); });
}

double RatioQuery::q_ratio(Text choice, FloatCutoff cutoff) const {
    if (lcs_.length() == 0 || choice.empty()) return 0.0;
    return ratio(choice, cutoff);
}

}  // namespace qx
