// Which variant of the integer alignment sweep runs: the one of the instruction set that
// cpu_dispatch.cpp has chosen for every lane kernel.
#include "alignment_dispatch.hpp"

namespace qx::simd {

// Each variant lives in a file of its own, compiled for its instruction set only.
extern const AlignmentKernels kScalarAlignment;  // alignment_scalar.cpp
#if defined(__x86_64__) || defined(__i386__)
extern const AlignmentKernels kSseAlignment;   // alignment_sse.cpp
extern const AlignmentKernels kAvx2Alignment;  // alignment_avx2.cpp
#endif

const AlignmentKernels& alignment_kernels(Isa isa) {
    switch (isa) {
#if defined(__x86_64__) || defined(__i386__)
        case Isa::avx2:
            return kAvx2Alignment;
        case Isa::sse42:
            return kSseAlignment;
#endif
        default:
            return kScalarAlignment;
    }
}

const AlignmentKernels& active_alignment_kernels() {
    static const AlignmentKernels& kernels = alignment_kernels(active_isa());
    return kernels;
}

}  // namespace qx::simd
