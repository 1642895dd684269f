// Both recurrences are evaluated by anti-diagonals: the cells of one anti-diagonal depend only
// on the two before it, so a diagonal is a loop without a carried dependency that the compiler
// vectorizes, and three diagonals are all the matrix memory needed. Every cell is computed by
// the same expression as in a row-by-row sweep, so the values are identical.
#include "alignment.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "../interrupt.hpp"
#include "../small_vector.hpp"

namespace qx {

namespace {

using Cells = SmallVector<double, 128>;

// The diagonal loop is compiled twice on x86-64 Linux, for AVX2 and for the baseline, and the
// loader picks the one the processor supports; both give the same values. (Clang does not
// multiversion function templates: it builds the baseline only.)
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__)
#define QX_DIAGONAL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QX_DIAGONAL_CLONES
#endif

// maxNum: a NaN operand gives way to the other one; of two equal operands (zeros of either
// sign) the second is kept.
inline double max_num(double x, double y) {
    return (x > y || y != y) ? x : y;
}
// The same maximum for operands known not to be NaN.
inline double max_plain(double x, double y) {
    return x > y ? x : y;
}

// The scalar values of a text as doubles (exact), in order or reversed.
void symbols_of(Utf8 t, Cells& out, bool reversed) {
    const auto* p = reinterpret_cast<const unsigned char*>(t.data());
    const auto* end = p + t.size();
    out.clear();
    if (is_ascii(t)) {
        out.resize(t.size());
        for (size_t i = 0; i < t.size(); ++i) out[i] = static_cast<double>(p[i]);
    } else {
        while (p < end) out.push_back(static_cast<double>(decode_one(p)));
    }
    if (reversed) std::reverse(out.begin(), out.end());
}

struct Params {
    double match;
    double mismatch;
    double gap;
};

// No NaN can arise when the parameters are finite and no cell can come near overflow: a cell
// of either matrix is a sum of at most len1 + len2 parameters.
bool nan_free(const Params& p, size_t len1, size_t len2) {
    if (!std::isfinite(p.match) || !std::isfinite(p.mismatch) || !std::isfinite(p.gap))
        return false;
    double largest = std::max({std::fabs(p.match), std::fabs(p.mismatch), std::fabs(p.gap)});
    return static_cast<double>(len1 + len2 + 2) * largest < 1e300;
}

// Global: D[i][0] = gap * (-i), D[0][j] = -(j * gap). Local: zero borders.
template <bool Local>
inline double top_border(size_t j, double gap) {
    return Local ? 0.0 : -(static_cast<double>(j) * gap);
}
template <bool Local>
inline double left_border(size_t i, double gap) {
    return Local ? 0.0 : gap * -static_cast<double>(i);
}

// One anti-diagonal d = i + j over the rows lo..hi: cell (i, d - i) from the diagonal two
// back (its upper-left neighbour) and one back (its upper and left neighbours). Diagonals
// are indexed by the row i; `b_rev` holds s2 reversed so that s2[d - i - 1] is contiguous.
template <bool Local, bool NanAware>
QX_DIAGONAL_CLONES void diagonal(const double* __restrict a, const double* __restrict b_rev,
                                 const double* __restrict d2, const double* __restrict d1,
                                 double* __restrict d0, double* __restrict best, size_t lo,
                                 size_t hi, size_t len2, size_t d, const Params& p) {
    const double match = p.match, mismatch = p.mismatch, gap = p.gap;
    const double* b = b_rev + (len2 + lo - d);  // b[k] = s2[d - (lo + k) - 1]
    const double* ai = a + (lo - 1);            // ai[k] = s1[lo + k - 1]
    size_t count = hi - lo + 1;
    for (size_t k = 0; k < count; ++k) {
        size_t i = lo + k;
        double s = ai[k] == b[k] ? match : mismatch;
        double v;
        if constexpr (NanAware) {
            v = max_num(max_num(d2[i - 1] + s, d1[i - 1] - gap), d1[i] - gap);
            if constexpr (Local) v = max_num(v, 0.0);
        } else {
            v = max_plain(max_plain(d2[i - 1] + s, d1[i - 1] - gap), d1[i] - gap);
            if constexpr (Local) v = max_plain(v, 0.0);
        }
        d0[i] = v;
        if constexpr (Local) best[i] = max_plain(best[i], v);
    }
}

// Local: the largest cell; global: the last cell. Both texts non-empty.
template <bool Local, bool NanAware>
double sweep(const Cells& a, const Cells& b_rev, const Params& p) {
    const size_t len1 = a.size(), len2 = b_rev.size();
    Cells buf0, buf1, buf2, best;
    buf0.resize(len1 + 1);
    buf1.resize(len1 + 1);
    buf2.resize(len1 + 1);
    if constexpr (Local) best.resize(len1 + 1);
    double* d2 = buf2.data();  // diagonal d - 2
    double* d1 = buf1.data();  // diagonal d - 1
    double* d0 = buf0.data();  // diagonal d
    PollBudget budget;
    for (size_t d = 0; d <= len1 + len2; ++d) {
        budget.spend(len1);
        if (d <= len2) d0[0] = top_border<Local>(d, p.gap);
        if (d >= 1 && d <= len1) d0[d] = left_border<Local>(d, p.gap);
        size_t lo = d > len2 ? d - len2 : 1;
        size_t hi = std::min(len1, d - (d > 0));
        if (d >= 2 && lo <= hi)
            diagonal<Local, NanAware>(a.data(), b_rev.data(), d2, d1, d0, best.data(), lo, hi, len2,
                                      d, p);
        double* spare = d2;
        d2 = d1;
        d1 = d0;
        d0 = spare;
    }
    if constexpr (Local) {
        double top = 0.0;
        for (double v : best) top = max_plain(top, v);
        return top;
    } else {
        return d1[len1];  // the last diagonal holds only the cell (len1, len2)
    }
}

template <bool Local>
double align(Utf8 s1, Utf8 s2, const Params& p) {
    Cells a, b_rev;
    symbols_of(s1, a, false);
    symbols_of(s2, b_rev, true);
    return nan_free(p, a.size(), b_rev.size()) ? sweep<Local, false>(a, b_rev, p)
                                               : sweep<Local, true>(a, b_rev, p);
}

double local_score(Utf8 s1, Utf8 s2, const Params& p) {
    if (s1.empty() || s2.empty()) return 0.0;
    return align<true>(s1, s2, p);
}

double global_score(Utf8 s1, Utf8 s2, const Params& p) {
    if (s1.empty()) return -(static_cast<double>(count_symbols(s2)) * p.gap);
    if (s2.empty()) return -(static_cast<double>(count_symbols(s1)) * p.gap);
    return align<false>(s1, s2, p);
}

inline double clamp_unit(double v) {
    if (v < 0.0) return 0.0;
    if (v > 1.0) return 1.0;
    return v;
}

}  // namespace

double smith_waterman_score(Utf8 s1, Utf8 s2, double match, double mismatch, double gap,
                            FloatCutoff c) {
    return cut_similarity(local_score(s1, s2, {match, mismatch, gap}), c);
}

double smith_waterman_normalized_similarity(Utf8 s1, Utf8 s2, double match, double mismatch,
                                            double gap, FloatCutoff c) {
    if (s1.empty()) return s2.empty() ? 1.0 : 0.0;  // before the cutoff is looked at
    if (s2.empty()) return 0.0;
    double score = local_score(s1, s2, {match, mismatch, gap});
    size_t shorter = std::min(count_symbols(s1), count_symbols(s2));
    double denominator = match * static_cast<double>(shorter);
    double value = denominator > 0.0 ? score / denominator : 0.0;
    return cut_similarity(clamp_unit(value), c);
}

double needleman_wunsch_score(Utf8 s1, Utf8 s2, double match, double mismatch, double gap,
                              FloatCutoff c) {
    double score = global_score(s1, s2, {match, mismatch, gap});
    if (c && score < *c) return std::numeric_limits<double>::lowest();
    return score;
}

double needleman_wunsch_normalized_similarity(Utf8 s1, Utf8 s2, double match, double mismatch,
                                              double gap, FloatCutoff c) {
    size_t longer = std::max(count_symbols(s1), count_symbols(s2));
    if (longer == 0) return 1.0;  // before the cutoff is looked at
    double score = global_score(s1, s2, {match, mismatch, gap});
    double maximum = match * static_cast<double>(longer);
    double value =
        maximum == 0.0 ? 1.0 : (gap * static_cast<double>(longer) + score) / (maximum + maximum);
    return cut_similarity(clamp_unit(value), c);
}

}  // namespace qx
