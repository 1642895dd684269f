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

// Entries past the end of every array of an IntSweep: a diagonal is filled in whole vectors,
// so its last vector reads and writes up to this many cells past the last one it needs.
inline constexpr size_t kAlignmentPad = 32;

// One pair being aligned. `a` holds s1's symbols and `b_rev` s2's reversed (so that s2[d - i - 1]
// is contiguous along a diagonal), each followed by kAlignmentPad zeros; equal symbols have
// equal lane values. The diagonals d2, d1, d0 (d - 2, d - 1, d) are indexed by the row i and
// have len1 + 1 + kAlignmentPad entries. Every cell value, and every sum formed on the way,
// lies within the lane type's range (the caller's bound).
template <class T>
struct IntSweep {
    const T* a;
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

// All ones in 32 entries, then 32 zeros: the L entries from 32 - r on have ones in their
// first r lanes only.
template <class T>
struct TailMasks {
    alignas(64) T v[64];
    constexpr TailMasks() : v{} {
        for (size_t i = 0; i < 32; ++i) v[i] = T(-1);
    }
};

// Ops: T (lane integer), V (vector), kLanes, splat, zero, load, store (unaligned), add, sub,
// max (signed), and_, eq (all ones where equal), hmax (largest lane).
template <class Ops, bool Local>
void sweep_diagonals(IntSweep<typename Ops::T>& s, size_t d_begin, size_t d_end) {
    using T = typename Ops::T;
    using V = typename Ops::V;
    constexpr size_t L = Ops::kLanes;
    static constexpr TailMasks<T> kTail{};
    static_assert(L <= 32 && L <= kAlignmentPad);
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
        const size_t lo = d > len2 ? d - len2 : 1;
        const size_t last = d > 0 ? d - 1 : 0;
        const size_t hi = last < len1 ? last : len1;
        if (d >= 2 && lo <= hi) {
            const T* b = s.b_rev + (len2 + lo - d);  // b[k] = s2[d - (lo + k) - 1]
            const T* ai = s.a + (lo - 1);            // ai[k] = s1[lo + k - 1]
            const size_t count = hi - lo + 1;
            for (size_t k = 0; k < count; k += L) {
                const size_t i = lo + k;
                const V same = Ops::eq(Ops::load(ai + k), Ops::load(b + k));
                const V diagonal = Ops::add(Ops::load(d2 + i - 1),
                                            Ops::add(mismatch, Ops::and_(same, bonus)));
                const V across = Ops::sub(Ops::max(Ops::load(d1 + i - 1), Ops::load(d1 + i)), gap);
                V v = Ops::max(diagonal, across);
                if constexpr (Local) {
                    v = Ops::max(v, zero);
                    // Lanes past the diagonal's end hold no cell: kept out of the maximum.
                    if (k + L > count) v = Ops::and_(v, Ops::load(kTail.v + 32 - (count - k)));
                    best = Ops::max(best, v);
                }
                Ops::store(d0 + i, v);
            }
        }
        // The borders last: the diagonal's last vector may have written past its end.
        const T border = Local ? T(0) : static_cast<T>(-static_cast<int64_t>(d) * s.gap);
        if (d <= len2) d0[0] = border;
        if (d >= 1 && d <= len1) d0[d] = border;
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
