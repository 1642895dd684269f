// The integer alignment sweep on AVX2: sixteen 16-bit or eight 32-bit cells a vector. This
// file alone is compiled with -mavx2 (CMakeLists.txt) and runs only where cpu_dispatch.cpp has
// found AVX2.
#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "alignment_lanes.hpp"

namespace qx::simd {

namespace {

template <class Lane>
struct Avx2Ops {
    using T = Lane;
    using V = __m256i;
    static constexpr bool k16 = sizeof(T) == 2;
    static constexpr size_t kLanes = 32 / sizeof(T);
    static constexpr size_t kHalfLanes = kLanes / 2;

    static V splat(T x) { return k16 ? _mm256_set1_epi16(x) : _mm256_set1_epi32(x); }
    static V zero() { return _mm256_setzero_si256(); }
    static V load(const T* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void store(T* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static V add(V x, V y) { return k16 ? _mm256_add_epi16(x, y) : _mm256_add_epi32(x, y); }
    static V sub(V x, V y) { return k16 ? _mm256_sub_epi16(x, y) : _mm256_sub_epi32(x, y); }
    static V max(V x, V y) { return k16 ? _mm256_max_epi16(x, y) : _mm256_max_epi32(x, y); }
    static V and_(V x, V y) { return _mm256_and_si256(x, y); }
    static V blend(V mask, V if_set, V if_clear) { return _mm256_blendv_epi8(if_clear, if_set, mask); }
    static V eq(V x, V y) { return k16 ? _mm256_cmpeq_epi16(x, y) : _mm256_cmpeq_epi32(x, y); }
    static V gt(V x, V y) { return k16 ? _mm256_cmpgt_epi16(x, y) : _mm256_cmpgt_epi32(x, y); }
    static V load_columns(const T* p, size_t lag) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + lag));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
    }
    // [top's first half, older's first half]: per half, the last lane enters the half.
    static V upper(V top, V older) { return _mm256_permute2x128_si256(top, older, 0x20); }
    static V shift_in(V v, V entering) { return _mm256_alignr_epi8(v, entering, 16 - sizeof(T)); }
    static T hmax(V v) {
        __m128i h = _mm256_castsi256_si128(v);
        __m128i l = _mm256_extracti128_si256(v, 1);
        h = k16 ? _mm_max_epi16(h, l) : _mm_max_epi32(h, l);
        auto m = [](__m128i x, __m128i y) { return k16 ? _mm_max_epi16(x, y) : _mm_max_epi32(x, y); };
        h = m(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(1, 0, 3, 2)));
        h = m(h, _mm_shuffle_epi32(h, _MM_SHUFFLE(2, 3, 0, 1)));
        if (k16) h = m(h, _mm_srli_epi32(h, 16));
        return k16 ? static_cast<T>(_mm_extract_epi16(h, 0)) : static_cast<T>(_mm_cvtsi128_si32(h));
    }
};

}  // namespace

extern const AlignmentKernels kAvx2Alignment = {"avx2", &sweep<Avx2Ops<int16_t>>,
                                                &sweep<Avx2Ops<int32_t>>, 16, 8};

}  // namespace qx::simd

#endif
