// The bit-parallel recurrences of the lane kernels, written once over a set of lane-wise vector
// operations `Ops` and instantiated by each instruction set's file with its own set:
//
//   V                      a whole row held in registers
//   kLaneBits              8, 16, 32 or 64
//   load(row), store(row, v)
//   zero(), ones()         all bits clear / set
//   one()                  the value 1 in every lane
//   splat(k)               the value k (small, non-negative) in every lane
//   and_, or_, xor_        bitwise
//   andnot(a, b)           ~a & b
//   add(a, b), sub(a, b)   lane-wise, modulo 2^kLaneBits: no carry or borrow crosses a lane
//   eq_zero(a)             all ones in the lanes where a is zero, else zero
//   gt(a, b)               all ones in the lanes where a > b (signed), else zero
//
// Everything here has internal linkage (an unnamed namespace), so that each file compiled for
// its own instruction set keeps its own copies (see lane_layout.hpp).
#pragma once

#include "lane_layout.hpp"

namespace qx::simd {
namespace {

// Left shift of every lane by one position (the top bit of each lane is dropped).
template <class Ops>
inline typename Ops::V shift_up(typename Ops::V a) {
    return Ops::add(a, a);
}

template <class Ops>
void lcs_lanes(const Row* rows, const RowId* ids, size_t n, Row& state) {
    using V = typename Ops::V;
    V s = Ops::load(state);
    for (size_t j = 0; j < n; ++j) {
        const V match = Ops::load(rows[ids[j]]);
        const V u = Ops::and_(s, match);
        s = Ops::or_(Ops::add(s, u), Ops::sub(s, u));
    }
    Ops::store(state, s);
}

// Signed integer of lane `k` of a row of `Bits`-bit lanes.
template <size_t Bits>
inline int64_t signed_lane(const Row& row, size_t k) {
    const uint8_t* p = row.bytes + k * (Bits / 8);
    if constexpr (Bits == 8) {
        int8_t v;
        __builtin_memcpy(&v, p, 1);
        return v;
    } else if constexpr (Bits == 16) {
        int16_t v;
        __builtin_memcpy(&v, p, 2);
        return v;
    } else if constexpr (Bits == 32) {
        int32_t v;
        __builtin_memcpy(&v, p, 4);
        return v;
    } else {
        int64_t v;
        __builtin_memcpy(&v, p, 8);
        return v;
    }
}

template <class Ops>
void levenshtein_lanes(const Row* rows, const RowId* ids, size_t n, const Row& last_row,
                       int64_t* score) {
    using V = typename Ops::V;
    constexpr size_t kBits = Ops::kLaneBits;
    constexpr size_t kLanes = kRowBits / kBits;
    // Each step moves a lane's counter by at most one: a counter of kBits bits stays exact for
    // 2^(kBits - 1) - 1 steps, after which it is added to the 64-bit score and restarted.
    constexpr size_t kSteps = kBits == 64 ? ~size_t{0} : (size_t{1} << (kBits - 1)) - 1;

    const V last = Ops::load(last_row);
    const V one = Ops::one();
    const V all = Ops::ones();
    V vp = all, vn = Ops::zero();
    for (size_t j = 0; j < n;) {
        const size_t end = n - j > kSteps ? j + kSteps : n;
        V counter = Ops::zero();
        for (; j < end; ++j) {
            const V eq = Ops::load(rows[ids[j]]);
            const V x = Ops::or_(eq, vn);
            const V d0 = Ops::or_(Ops::xor_(Ops::add(Ops::and_(x, vp), vp), vp), x);
            V hp = Ops::or_(vn, Ops::andnot(Ops::or_(d0, vp), all));
            V hn = Ops::and_(vp, d0);
            // eq_zero is -1 where the bit is clear: +1 for a set hp bit, -1 for a set hn bit.
            counter = Ops::add(counter, Ops::sub(Ops::eq_zero(Ops::and_(hp, last)),
                                                 Ops::eq_zero(Ops::and_(hn, last))));
            hp = Ops::or_(shift_up<Ops>(hp), one);
            hn = shift_up<Ops>(hn);
            vp = Ops::or_(hn, Ops::andnot(Ops::or_(d0, hp), all));
            vn = Ops::and_(hp, d0);
        }
        Row counts;
        Ops::store(counts, counter);
        for (size_t k = 0; k < kLanes; ++k) score[k] += signed_lane<kBits>(counts, k);
    }
}

// Bit-parallel Jaro matching with a window per lane. The window of text position j is
// upper & ~lower: upper = bits 0 .. j + w gains one bit per step; lower = bits 0 .. j - w - 1
// starts to grow once j > w, at a step that differs between lanes only while
// base < j <= base + extra_max. A first pass flags the matches and keeps, per text position,
// the pattern bit it took; a second pass pairs the k-th flagged pattern position with the k-th
// matching text position and counts the pairs whose symbols differ.
template <class Ops>
void jaro_lanes(const Row* rows, const RowId* ids, size_t n, const JaroWindow& window,
                Row* scratch, Row& flags_out, Row& mismatches_out) {
    using V = typename Ops::V;
    const V zero = Ops::zero(), one = Ops::one();
    const V extra = Ops::load(window.extra);
    V upper = Ops::load(window.upper), lower = zero, flags = zero;
    for (size_t j = 0; j < n; ++j) {
        const V candidates =
            Ops::and_(Ops::load(rows[ids[j]]), Ops::andnot(flags, Ops::andnot(lower, upper)));
        const V taken = Ops::and_(candidates, Ops::sub(zero, candidates));
        flags = Ops::or_(flags, taken);
        Ops::store(scratch[j], taken);

        const size_t next = j + 1;
        V grow;
        if (next <= window.base)
            grow = zero;
        else if (next - window.base > window.extra_max)
            grow = one;
        else
            grow = Ops::and_(Ops::gt(Ops::splat(next - window.base), extra), one);
        upper = Ops::or_(shift_up<Ops>(upper), one);
        lower = Ops::or_(shift_up<Ops>(lower), grow);
    }
    Ops::store(flags_out, flags);

    V rest = flags, mismatches = zero;
    for (size_t j = 0; j < n; ++j) {
        const V unmatched = Ops::eq_zero(Ops::load(scratch[j]));
        const V first = Ops::and_(rest, Ops::sub(zero, rest));
        const V differs = Ops::eq_zero(Ops::and_(Ops::load(rows[ids[j]]), first));
        mismatches = Ops::sub(mismatches, Ops::andnot(unmatched, differs));
        rest = Ops::xor_(rest, Ops::andnot(unmatched, first));
    }
    Ops::store(mismatches_out, mismatches);
}

// The kernel table entries of one instruction set: Ops<8>, Ops<16>, Ops<32>, Ops<64>.
template <template <size_t> class Ops>
constexpr LaneKernels lane_kernels_of(const char* name) {
    return LaneKernels{
        name,
        {lcs_lanes<Ops<8>>, lcs_lanes<Ops<16>>, lcs_lanes<Ops<32>>, lcs_lanes<Ops<64>>},
        {levenshtein_lanes<Ops<8>>, levenshtein_lanes<Ops<16>>, levenshtein_lanes<Ops<32>>,
         levenshtein_lanes<Ops<64>>},
        {jaro_lanes<Ops<8>>, jaro_lanes<Ops<16>>, jaro_lanes<Ops<32>>, jaro_lanes<Ops<64>>},
    };
}

}  // namespace
}  // namespace qx::simd
