// The integer alignment sweep one cell at a time: the portable variant, and the one every
// vector variant is tested equal to.
#include "alignment_lanes.hpp"

namespace qx::simd {

namespace {

template <class Lane>
struct ScalarOps {
    using T = Lane;
    using V = Lane;
    static constexpr size_t kLanes = 1;

    static V splat(T x) { return x; }
    static V zero() { return 0; }
    static V load(const T* p) { return *p; }
    static void store(T* p, V v) { *p = v; }
    // The sums stay within the lane's range (IntSweep's bound); computed in int to avoid
    // the promotions' surprises, then narrowed back.
    static V add(V x, V y) { return static_cast<T>(x + y); }
    static V sub(V x, V y) { return static_cast<T>(x - y); }
    static V max(V x, V y) { return x > y ? x : y; }
    static V and_(V x, V y) { return static_cast<T>(x & y); }
    static V blend(V mask, V if_set, V if_clear) { return mask ? if_set : if_clear; }
    static V eq(V x, V y) { return x == y ? T(-1) : T(0); }
    static V shift_in(V prev, V) { return prev; }
    static T hmax(V v) { return v; }
};

}  // namespace

extern const AlignmentKernels kScalarAlignment = {"scalar", &sweep<ScalarOps<int16_t>>,
                                                  &sweep<ScalarOps<int32_t>>};

}  // namespace qx::simd
