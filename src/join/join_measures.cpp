#include "join_measures.hpp"

#include <algorithm>
#include <cmath>

namespace qx::join {

namespace {

bool ends_with(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}
bool starts_with(std::string_view s, std::string_view head) {
    return s.substr(0, head.size()) == head;
}

Form form_of(std::string_view name) {
    if (ends_with(name, "_normalized_distance")) return Form::NormalizedDistance;
    if (ends_with(name, "_normalized_similarity")) return Form::NormalizedSimilarity;
    if (ends_with(name, "_similarity")) return Form::Similarity;
    return Form::Distance;
}

Family family_of(std::string_view name) {
    if (starts_with(name, "levenshtein_")) return Family::Levenshtein;
    if (starts_with(name, "osa_") || starts_with(name, "damerau_levenshtein_"))
        return Family::Transposition;
    if (starts_with(name, "indel_")) return Family::Indel;
    if (starts_with(name, "lcs_seq_")) return Family::LcsSeq;
    if (name == "ratio") return Family::Ratio;
    if (name == "token_sort_ratio") return Family::TokenSortRatio;
    if (starts_with(name, "jaro_winkler_")) return Family::JaroWinkler;
    if (starts_with(name, "jaro_")) return Family::Jaro;
    if (starts_with(name, "jaccard_")) return Family::Jaccard;
    if (starts_with(name, "sorensen_dice_")) return Family::SorensenDice;
    if (starts_with(name, "overlap_")) return Family::Overlap;
    if (starts_with(name, "cosine_")) return Family::Cosine;
    return Family::Other;
}

// Largest k in [0, hi] with keeps(k), for keeps true on small k and false on large; -1 when
// keeps(0) fails.
template <class Keeps>
int64_t largest_kept(uint64_t hi, Keeps keeps) {
    if (!keeps(0)) return -1;
    if (keeps(hi)) return static_cast<int64_t>(hi);
    uint64_t lo = 0;  // keeps(lo), !keeps(hi)
    while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        (keeps(mid) ? lo : hi) = mid;
    }
    return static_cast<int64_t>(lo);
}

// Smallest k in [0, hi] with keeps(k), for keeps false on small k and true on large; hi + 1
// when keeps(hi) fails.
template <class Keeps>
uint64_t smallest_kept(uint64_t hi, Keeps keeps) {
    if (!keeps(hi)) return hi + 1;
    if (keeps(0)) return 0;
    uint64_t lo = 0;  // !keeps(lo), keeps(hi)
    while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        (keeps(mid) ? hi : lo) = mid;
    }
    return hi;
}

double ratio_of(uint64_t lcs, uint64_t total) {
    if (total == 0) return 100.0;
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(total);
}

}  // namespace

Measure classify(const Row& row, const Options& options, double cutoff) {
    Measure m;
    m.family = family_of(row.name);
    m.form = form_of(row.name);
    m.lower_is_better = ends_with(row.name, "_distance");
    m.cutoff = cutoff;
    if (m.family == Family::JaroWinkler) m.prefix_weight = options.parameters[0];
    if (m.family == Family::Cosine && !options.use_words) {
        m.tokens = TokenMode::Ngrams;
        m.ngram_size = options.ngram_size;
    }
    return m;
}

FilterKind Measure::filter() const {
    switch (family) {
        case Family::Levenshtein:
        case Family::Transposition:
        case Family::Indel:
        case Family::LcsSeq:
        case Family::Ratio:
        case Family::TokenSortRatio:
            return FilterKind::EditPartition;
        case Family::Jaro:
        case Family::JaroWinkler:
            return FilterKind::LengthOnly;
        case Family::Jaccard:
        case Family::SorensenDice:
        case Family::Overlap:
        case Family::Cosine:
            return FilterKind::TokenPrefix;
        case Family::Other:
            break;
    }
    return FilterKind::None;
}

bool Measure::may_meet(double value) const {
    // The kernels round their formulas; a bound computed here in another order may differ from
    // the kernel's value by a few units in the last place. Leaning towards "may meet" keeps
    // every filter a superset of the exact answer.
    const double slack = 1e-9 * std::max(1.0, std::fabs(cutoff));
    return lower_is_better ? value <= cutoff + slack : value >= cutoff - slack;
}

EditLimits Measure::edit_limits(size_t len1, size_t len2) const {
    const uint64_t longer = std::max(len1, len2), shorter = std::min(len1, len2);
    const uint64_t diff = longer - shorter;
    const double dl = static_cast<double>(longer);
    if (family == Family::Levenshtein || family == Family::Transposition) {
        // The value is read off the distance d in [0, longer], worse for larger d.
        auto keeps = [&](uint64_t d) {
            const double dd = static_cast<double>(d);
            switch (form) {
                case Form::Distance:
                    return may_meet(dd);
                case Form::Similarity:
                    return may_meet(static_cast<double>(longer - d));
                case Form::NormalizedDistance:
                    return may_meet(longer == 0 ? 0.0 : dd / dl);
                case Form::NormalizedSimilarity:
                    return may_meet(longer == 0 ? 1.0 : 1.0 - dd / dl);
            }
            return true;
        };
        const int64_t d = largest_kept(longer, keeps);
        // Every operation changes the length by at most one.
        if (d < 0 || static_cast<uint64_t>(d) < diff) return {};
        // An insertion, deletion or substitution lowers P or N (or both) by at most one each;
        // a transposition changes no count. So max(P, N) <= d.
        // A transposition is two substitutions: Levenshtein <= 2 * OSA <= 2 * DL.
        if (family == Family::Transposition) return {std::min<int64_t>(2 * d, longer), d, false};
        return {d, d, false};
    }
    // LCS-based: the value is read off the LCS length l in [0, shorter], better for larger l;
    // the indel distance is len1 + len2 - 2 l, and Levenshtein <= indel.
    const uint64_t total = len1 + len2;
    auto keeps = [&](uint64_t l) {
        const double dt = static_cast<double>(total);
        switch (family) {
            case Family::Indel:
                switch (form) {
                    case Form::Distance:
                        return may_meet(static_cast<double>(total - 2 * l));
                    case Form::Similarity:
                        return may_meet(static_cast<double>(2 * l));
                    case Form::NormalizedDistance:
                        return may_meet(total == 0 ? 0.0 : static_cast<double>(total - 2 * l) / dt);
                    case Form::NormalizedSimilarity:
                        return may_meet(total == 0 ? 1.0
                                                   : 1.0 - static_cast<double>(total - 2 * l) / dt);
                }
                return true;
            case Family::LcsSeq:
                switch (form) {
                    case Form::Distance:
                        return may_meet(static_cast<double>(longer - l));
                    case Form::Similarity:
                        return may_meet(static_cast<double>(l));
                    case Form::NormalizedDistance:
                        return may_meet(longer == 0 ? 0.0 : static_cast<double>(longer - l) / dl);
                    case Form::NormalizedSimilarity:
                        return may_meet(longer == 0 ? 1.0
                                                    : 1.0 - static_cast<double>(longer - l) / dl);
                }
                return true;
            default:  // Ratio, TokenSortRatio
                return may_meet(ratio_of(l, total));
        }
    };
    const uint64_t l = smallest_kept(shorter, keeps);
    if (l > shorter) return {};
    // Each insertion or deletion changes P + N by one: P + N <= indel distance.
    const auto indel = static_cast<int64_t>(total - 2 * l);
    return {indel, indel, true};
}

bool Measure::lengths_may_meet(size_t len1, size_t len2, size_t matches) const {
    const double shorter = static_cast<double>(std::min(len1, len2));
    const double longer = static_cast<double>(std::max(len1, len2));
    const double m = std::min(static_cast<double>(matches), shorter);
    double best;  // the highest similarity texts of these lengths can have
    if (shorter == 0) {
        best = longer == 0 ? 1.0 : 0.0;
    } else if (m == 0) {
        best = 0.0;  // nothing matches
    } else {
        // At most m symbols match (Jaro matches are pairs of equal symbols), none transposed:
        // (m / len1 + m / len2 + 1) / 3.
        best = (m / shorter + m / longer + 1.0) / 3.0;
        if (family == Family::JaroWinkler && prefix_weight > 0) {
            // j + (1 - j) p s with at most four shared leading symbols grows with j while
            // p s <= 1; beyond that no length bound is known.
            const double s = std::min(4.0, shorter);
            if (prefix_weight * s > 1.0) return true;
            best = best + (1.0 - best) * (prefix_weight * s);
        }
    }
    return may_meet(lower_is_better ? 1.0 - best : best);
}

uint64_t Measure::min_overlap(uint64_t n1, uint64_t n2) const {
    const uint64_t smaller = std::min(n1, n2);
    const double d1 = static_cast<double>(n1), d2 = static_cast<double>(n2);
    auto keeps = [&](uint64_t o) {
        const double i = static_cast<double>(o);
        double s;
        switch (family) {
            case Family::Jaccard:
                s = i / (d1 + d2 - i);
                break;
            case Family::SorensenDice:
                s = (i + i) / (d1 + d2);
                break;
            case Family::Overlap:
                s = i / static_cast<double>(smaller);
                break;
            default:  // Cosine
                s = i / std::sqrt(d1 * d2);
                break;
        }
        return may_meet(lower_is_better ? 1.0 - s : s);
    };
    return smallest_kept(smaller, keeps);
}

}  // namespace qx::join
