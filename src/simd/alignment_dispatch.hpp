// The variants of the integer alignment sweep (alignment_lanes.hpp), one per instruction set.
#pragma once

#include "alignment_lanes.hpp"
#include "cpu_dispatch.hpp"

namespace qx::simd {

// The sweep of `isa` (precondition: isa_supported(isa)), and that of active_isa().
const AlignmentKernels& alignment_kernels(Isa isa);
const AlignmentKernels& active_alignment_kernels();

}  // namespace qx::simd
