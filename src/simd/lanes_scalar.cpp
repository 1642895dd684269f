// The lane kernels in portable C++, for any CPU: a row is eight 64-bit words and narrower lanes
// are packed into each word (SIMD within a register). Lane-wise addition and subtraction keep
// carries and borrows inside a lane by working on the low bits of each lane and fixing the top
// bit with an exclusive or.
#include "lane_recurrences.hpp"

namespace qx::simd {

namespace {

constexpr size_t kWords = kRowBytes / sizeof(uint64_t);

struct WordRow {
    uint64_t w[kWords];
};

template <class F>
inline WordRow each(F f) {
    WordRow v;
    for (size_t i = 0; i < kWords; ++i) v.w[i] = f(i);
    return v;
}

template <size_t Bits>
struct ScalarOps {
    using V = WordRow;
    static constexpr size_t kLaneBits = Bits;

    // All bits of the lowest lane; the lowest and the top bit of every lane.
    static constexpr uint64_t kLaneMask = Bits == 64 ? ~uint64_t{0} : (uint64_t{1} << (Bits % 64)) - 1;
    static constexpr uint64_t kLow = ~uint64_t{0} / kLaneMask;
    static constexpr uint64_t kHigh = kLow << (Bits - 1);

    static V load(const Row& row) {
        V v;
        __builtin_memcpy(v.w, row.bytes, kRowBytes);
        return v;
    }
    static void store(Row& row, const V& v) { __builtin_memcpy(row.bytes, v.w, kRowBytes); }
    static V zero() {
        return each([](size_t) { return uint64_t{0}; });
    }
    static V ones() {
        return each([](size_t) { return ~uint64_t{0}; });
    }
    static V splat(size_t k) {
        return each([k](size_t) { return kLow * k; });
    }
    static V one() { return splat(1); }

    static V and_(const V& a, const V& b) {
        return each([&](size_t i) { return a.w[i] & b.w[i]; });
    }
    static V or_(const V& a, const V& b) {
        return each([&](size_t i) { return a.w[i] | b.w[i]; });
    }
    static V xor_(const V& a, const V& b) {
        return each([&](size_t i) { return a.w[i] ^ b.w[i]; });
    }
    static V andnot(const V& a, const V& b) {
        return each([&](size_t i) { return ~a.w[i] & b.w[i]; });
    }
    static V add(const V& a, const V& b) {
        return each([&](size_t i) {
            const uint64_t x = a.w[i], y = b.w[i];
            if constexpr (Bits == 64) return x + y;
            return ((x & ~kHigh) + (y & ~kHigh)) ^ ((x ^ y) & kHigh);
        });
    }
    static V sub(const V& a, const V& b) {
        return each([&](size_t i) {
            const uint64_t x = a.w[i], y = b.w[i];
            if constexpr (Bits == 64) return x - y;
            return ((x | kHigh) - (y & ~kHigh)) ^ ((x ^ ~y) & kHigh);
        });
    }
    static V eq_zero(const V& a) {
        return each([&](size_t i) {
            const uint64_t x = a.w[i];
            if constexpr (Bits == 64) return x == 0 ? ~uint64_t{0} : 0;
            // Top bit of each lane: set when the lane is not zero; then spread over the lane.
            const uint64_t zero_top = ~(((x & ~kHigh) + ~kHigh) | x) & kHigh;
            return (zero_top - (zero_top >> (Bits - 1))) | zero_top;
        });
    }
    static V gt(const V& a, const V& b) {
        return each([&](size_t i) {
            uint64_t out = 0;
            for (size_t shift = 0; shift < 64; shift += Bits) {
                if (lane(a.w[i], shift) > lane(b.w[i], shift))
                    out |= kLaneMask << shift;
            }
            return out;
        });
    }

  private:
    // The signed lane of word x starting at bit `shift`.
    static int64_t lane(uint64_t x, size_t shift) {
        return static_cast<int64_t>(x << (64 - Bits - shift)) >> (64 - Bits);
    }
};

}  // namespace

extern constinit const LaneKernels kScalarLanes = lane_kernels_of<ScalarOps>("scalar");

}  // namespace qx::simd
