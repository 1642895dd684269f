#include "w_ratio.hpp"

#include <algorithm>

#include "partial_token_ratios.hpp"
#include "token_ratios.hpp"
#include "token_scores.hpp"

namespace qx {

namespace {

constexpr double kLengthRatioThreshold = 1.5;
constexpr double kPartialThreshold = 8.0;
constexpr double kTokenScale = 0.95;
constexpr double kPartialScale = 0.9;
constexpr double kLongPartialScale = 0.6;

// Whether a scorer scaled by `weight` can still change the result. No kernel returns more than
// 100, so nothing above 100 * weight is reachable: when the best so far already has that, or
// the cutoff lies above it (the final result is then either the best so far or 0.0), the
// scorer is skipped.
bool can_improve(double best, double c, double weight) {
    double top = 100.0 * weight;
    return !(best >= top || c > top);
}

// The weighted ratio from the two texts (for the character-level scorers) and the two token
// scorers as calls of a cutoff: token_ratio(cutoff) and partial_token_ratio(cutoff).
template <class TokenRatio, class PartialTokenRatio>
double w_ratio_core(Text u1, Text u2, FloatCutoff cutoff,
                    TokenRatio&& token_ratio_of, PartialTokenRatio&& partial_token_ratio_of) {
    const size_t len1 = u1.length, len2 = u2.length;
    if (len1 == 0 || len2 == 0) return 0.0;
    double c = cutoff ? *cutoff : 0.0;
    double length_ratio =
        static_cast<double>(std::max(len1, len2)) / static_cast<double>(std::min(len1, len2));

    double best = ratio(u1, u2, FloatCutoff(c));
    if (length_ratio < kLengthRatioThreshold) {
        if (can_improve(best, c, kTokenScale)) {
            double t = token_ratio_of(FloatCutoff(max_of(best, c) / kTokenScale));
            best = max_of(best, t * kTokenScale);
        }
    } else {
        double weight = length_ratio > kPartialThreshold ? kLongPartialScale : kPartialScale;
        if (can_improve(best, c, weight)) {
            double p = partial_ratio(u1, u2, FloatCutoff(max_of(best, c) / weight));
            best = max_of(best, weight * p);
        }
        weight = weight * kTokenScale;
        if (can_improve(best, c, weight)) {
            double q = partial_token_ratio_of(FloatCutoff(max_of(best, c) / weight));
            best = max_of(best, weight * q);
        }
    }
    return best < c ? 0.0 : best;
}

}  // namespace

double w_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    if (s1.empty() || s2.empty()) return 0.0;
    return w_ratio_core(
        s1, s2, cutoff,
        [&](FloatCutoff c) { return token_ratio(s1, s2, c); },
        [&](FloatCutoff c) { return partial_token_ratio(s1, s2, c); });
}

WRatioQuery::WRatioQuery(Text query) : query_(query), words_(query) {}

double WRatioQuery::score(Text choice, FloatCutoff cutoff) const {
    if (query_.empty() || choice.empty()) return 0.0;
    return w_ratio_core(
        query_, choice, cutoff,
        [&](FloatCutoff c) { return token_ratio_sorted(words_, choice, c); },
        [&](FloatCutoff c) { return partial_token_ratio_sorted(words_, choice, c); });
}

}  // namespace qx
