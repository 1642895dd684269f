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
// Diagonals are indexed by the row i = 0 .. len1: d1 holds diagonal d - 1 and u1 the
// row-before neighbours the diagonal d - 1 used (u1[i] = diagonal d - 2 at row i - 1, which is
// also the upper-left neighbour of row i on diagonal d); d0 and u0 receive diagonal d's. Every
// array has kAlignmentPad entries (of any value) before index 0 and after its last one. Every
// cell value, and every sum formed on the way, lies within the lane type's range (the
// caller's bound).
template <class T>
struct IntSweep {
    const T* a1;
    const T* b_rev;
    size_t len1, len2;
    T* d1;
    T* d0;
    T* u1;
    T* u0;
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

// 32 zeros, 32 entries of all ones, 32 zeros (lane masks are loaded from the middle), and
// 32 zeros, one entry of all ones, 32 zeros.
template <class T>
struct LaneMasks {
    alignas(64) T runs[96];
    alignas(64) T one[65];
    constexpr LaneMasks() : runs{}, one{} {
        for (size_t i = 32; i < 64; ++i) runs[i] = T(-1);
        one[32] = T(-1);
    }
};

// Ops: T (lane integer), V (vector), kLanes, splat, zero, load, store (unaligned), add, sub,
// max (signed), and_, blend(mask, if_set, if_clear), eq (all ones where equal),
// shift_in(prev, cur) (prev's last lane, then cur's lanes but the last), hmax (largest lane).
//
// A diagonal is filled in vectors at rows i0 = multiples of the vector size, so that every
// vector read from a diagonal is one the diagonal before wrote whole (the processor then
// forwards it from its store buffer): the neighbours at row i - 1 come from shifting in the
// lane before, and are kept for the next diagonal, whose upper-left neighbours they are.
// Lanes outside the diagonal's cells compute values no cell reads; the borders (row 0 and
// column 0) are blended into their lanes before the store. Only the first and the last vector
// of a diagonal hold borders or lanes outside it.
template <class Ops, bool Local>
void sweep_diagonals(IntSweep<typename Ops::T>& s, size_t d_begin, size_t d_end) {
    using T = typename Ops::T;
    using V = typename Ops::V;
    constexpr size_t L = Ops::kLanes;
    static constexpr LaneMasks<T> kMasks{};
    static_assert(L <= 32 && L <= kAlignmentPad);
    // Lanes r and above; lanes below r (0 <= r <= L); lane r alone (r < L).
    const auto lanes_from = [](size_t r) { return Ops::load(kMasks.runs + 32 - r); };
    const auto lanes_below = [](size_t r) { return Ops::load(kMasks.runs + 64 - r); };
    const auto lane = [](size_t r) { return Ops::load(kMasks.one + 32 - r); };
    const size_t len1 = s.len1, len2 = s.len2;
    const T* const a1 = s.a1;
    const V match = Ops::splat(s.match);
    const V mismatch = Ops::splat(s.mismatch);
    const V gap = Ops::splat(s.gap);
    const V zero = Ops::zero();
    const V row0 = lane(0);
    V best = zero;
    T* d1 = s.d1;
    T* d0 = s.d0;
    T* u1 = s.u1;
    T* u0 = s.u0;
    for (size_t d = d_begin; d < d_end; ++d) {
        // Rows of the diagonal's cells, borders included: first .. last.
        const size_t first = d > len2 ? d - len2 : 0;
        const size_t last = d < len1 ? d : len1;
        const V border =
            Ops::splat(Local ? T(0) : static_cast<T>(-static_cast<int64_t>(d) * s.gap));
        // b[i] = s2[d - i - 1] for the rows i of the diagonal (b_rev[len2 - d + i]).
        const T* const b =
            s.b_rev + (static_cast<ptrdiff_t>(len2) - static_cast<ptrdiff_t>(d));
        const size_t c_first = first / L, c_last = last / L;
        V prev = Ops::load(d1 + c_first * L - L);
        // The vector of rows i0 .. i0 + L - 1, borders not yet in.
        const auto cells = [&](size_t i0) {
            const V cur = Ops::load(d1 + i0);
            const V up = Ops::shift_in(prev, cur);
            prev = cur;
            Ops::store(u0 + i0, up);
            const V score = Ops::blend(Ops::eq(Ops::load(a1 + i0), Ops::load(b + i0)), match, mismatch);
            V v = Ops::max(Ops::add(Ops::load(u1 + i0), score), Ops::sub(Ops::max(up, cur), gap));
            if constexpr (Local) v = Ops::max(v, zero);
            return v;
        };
        const size_t i_first = c_first * L, i_last = c_last * L;
        V v = cells(i_first);
        if (d <= len2) v = Ops::blend(row0, border, v);  // then first == 0
        if (c_first == c_last) {
            if (d <= len1) v = Ops::blend(lane(d - i_last), border, v);  // then last == d
            // Lanes outside the diagonal are kept out of the maximum.
            if constexpr (Local)
                best = Ops::max(best, Ops::and_(v, Ops::and_(lanes_from(first - i_first),
                                                             lanes_below(last - i_first + 1))));
            Ops::store(d0 + i_first, v);
        } else {
            if constexpr (Local) best = Ops::max(best, Ops::and_(v, lanes_from(first - i_first)));
            Ops::store(d0 + i_first, v);
            for (size_t i0 = i_first + L; i0 < i_last; i0 += L) {
                v = cells(i0);
                if constexpr (Local) best = Ops::max(best, v);
                Ops::store(d0 + i0, v);
            }
            v = cells(i_last);
            if (d <= len1) v = Ops::blend(lane(d - i_last), border, v);
            if constexpr (Local) best = Ops::max(best, Ops::and_(v, lanes_below(last - i_last + 1)));
            Ops::store(d0 + i_last, v);
        }
        T* spare = d1;
        d1 = d0;
        d0 = spare;
        spare = u1;
        u1 = u0;
        u0 = spare;
    }
    s.d1 = d1;
    s.d0 = d0;
    s.u1 = u1;
    s.u0 = u0;
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
