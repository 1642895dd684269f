#include "cpu_dispatch.hpp"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define QX_SIMD_X86 1
#endif

namespace qx::simd {

// Each variant lives in a file of its own, compiled for its instruction set only.
extern const LaneKernels kScalarLanes;  // lanes_scalar.cpp
#ifdef QX_SIMD_X86
extern const LaneKernels kSseLanes;   // lanes_sse.cpp
extern const LaneKernels kAvx2Lanes;  // lanes_avx2.cpp
#endif

namespace {

#ifdef QX_SIMD_X86
Isa read_cpu() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return Isa::scalar;
    const bool sse42 = (ecx & bit_SSE4_2) != 0;
    if (!sse42) return Isa::scalar;
    // AVX2 needs the CPU flag and an operating system that saves the 256-bit registers
    // (XCR0 bits 1 and 2, readable when OSXSAVE is set).
    const bool os_saves_ymm = [&] {
        if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return false;
        unsigned xcr0_low, xcr0_high;
        __asm__ volatile("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
        return (xcr0_low & 0x6) == 0x6;
    }();
    if (!os_saves_ymm || !__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return Isa::sse42;
    return (ebx & bit_AVX2) ? Isa::avx2 : Isa::sse42;
}
#else
Isa read_cpu() {
    return Isa::scalar;
}
#endif

Isa choose() {
    const Isa best = detected_isa();
    const char* wanted = std::getenv("QUORVALEX_SIMD");
    if (!wanted) return best;
    Isa cap = best;
    if (std::strcmp(wanted, "scalar") == 0) cap = Isa::scalar;
    if (std::strcmp(wanted, "sse4.2") == 0) cap = Isa::sse42;
    return cap < best ? cap : best;
}

}  // namespace

Isa detected_isa() {
    static const Isa isa = read_cpu();
    return isa;
}

Isa active_isa() {
    static const Isa isa = choose();
    return isa;
}

bool isa_supported(Isa isa) {
    return isa <= detected_isa();
}

const LaneKernels& lane_kernels(Isa isa) {
    switch (isa) {
#ifdef QX_SIMD_X86
        case Isa::avx2:
            return kAvx2Lanes;
        case Isa::sse42:
            return kSseLanes;
#endif
        default:
            return kScalarLanes;
    }
}

const LaneKernels& active_lane_kernels() {
    static const LaneKernels& kernels = lane_kernels(active_isa());
    return kernels;
}

}  // namespace qx::simd
