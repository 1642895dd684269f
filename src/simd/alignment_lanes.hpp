// Alignment scores in integer lanes: the local (Smith-Waterman) and global (Needleman-Wunsch)
// recurrences over anti-diagonals when match, mismatch and gap are integers, in 16- or 32-bit
// lanes. The cells of one anti-diagonal depend only on the two diagonals before it, so a
// diagonal is filled a vector at a time. alignment.cpp decides when the integers give the very
// same values as the double recurrence and prepares the texts.
//
// Like lane_layout.hpp, this header holds only types and templates instantiated with types of
// each variant's own file, so that nothing compiled for a wider instruction set can be picked
// by the linker for baseline code (and it calls no standard-library function for that reason).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::simd {

// Entries before index 0 and past the last needed entry of every array of an IntSweep: a
// diagonal is filled in whole vectors of at most this many lanes, at fixed multiples of the
// vector size, so its first and last vectors read and write past the cells it needs.
inline constexpr size_t kAlignmentPad = 32;

// One pair being aligned. `a1[i]` holds s1[i - 1] (i = 1 .. len1) and `b_rev` s2 reversed (so
// that s2[d - i - 1] is contiguous along a diagonal); equal symbols have equal lane values.
// The diagonals d2, d1, d0 (d - 2, d - 1, d) are indexed by the row i = 0 .. len1. Every array
// has kAlignmentPad entries (of any value) before index 0 and after its last one. Every cell
// value, and every sum formed on the way, lies within the lane type's range (the caller's
// bound).
template <class T>
struct IntSweep {
    const T* a1;
    const T* b_rev;
    size_t len1, len2;
    T* d2;
    T* d1;
    T* d0;
    T match, mismatch, gap;
    bool local;
    T best;  // local: the largest cell so far (0 to start)
};

// Fills the diagonals [d_begin, d_end) in order, from d = 0 on; after the last diagonal
// (len1 + len2) d1[len1] holds the last cell. Local cells are at least 0; `best` gathers their
// maximum.
using IntSweep16Kernel = void (*)(IntSweep<int16_t>& s, size_t d_begin, size_t d_end);
using IntSweep32Kernel = void (*)(IntSweep<int32_t>& s, size_t d_begin, size_t d_end);

struct AlignmentKernels {
    const char* name;
    IntSweep16Kernel sweep16;
    IntSweep32Kernel sweep32;
};

// 32 zeros, 32 entries of all ones, 32 zeros: lane masks by loading from the middle.
template <class T>
struct LaneRuns {
    alignas(64) T v[96];
    constexpr LaneRuns() : v{} {
        for (size_t i = 32; i < 64; ++i) v[i] = T(-1);
    }
};

// Ops: T (lane integer), V (vector), kLanes, splat, zero, load, store (unaligned), add, sub,
// max (signed), and_, blend(mask, if_set, if_clear), eq (all ones where equal),
// shift_in(prev, cur) (prev's last lane, then cur's lanes but the last), hmax (largest lane).
//
// A diagonal is filled in vectors at i0 = multiples of the vector size, so that every vector
// read from a diagonal is one the diagonal before wrote whole (the processor then forwards it
// from its store buffer): the neighbours at row i - 1 come from shifting in the lane before.
// Lanes outside the diagonal's cells compute values nothing reads; the borders (row 0 and
// column 0) are blended into their lanes before the store.
template <class Ops, bool Local>
void sweep_diagonals(IntSweep<typename Ops::T>& s, size_t d_begin, size_t d_end) {
    using T = typename Ops::T;
    using V = typename Ops::V;
    constexpr size_t L = Ops::kLanes;
    static constexpr LaneRuns<T> kRuns{};
    static_assert(L <= 32 && L <= kAlignmentPad);
    // Lanes r and above; lanes below r (0 <= r <= L).
    const auto lanes_from = [](size_t r) { return Ops::load(kRuns.v + 32 - r); };
    const auto lanes_below = [](size_t r) { return Ops::load(kRuns.v + 64 - r); };
    const size_t len1 = s.len1, len2 = s.len2;
    const V mismatch = Ops::splat(s.mismatch);
    const V bonus = Ops::splat(static_cast<T>(s.match - s.mismatch));
    const V gap = Ops::splat(s.gap);
    const V zero = Ops::zero();
    V best = zero;
    T* d2 = s.d2;
    T* d1 = s.d1;
    T* d0 = s.d0;
    for (size_t d = d_begin; d < d_end; ++d) {
        // Rows of the diagonal's cells, borders included: first .. last.
        const size_t first = d > len2 ? d - len2 : 0;
        const size_t last = d < len1 ? d : len1;
        const V border = Ops::splat(Local ? T(0) : static_cast<T>(-static_cast<int64_t>(d) * s.gap));
        // b_rev[len2 - d + i] = s2[d - i - 1], for the rows i of the diagonal.
        const ptrdiff_t b_shift = static_cast<ptrdiff_t>(len2) - static_cast<ptrdiff_t>(d);
        const size_t c_first = first / L, c_last = last / L;
        V prev1 = Ops::load(d1 + c_first * L - L);
        V prev2 = Ops::load(d2 + c_first * L - L);
        for (size_t c = c_first; c <= c_last; ++c) {
            const size_t i0 = c * L;
            const V cur1 = Ops::load(d1 + i0);
            const V cur2 = Ops::load(d2 + i0);
            const V same = Ops::eq(Ops::load(s.a1 + i0), Ops::load(s.b_rev + (b_shift + static_cast<ptrdiff_t>(i0))));
            const V diagonal = Ops::add(Ops::shift_in(prev2, cur2),
                                        Ops::add(mismatch, Ops::and_(same, bonus)));
            const V across = Ops::sub(Ops::max(Ops::shift_in(prev1, cur1), cur1), gap);
            V v = Ops::max(diagonal, across);
            if constexpr (Local) v = Ops::max(v, zero);
            if (c == c_first || c == c_last) {
                // Row 0 and column 0 (row d) hold the borders.
                if (d <= len2 && c == 0) v = Ops::blend(Ops::and_(lanes_from(0), lanes_below(1)), border, v);
                if (d <= len1 && c == c_last) {
                    const size_t r = d - i0;
                    v = Ops::blend(Ops::and_(lanes_from(r), lanes_below(r + 1)), border, v);
                }
                if constexpr (Local) {
                    // Lanes outside the diagonal are kept out of the maximum.
                    const size_t from = first > i0 ? first - i0 : 0;
                    const size_t below = last - i0 + 1 < L ? last - i0 + 1 : L;
                    best = Ops::max(best, Ops::and_(v, Ops::and_(lanes_from(from), lanes_below(below))));
                }
            } else if constexpr (Local) {
                best = Ops::max(best, v);
            }
            Ops::store(d0 + i0, v);
            prev1 = cur1;
            prev2 = cur2;
        }
        T* spare = d2;
        d2 = d1;
        d1 = d0;
        d0 = spare;
    }
    s.d2 = d2;
    s.d1 = d1;
    s.d0 = d0;
    const T top = Ops::hmax(best);
    if (top > s.best) s.best = top;
}

// A kernel of the table: the local or global sweep, as the pair asks.
template <class Ops>
void sweep(IntSweep<typename Ops::T>& s, size_t d_begin, size_t d_end) {
    if (s.local)
        sweep_diagonals<Ops, true>(s, d_begin, d_end);
    else
        sweep_diagonals<Ops, false>(s, d_begin, d_end);
}

}  // namespace qx::simd
