// The integer alignment sweep on SSE4.2: eight 16-bit or four 32-bit cells a vector. This file
// alone is compiled with -msse4.2 (CMakeLists.txt) and runs only where cpu_dispatch.cpp has
// found SSE4.2.
#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "alignment_lanes.hpp"

namespace qx::simd {

namespace {

template <class Lane>
struct SseOps {
    using T = Lane;
    using V = __m128i;
    static constexpr bool k16 = sizeof(T) == 2;
    static constexpr size_t kLanes = 16 / sizeof(T);
    static constexpr size_t kHalfLanes = kLanes;

    static V splat(T x) { return k16 ? _mm_set1_epi16(x) : _mm_set1_epi32(x); }
    static V zero() { return _mm_setzero_si128(); }
    static V load(const T* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void store(T* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static V add(V x, V y) { return k16 ? _mm_add_epi16(x, y) : _mm_add_epi32(x, y); }
    static V sub(V x, V y) { return k16 ? _mm_sub_epi16(x, y) : _mm_sub_epi32(x, y); }
    static V max(V x, V y) { return k16 ? _mm_max_epi16(x, y) : _mm_max_epi32(x, y); }
    static V and_(V x, V y) { return _mm_and_si128(x, y); }
    static V blend(V mask, V if_set, V if_clear) { return _mm_blendv_epi8(if_clear, if_set, mask); }
    static V eq(V x, V y) { return k16 ? _mm_cmpeq_epi16(x, y) : _mm_cmpeq_epi32(x, y); }
    static V gt(V x, V y) { return k16 ? _mm_cmpgt_epi16(x, y) : _mm_cmpgt_epi32(x, y); }
    static V load_columns(const T* p, size_t) { return load(p); }
    static V upper(V top, V) { return top; }
    static V shift_in(V v, V entering) { return _mm_alignr_epi8(v, entering, 16 - sizeof(T)); }
    static T hmax(V v) {
        v = max(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
        v = max(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
        if (k16) v = max(v, _mm_srli_epi32(v, 16));
        return k16 ? static_cast<T>(_mm_extract_epi16(v, 0)) : static_cast<T>(_mm_cvtsi128_si32(v));
    }
};

}  // namespace

extern const AlignmentKernels kSseAlignment = {"sse4.2", &sweep<SseOps<int16_t>>,
                                               &sweep<SseOps<int32_t>>, 8, 4};

}  // namespace qx::simd

#endif
