// The integer alignment sweep one cell at a time (a strip is one row): the portable variant,
// and the one every vector variant is tested equal to.
#include <type_traits>

#include "alignment_lanes.hpp"

namespace qx::simd {

namespace {

template <class Lane>
struct ScalarOps {
    using T = Lane;
    using V = Lane;
    using U = std::make_unsigned_t<Lane>;
    static constexpr size_t kLanes = 1;
    static constexpr size_t kHalfLanes = 1;

    static V splat(T x) { return x; }
    static V zero() { return 0; }
    static V load(const T* p) { return *p; }
    static void store(T* p, V v) { *p = v; }
    // Wrapping like the vector units (cells outside the matrix may leave the lane's range).
    static V add(V x, V y) { return static_cast<T>(static_cast<U>(x) + static_cast<U>(y)); }
    static V sub(V x, V y) { return static_cast<T>(static_cast<U>(x) - static_cast<U>(y)); }
    static V max(V x, V y) { return x > y ? x : y; }
    static V and_(V x, V y) { return static_cast<T>(x & y); }
    static V blend(V mask, V if_set, V if_clear) { return mask ? if_set : if_clear; }
    static V eq(V x, V y) { return x == y ? T(-1) : T(0); }
    static V gt(V x, V y) { return x > y ? T(-1) : T(0); }
    static T hmax(V v) { return v; }
    static V load_columns(const T* p, size_t) { return *p; }
    static V upper(V top, V) { return top; }
    static V shift_in(V, V entering) { return entering; }
};

}  // namespace

extern const AlignmentKernels kScalarAlignment = {"scalar", &sweep<ScalarOps<int16_t>>,
                                                  &sweep<ScalarOps<int32_t>>, 1, 1};

}  // namespace qx::simd
