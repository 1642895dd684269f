// Alignment scores in integer lanes: the local (Smith-Waterman) and global (Needleman-Wunsch)
// recurrences when match, mismatch and gap are integers, in 16- or 32-bit lanes, a strip of
// rows (one vector) at a time. alignment.cpp decides when the integers give the very same
// values as the double recurrence and prepares the texts.
//
// Like lane_layout.hpp, this header holds only types and templates instantiated with types of
// each variant's own file, so that nothing compiled for a wider instruction set can be picked
// by the linker for baseline code (and it calls no standard-library function for that reason).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::simd {

// Entries before index 0 and past the last needed entry of the text arrays of a StripSweep.
inline constexpr size_t kAlignmentPad = 64;

// One pair being aligned, a strip of rows at a time: the rows text s1 lies down the lanes of a
// vector, the columns text s2 is streamed along the strip.
//
// A strip is `lanes` rows (one vector). Lane m holds row r0 + 1 + m (rows of the whole matrix
// count from 1; row 0 and column 0 are the borders), and at step t it computes the cell in
// column t - offset(m). With one 128-bit half per vector (or one lane) offset(m) = m: the lanes
// then follow an anti-diagonal, each lane's upper neighbour is the lane before one step
// earlier, and a shift within the vector brings it in. With two halves of R lanes, the second
// half runs one step further behind (offset(m) = m % R + (m / R) * (R + 1)): its first lane's
// upper neighbour, the first half's last lane, is then two steps old and crosses between the
// halves off the critical path, so that the shift on it stays within each half.
//
// `rows[i]` = s1[i] (i < len1), `cols_rev` = s2 reversed, equal symbols with equal lane
// values; `top[j]` = the border row (j = 0 .. len2); `history` receives each step's vector,
// lanes entries each, for len2 + kAlignmentPad steps. The text arrays and `top` have
// kAlignmentPad entries of any value before index 0 (cols_rev) and past the last (rows,
// cols_rev, top). Every cell value, and every sum formed on the way, lies within the lane
// type's range (the caller's bound); lanes outside the matrix compute values no cell reads
// (wrapping around in the vector units).
template <class T>
struct StripSweep {
    const T* rows;
    const T* cols_rev;
    size_t len1, len2;
    T* top;
    T* history;
    T match, mismatch, gap;
    bool local;
    T best;  // local: the largest cell so far (0 to start)
    T last;  // global: the last cell, once the last strip is done
};

// Sweeps the strips [strip_begin, strip_end) in order, from strip 0 on; the history holds the
// strip before (its last lane is the next strip's row above).
using StripSweep16Kernel = void (*)(StripSweep<int16_t>& s, size_t strip_begin, size_t strip_end);
using StripSweep32Kernel = void (*)(StripSweep<int32_t>& s, size_t strip_begin, size_t strip_end);

struct AlignmentKernels {
    const char* name;
    StripSweep16Kernel sweep16;
    StripSweep32Kernel sweep32;
    size_t lanes16, lanes32;  // rows in a strip
};

// 32 zeros, 32 entries of all ones, 32 zeros (lane masks are loaded from the middle).
template <class T>
struct LaneRuns {
    alignas(64) T v[96];
    constexpr LaneRuns() : v{} {
        for (size_t i = 32; i < 64; ++i) v[i] = T(-1);
    }
};

// Ops: T (lane integer), V (vector), kLanes, kHalfLanes (R), splat, zero, load, store,
// add, sub, max (signed), and_, blend(mask, if_set, if_clear), eq, gt (all ones where true),
// hmax (largest lane); load_columns(p, lag) (the first half from p, the second from p + lag),
// upper(top, older) (per half, the value entering its first lane: top's for the first half,
// older's first-half last lane for the second) and shift_in(v, entering) (per half: the
// entering value's last lane, then v's lanes but the last).
template <class Ops, bool Local>
void sweep_strips(StripSweep<typename Ops::T>& s, size_t strip_begin, size_t strip_end) {
    using T = typename Ops::T;
    using V = typename Ops::V;
    constexpr size_t L = Ops::kLanes, R = Ops::kHalfLanes;
    constexpr size_t lag = L == R ? 0 : R + 1;  // how far the second half runs behind
    constexpr size_t last_offset = (R - 1) + (L / R - 1) * lag;
    static constexpr LaneRuns<T> kRuns{};
    static_assert(L <= 32 && 2 * last_offset < kAlignmentPad);
    const size_t len1 = s.len1, len2 = s.len2;
    T* const history = s.history;
    const V match = Ops::splat(s.match);
    const V mismatch = Ops::splat(s.mismatch);
    const V gap = Ops::splat(s.gap);
    const V zero = Ops::zero();
    alignas(64) T lane_values[L];
    for (size_t m = 0; m < L; ++m) lane_values[m] = static_cast<T>(m % R + (m / R) * lag);
    const V offsets = Ops::load(lane_values);
    V best = zero;
    if (strip_begin == 0) {
        // A strip reads the row above up to last_offset steps past what the strip before
        // wrote (for lanes outside the matrix): those entries hold zeros.
        for (size_t i = (len2 + last_offset + 1) * L; i < (len2 + 2 * last_offset + 1) * L; ++i)
            history[i] = T(0);
    }
    for (size_t strip = strip_begin; strip < strip_end; ++strip) {
        const size_t r0 = strip * L;
        const size_t rows = len1 - r0 < L ? len1 - r0 : L;
        // Column 0 of each lane's row.
        for (size_t m = 0; m < L; ++m)
            lane_values[m] = Local ? T(0) : static_cast<T>(-static_cast<int64_t>(r0 + 1 + m) * s.gap);
        const V left_border = Ops::load(lane_values);
        const V in_matrix = Ops::load(kRuns.v + 64 - rows);  // lanes of rows up to len1
        const V symbols = Ops::load(s.rows + r0);
        // Locals: the vector stores may alias the sweep's fields. The row above: the border
        // row for the first strip, else the last lane of the strip before, read from the
        // history ahead of this strip's overwriting it.
        const T* top = strip == 0 ? s.top : history + last_offset * L + (L - 1);
        const size_t top_stride = strip == 0 ? 1 : L;
        const T* column = s.cols_rev + len2;  // step t: s2 reversed from len2 - t on
        T* out = history;
        V v1 = zero, v2 = zero, diagonal = zero;  // steps t - 1, t - 2; upper-left neighbours
        // The vector of a step (its column-0 lanes not yet set) from the two before and the
        // upper-left neighbours; `up` receives its upper neighbours, the next step's
        // upper-left ones. The maximum is grouped so that only a shift, a difference and a
        // maximum lie between one step's vector and the next.
        const auto cells = [&](V prev1, V prev2, V diag, const T* top_at, const T* column_at,
                               V& up) {
            up = Ops::shift_in(prev1, Ops::upper(Ops::splat(*top_at), prev2));
            const V score =
                Ops::blend(Ops::eq(symbols, Ops::load_columns(column_at, lag)), match, mismatch);
            V v = Ops::max(Ops::add(diag, score), Ops::sub(prev1, gap));
            if constexpr (Local) v = Ops::max(v, zero);
            return Ops::max(v, Ops::sub(up, gap));
        };
        const auto step = [&] {
            V up;
            const V v = cells(v1, v2, diagonal, top, column, up);
            top += top_stride;
            --column;
            diagonal = up;
            v2 = v1;
            return v;
        };
        const auto keep = [&](V v) {
            Ops::store(out, v);
            out += L;
            v1 = v;
        };
        // Steps with lanes outside columns 1 .. len2 (the first and the last last_offset
        // ones): column-0 lanes take the border; lanes outside are kept out of the maximum.
        const auto edge_step = [&](size_t t) {
            V v = step();
            if (t <= last_offset)
                v = Ops::blend(Ops::eq(offsets, Ops::splat(static_cast<T>(t))), left_border, v);
            if constexpr (Local) {
                const size_t below = t < 64 ? t : 64;         // offset < t: column >= 1
                const size_t from = t > len2 ? t - len2 : 0;  // offset >= t - len2
                const V inside = Ops::and_(Ops::gt(Ops::splat(static_cast<T>(below)), offsets),
                                           Ops::gt(offsets, Ops::splat(static_cast<T>(from - 1))));
                best = Ops::max(best, Ops::and_(v, Ops::and_(inside, in_matrix)));
            }
            keep(v);
        };
        const size_t steps = len2 + last_offset + 1;
        const size_t middle_end = len2 + 1 > last_offset + 1 ? len2 + 1 : last_offset + 1;
        size_t t = 0;
        for (; t <= last_offset && t < steps; ++t) edge_step(t);
        for (; t + 2 <= middle_end; t += 2) {  // two steps a round: no copies between them
            V up_a, up_b;
            const V a = cells(v1, v2, diagonal, top, column, up_a);
            const V b = cells(a, v1, up_a, top + top_stride, column - 1, up_b);
            if constexpr (Local) best = Ops::max(best, Ops::and_(Ops::max(a, b), in_matrix));
            Ops::store(out, a);
            Ops::store(out + L, b);
            out += 2 * L;
            top += 2 * top_stride;
            column -= 2;
            v2 = a;
            v1 = b;
            diagonal = up_b;
        }
        for (; t < middle_end; ++t) {
            const V v = step();
            if constexpr (Local) best = Ops::max(best, Ops::and_(v, in_matrix));
            keep(v);
        }
        for (; t < steps; ++t) edge_step(t);
        if (r0 + rows == len1) {  // the last strip: row len1 is lane rows - 1
            const size_t m = rows - 1;
            s.last = history[(len2 + m % R + (m / R) * lag) * L + m];
        }
    }
    const T top_cell = Ops::hmax(best);
    if (top_cell > s.best) s.best = top_cell;
}

// A kernel of the table: the local or global sweep, as the pair asks.
template <class Ops>
void sweep(StripSweep<typename Ops::T>& s, size_t strip_begin, size_t strip_end) {
    if (s.local)
        sweep_strips<Ops, true>(s, strip_begin, strip_end);
    else
        sweep_strips<Ops, false>(s, strip_begin, strip_end);
}

}  // namespace qx::simd
