// Both recurrences are evaluated by anti-diagonals: the cells of one anti-diagonal depend only
// on the two before it, so a diagonal is a loop without a carried dependency that the compiler
// vectorizes, and three diagonals are all the matrix memory needed. Every cell is computed by
// the same expression as in a row-by-row sweep, so the values are identical.
//
// When match, mismatch and gap are small integers (the usual case) the same recurrence runs in
// 16- or 32-bit integer lanes (src/simd/alignment_lanes.hpp), which give the very same doubles;
// integer_lanes() below says when.
#include "alignment.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>

#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "../simd/alignment_dispatch.hpp"

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

// The code points of a text as doubles (exact), in order or reversed.
void symbols_of(Text t, Cells& out, bool reversed) {
    out.resize(t.length);
    visit(t, [&](auto units) {
        for (size_t i = 0; i < units.size(); ++i) out[i] = static_cast<double>(units[i]);
    });
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
double align_doubles(Text s1, Text s2, const Params& p) {
    Cells a, b_rev;
    symbols_of(s1, a, false);
    symbols_of(s2, b_rev, true);
    return nan_free(p, a.size(), b_rev.size()) ? sweep<Local, false>(a, b_rev, p)
                                               : sweep<Local, true>(a, b_rev, p);
}

// ---- Integer lanes -----------------------------------------------------------------------
//
// With integer parameters every cell of either matrix is an integer: a global cell (i, j) is
// the sum of the steps of some path from (0, 0), at most i + j of them, each weighing match,
// mismatch or -gap; a local cell is 0 or such a sum from some cell to (i, j). So with
// M = max(|match|, |mismatch|, |gap|) every cell lies within +-(len1 + len2) * M, and so does
// every sum the recurrence forms on the way (a neighbour plus one step) and every border
// (-d * gap with d <= len1 + len2); match - mismatch is at most 2 * M <= (len1 + len2) * M as
// both texts are non-empty. When (len1 + len2) * M fits the lane type no lane overflows, and
// as these integers are far below 2^53 the double recurrence computes them exactly too: the
// maxima pick the same values (no NaN can arise), and the integers give the same doubles.
//
// Signs of zeros. The double recurrence produces -0.0 only from a -0.0 operand: a sum x + y is
// -0.0 only when both are, a difference x - y only when x is -0.0 and y is +0.0. Parameters
// of -0.0 therefore stay with the double recurrence, and then a cell's sum with match or
// mismatch is never -0.0. Local cells take max(v, +0.0), which keeps +0.0 on a tie, so every
// zero there is +0.0, as is 0 converted to double. Global borders are -(j * gap) and
// gap * -i: -0.0 at (0, 0) for gap > 0, and everywhere for gap == +0.0, when -0.0 then flows
// through the gap moves (x - 0.0 keeps the sign of x) into cells whose sign the integers do
// not know: a zero gap stays with the double recurrence in the global case. With gap != 0 an
// interior difference x - gap is zero only for x == gap, +0.0; so every interior global zero,
// the last cell among them, is +0.0 as well.

struct LaneParams {
    int32_t match, mismatch, gap;
    int64_t largest;
};

// An integer of at most 2^30 in magnitude and not -0.0 (NaN and infinities are not).
bool lane_integer(double x) {
    return std::fabs(x) <= 0x1p30 && x == std::trunc(x) && !(x == 0.0 && std::signbit(x));
}

// Every code point of the text below 2^16 (so it fits a 16-bit lane).
bool fits_16_bits(Text t) {
    if (t.width <= 2) return true;
    for (uint32_t u : t.units<uint32_t>())
        if (u > 0xFFFF) return false;
    return true;
}

enum class Lanes { none, bits16, bits32 };

// Which lanes give the double recurrence's values for two non-empty texts (see above).
Lanes integer_lanes(Text s1, Text s2, const Params& p, bool local, LaneParams& out) {
    if (!lane_integer(p.match) || !lane_integer(p.mismatch) || !lane_integer(p.gap))
        return Lanes::none;
    if (!local && p.gap == 0.0) return Lanes::none;
    out.match = static_cast<int32_t>(p.match);
    out.mismatch = static_cast<int32_t>(p.mismatch);
    out.gap = static_cast<int32_t>(p.gap);
    out.largest = std::max({std::llabs(out.match), std::llabs(out.mismatch), std::llabs(out.gap)});
    const size_t steps = s1.length + s2.length;
    const auto fits = [&](int64_t limit) {
        return out.largest == 0 || steps <= static_cast<uint64_t>(limit / out.largest);
    };
    if (fits(INT16_MAX) && fits_16_bits(s1) && fits_16_bits(s2)) return Lanes::bits16;
    if (fits(INT32_MAX)) return Lanes::bits32;
    return Lanes::none;
}

// A text's code points in lanes of T (equal code points give equal lanes: for 16-bit lanes
// they are all below 2^16) at to[0 ..), in order or reversed.
template <class T>
void lane_symbols(Text t, T* to, bool reversed) {
    visit(t, [&](auto units) {
        const size_t n = units.size();
        for (size_t i = 0; i < n; ++i) to[reversed ? n - 1 - i : i] = static_cast<T>(units[i]);
    });
}

template <class T>
double sweep_lanes(Text s1, Text s2, const LaneParams& p, bool local,
                   void (*kernel)(simd::StripSweep<T>&, size_t, size_t), size_t lanes) {
    // The shorter text down the lanes: fewer strips. The transposed matrix holds the same
    // values (the sums and maxima of integers do not depend on the operands' order).
    if (s1.length > s2.length) std::swap(s1, s2);
    constexpr size_t pad = simd::kAlignmentPad;
    const size_t len1 = s1.length, len2 = s2.length;
    SmallVector<T, 512> symbols;
    symbols.resize(len1 + len2 + 3 * pad);
    T* rows = symbols.data();
    T* cols_rev = rows + len1 + pad;
    lane_symbols(s1, rows, false);
    lane_symbols(s2, cols_rev, true);
    SmallVector<T, 256> top;  // row 0 to start: -(j * gap), or 0
    top.resize(len2 + 1 + pad);
    if (!local)
        for (size_t j = 0; j <= len2; ++j) top[j] = static_cast<T>(-static_cast<int64_t>(j) * p.gap);
    // Each entry of the history is written before it is read (the kernel clears the few
    // it reads otherwise): left uninitialized, on the stack for short texts.
    constexpr size_t kInlineHistory = 4096;
    const size_t history_size = (len2 + pad) * lanes;
    alignas(64) T inline_history[kInlineHistory];
    std::unique_ptr<T[]> heap_history;
    T* history = inline_history;
    if (history_size > kInlineHistory) {
        heap_history.reset(new T[history_size]);
        history = heap_history.get();
    }
    simd::StripSweep<T> state{rows,
                              cols_rev,
                              len1,
                              len2,
                              top.data(),
                              history,
                              static_cast<T>(p.match),
                              static_cast<T>(p.mismatch),
                              static_cast<T>(p.gap),
                              local,
                              T(0),
                              T(0)};
    // Strips in groups of about 16,384 cells between interrupt polls.
    const size_t strips = (len1 + lanes - 1) / lanes;
    const size_t strip_cells = (len2 + 1) * lanes;
    const size_t group = 1 + 16384 / strip_cells;
    PollBudget budget;
    for (size_t k = 0; k < strips; k += group) {
        budget.spend(group * strip_cells);
        kernel(state, k, std::min(strips, k + group));
    }
    return static_cast<double>(local ? state.best : state.last);
}

std::optional<double> lane_score(Text s1, Text s2, const Params& p, bool local,
                                 const simd::AlignmentKernels& kernels) {
    LaneParams lp;
    switch (integer_lanes(s1, s2, p, local, lp)) {
        case Lanes::bits16:
            return sweep_lanes<int16_t>(s1, s2, lp, local, kernels.sweep16, kernels.lanes16);
        case Lanes::bits32:
            return sweep_lanes<int32_t>(s1, s2, lp, local, kernels.sweep32, kernels.lanes32);
        default:
            return std::nullopt;
    }
}

template <bool Local>
double align(Text s1, Text s2, const Params& p) {
    if (auto v = lane_score(s1, s2, p, Local, simd::active_alignment_kernels())) return *v;
    return align_doubles<Local>(s1, s2, p);
}

double local_score(Text s1, Text s2, const Params& p) {
    if (s1.empty() || s2.empty()) return 0.0;
    return align<true>(s1, s2, p);
}

double global_score(Text s1, Text s2, const Params& p) {
    if (s1.empty()) return -(static_cast<double>(s2.length) * p.gap);
    if (s2.empty()) return -(static_cast<double>(s1.length) * p.gap);
    return align<false>(s1, s2, p);
}

inline double clamp_unit(double v) {
    if (v < 0.0) return 0.0;
    if (v > 1.0) return 1.0;
    return v;
}

}  // namespace

double smith_waterman_score(Text s1, Text s2, double match, double mismatch, double gap,
                            FloatCutoff c) {
    return cut_similarity(local_score(s1, s2, {match, mismatch, gap}), c);
}

double smith_waterman_normalized_similarity(Text s1, Text s2, double match, double mismatch,
                                            double gap, FloatCutoff c) {
    if (s1.empty()) return s2.empty() ? 1.0 : 0.0;  // before the cutoff is looked at
    if (s2.empty()) return 0.0;
    double score = local_score(s1, s2, {match, mismatch, gap});
    size_t shorter = std::min(s1.length, s2.length);
    double denominator = match * static_cast<double>(shorter);
    double value = denominator > 0.0 ? score / denominator : 0.0;
    return cut_similarity(clamp_unit(value), c);
}

double needleman_wunsch_score(Text s1, Text s2, double match, double mismatch, double gap,
                              FloatCutoff c) {
    double score = global_score(s1, s2, {match, mismatch, gap});
    if (c && score < *c) return std::numeric_limits<double>::lowest();
    return score;
}

double needleman_wunsch_normalized_similarity(Text s1, Text s2, double match, double mismatch,
                                              double gap, FloatCutoff c) {
    size_t longer = std::max(s1.length, s2.length);
    if (longer == 0) return 1.0;  // before the cutoff is looked at
    double score = global_score(s1, s2, {match, mismatch, gap});
    double maximum = match * static_cast<double>(longer);
    double value =
        maximum == 0.0 ? 1.0 : (gap * static_cast<double>(longer) + score) / (maximum + maximum);
    return cut_similarity(clamp_unit(value), c);
}

std::optional<double> integer_alignment_score(Text s1, Text s2, double match, double mismatch,
                                              double gap, bool local,
                                              const simd::AlignmentKernels& kernels) {
    if (s1.empty() || s2.empty()) return std::nullopt;
    return lane_score(s1, s2, {match, mismatch, gap}, local, kernels);
}

}  // namespace qx
