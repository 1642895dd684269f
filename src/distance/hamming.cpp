#include "hamming.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

#include "../interrupt.hpp"

namespace qx {

namespace {

// Number of non-zero T-sized units of a word.
template <class T>
inline uint64_t nonzero_units(uint64_t v) {
    // Fold each unit onto its lowest bit, halving the width each time; only bits of the unit
    // itself reach its lowest bit.
    if constexpr (sizeof(T) >= 4) v |= v >> 16;
    if constexpr (sizeof(T) >= 2) v |= v >> 8;
    v |= v >> 4;
    v |= v >> 2;
    v |= v >> 1;
    constexpr uint64_t kLowest = sizeof(T) == 1   ? 0x0101010101010101ULL
                                 : sizeof(T) == 2 ? 0x0001000100010001ULL
                                                  : 0x0000000100000001ULL;
    return static_cast<uint64_t>(std::popcount(v & kLowest));
}

// Differing positions of two sequences of the same length.
template <class A, class B>
uint64_t differing(std::span<const A> a, std::span<const B> b) {
    if constexpr (std::is_same_v<A, B>) {
        // Sixteen bytes per step.
        constexpr size_t kStep = 16 / sizeof(A);
        const size_t n = a.size();
        uint64_t count = 0;
        size_t i = 0;
        for (; i + kStep <= n; i += kStep) {
            uint64_t x[2], y[2];
            std::memcpy(x, a.data() + i, 16);
            std::memcpy(y, b.data() + i, 16);
            count += nonzero_units<A>(x[0] ^ y[0]) + nonzero_units<A>(x[1] ^ y[1]);
        }
        for (; i < n; ++i) count += a[i] != b[i];
        return count;
    } else {
        uint64_t count = 0;
        for (size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
        return count;
    }
}

// Number of differing positions and the common length.
struct Mismatches {
    uint64_t count;
    uint64_t length;
};

std::optional<Mismatches> mismatches(Text s1, Text s2) {
    if (s1.length != s2.length) return std::nullopt;
    // In chunks, polling for interruption between them: texts may be of any length.
    constexpr size_t kChunk = PollBudget::kCells;
    uint64_t count = 0;
    for (size_t begin = 0; begin < s1.length; begin += kChunk) {
        const size_t n = std::min(kChunk, s1.length - begin);
        count += visit(s1.sub(begin, n), s2.sub(begin, n),
                       [](auto a, auto b) { return differing(a, b); });
        if (begin + n < s1.length) poll_interrupt();
    }
    return Mismatches{count, s1.length};
}

// Normalized distance without a cutoff.
std::optional<double> normalized(Text s1, Text s2) {
    if (s1.empty() && s2.empty()) return 0.0;
    if (same_text(s1, s2)) return 0.0;
    std::optional<Mismatches> m = mismatches(s1, s2);
    if (!m) return std::nullopt;
    return static_cast<double>(m->count) / static_cast<double>(m->length);
}

}  // namespace

std::optional<uint64_t> hamming_distance(Text s1, Text s2, IntCutoff cutoff) {
    std::optional<Mismatches> m = mismatches(s1, s2);
    if (!m) return std::nullopt;
    return cut_distance(m->count, cutoff);
}

std::optional<uint64_t> hamming_similarity(Text s1, Text s2, IntCutoff cutoff) {
    std::optional<Mismatches> m = mismatches(s1, s2);
    if (!m) return std::nullopt;
    return cut_similarity(m->length - m->count, cutoff);
}

std::optional<double> hamming_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    // Empty and identical texts are 0.0 whatever the cutoff.
    if (s1.empty() && s2.empty()) return 0.0;
    if (same_text(s1, s2)) return 0.0;
    std::optional<double> n = normalized(s1, s2);
    if (!n) return std::nullopt;
    return cut_distance(*n, cutoff);
}

std::optional<double> hamming_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    std::optional<double> n = normalized(s1, s2);
    if (!n) return std::nullopt;
    return similarity_from_distance(*n, cutoff);
}

}  // namespace qx
