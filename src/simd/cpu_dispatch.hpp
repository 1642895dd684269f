// The one place that decides which instruction set the lane kernels use: the CPU's features
// are read once (cpuid), and the kernels come from a small table of the variants.
#pragma once

#include <cstdint>

#include "lane_layout.hpp"

namespace qx::simd {

// Instruction sets with lane kernels, each a superset of the one before.
enum class Isa : uint8_t { scalar, sse42, avx2 };

// The best instruction set of this CPU (and operating system, for the AVX registers).
Isa detected_isa();

// The instruction set the kernels use: the detected one, or a lower one named by the
// environment variable QUORVALEX_SIMD (scalar, sse4.2, avx2) when the process starts.
Isa active_isa();

// Whether this CPU can run `isa`.
bool isa_supported(Isa isa);

// The kernels of `isa` (precondition: isa_supported(isa)), and those of active_isa().
const LaneKernels& lane_kernels(Isa isa);
const LaneKernels& active_lane_kernels();

}  // namespace qx::simd
