// The lane kernels on SSE4.2: a row is four 128-bit registers. This file alone is compiled with
// -msse4.2 (CMakeLists.txt; the 64-bit lane comparisons need it) and runs only where
// cpu_dispatch.cpp has found SSE4.2.
#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "lane_recurrences.hpp"

namespace qx::simd {

namespace {

constexpr size_t kRegs = kRowBytes / sizeof(__m128i);

struct SseRow {
    __m128i r[kRegs];
};

// Applies f to each register of the row.
template <class F>
inline SseRow each(F f) {
    SseRow v;
    for (size_t i = 0; i < kRegs; ++i) v.r[i] = f(i);
    return v;
}

template <size_t Bits>
struct SseOps {
    using V = SseRow;
    static constexpr size_t kLaneBits = Bits;

    static V load(const Row& row) {
        const auto* p = reinterpret_cast<const __m128i*>(row.bytes);
        return each([&](size_t i) { return _mm_load_si128(p + i); });
    }
    static void store(Row& row, const V& v) {
        auto* p = reinterpret_cast<__m128i*>(row.bytes);
        for (size_t i = 0; i < kRegs; ++i) _mm_store_si128(p + i, v.r[i]);
    }
    static V zero() {
        return each([](size_t) { return _mm_setzero_si128(); });
    }
    static V ones() {
        return each([](size_t) { return _mm_set1_epi32(-1); });
    }
    static V splat(size_t k) {
        return each([k](size_t) {
            if constexpr (Bits == 8) return _mm_set1_epi8(static_cast<char>(k));
            if constexpr (Bits == 16) return _mm_set1_epi16(static_cast<short>(k));
            if constexpr (Bits == 32) return _mm_set1_epi32(static_cast<int>(k));
            if constexpr (Bits == 64) return _mm_set1_epi64x(static_cast<long long>(k));
        });
    }
    static V one() { return splat(1); }

    static V and_(const V& a, const V& b) {
        return each([&](size_t i) { return _mm_and_si128(a.r[i], b.r[i]); });
    }
    static V or_(const V& a, const V& b) {
        return each([&](size_t i) { return _mm_or_si128(a.r[i], b.r[i]); });
    }
    static V xor_(const V& a, const V& b) {
        return each([&](size_t i) { return _mm_xor_si128(a.r[i], b.r[i]); });
    }
    static V andnot(const V& a, const V& b) {
        return each([&](size_t i) { return _mm_andnot_si128(a.r[i], b.r[i]); });
    }
    static V add(const V& a, const V& b) {
        return each([&](size_t i) {
            if constexpr (Bits == 8) return _mm_add_epi8(a.r[i], b.r[i]);
            if constexpr (Bits == 16) return _mm_add_epi16(a.r[i], b.r[i]);
            if constexpr (Bits == 32) return _mm_add_epi32(a.r[i], b.r[i]);
            if constexpr (Bits == 64) return _mm_add_epi64(a.r[i], b.r[i]);
        });
    }
    static V sub(const V& a, const V& b) {
        return each([&](size_t i) {
            if constexpr (Bits == 8) return _mm_sub_epi8(a.r[i], b.r[i]);
            if constexpr (Bits == 16) return _mm_sub_epi16(a.r[i], b.r[i]);
            if constexpr (Bits == 32) return _mm_sub_epi32(a.r[i], b.r[i]);
            if constexpr (Bits == 64) return _mm_sub_epi64(a.r[i], b.r[i]);
        });
    }
    static V eq_zero(const V& a) {
        const __m128i z = _mm_setzero_si128();
        return each([&](size_t i) {
            if constexpr (Bits == 8) return _mm_cmpeq_epi8(a.r[i], z);
            if constexpr (Bits == 16) return _mm_cmpeq_epi16(a.r[i], z);
            if constexpr (Bits == 32) return _mm_cmpeq_epi32(a.r[i], z);
            if constexpr (Bits == 64) return _mm_cmpeq_epi64(a.r[i], z);
        });
    }
    static V gt(const V& a, const V& b) {
        return each([&](size_t i) {
            if constexpr (Bits == 8) return _mm_cmpgt_epi8(a.r[i], b.r[i]);
            if constexpr (Bits == 16) return _mm_cmpgt_epi16(a.r[i], b.r[i]);
            if constexpr (Bits == 32) return _mm_cmpgt_epi32(a.r[i], b.r[i]);
            if constexpr (Bits == 64) return _mm_cmpgt_epi64(a.r[i], b.r[i]);
        });
    }
};

}  // namespace

extern constinit const LaneKernels kSseLanes = lane_kernels_of<SseOps>("sse4.2");

}  // namespace qx::simd

#endif
