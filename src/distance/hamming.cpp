#include "hamming.hpp"

#include <cstring>

namespace qx {

namespace {

// Number of differing positions and the common length, or nothing for unequal lengths.
struct Mismatches {
    uint64_t count;
    uint64_t length;
};

// Number of non-zero bytes of a word.
inline uint64_t nonzero_bytes(uint64_t v) {
    constexpr uint64_t kLow = 0x0101010101010101ULL;
    v |= v >> 4;
    v |= v >> 2;
    v |= v >> 1;
    return static_cast<uint64_t>(__builtin_popcountll(v & kLow));
}

// Differing bytes of two byte strings of length n, sixteen bytes per step.
uint64_t differing_bytes(const char* a, const char* b, size_t n) {
    uint64_t count = 0;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        uint64_t x[2], y[2];
        std::memcpy(x, a + i, 16);
        std::memcpy(y, b + i, 16);
        count += nonzero_bytes(x[0] ^ y[0]) + nonzero_bytes(x[1] ^ y[1]);
    }
    for (; i < n; ++i) count += a[i] != b[i];
    return count;
}

std::optional<Mismatches> mismatches(Utf8 s1, Utf8 s2) {
    if (same_bytes(s1, s2)) return Mismatches{0, count_symbols(s1)};
    if (is_ascii(s1) && is_ascii(s2)) {
        if (s1.size() != s2.size()) return std::nullopt;
        return Mismatches{differing_bytes(s1.data(), s2.data(), s1.size()), s1.size()};
    }
    // Code points: equal counts first, then one decoding walk over both texts.
    size_t n = count_symbols(s1);
    if (n != count_symbols(s2)) return std::nullopt;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s1.data());
    const unsigned char* q = reinterpret_cast<const unsigned char*>(s2.data());
    uint64_t count = 0;
    for (size_t i = 0; i < n; ++i) count += decode_one(p) != decode_one(q);
    return Mismatches{count, n};
}

// Normalized distance without a cutoff.
std::optional<double> normalized(Utf8 s1, Utf8 s2) {
    if (s1.empty() && s2.empty()) return 0.0;
    if (same_bytes(s1, s2)) return 0.0;
    std::optional<Mismatches> m = mismatches(s1, s2);
    if (!m) return std::nullopt;
    return static_cast<double>(m->count) / static_cast<double>(m->length);
}

}  // namespace

std::optional<uint64_t> hamming_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    std::optional<Mismatches> m = mismatches(s1, s2);
    if (!m) return std::nullopt;
    return cut_distance(m->count, cutoff);
}

std::optional<uint64_t> hamming_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    std::optional<Mismatches> m = mismatches(s1, s2);
    if (!m) return std::nullopt;
    return cut_similarity(m->length - m->count, cutoff);
}

std::optional<double> hamming_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    // Empty and byte-identical texts are 0.0 whatever the cutoff.
    if (s1.empty() && s2.empty()) return 0.0;
    if (same_bytes(s1, s2)) return 0.0;
    std::optional<double> n = normalized(s1, s2);
    if (!n) return std::nullopt;
    return cut_distance(*n, cutoff);
}

std::optional<double> hamming_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    std::optional<double> n = normalized(s1, s2);
    if (!n) return std::nullopt;
    return similarity_from_distance(*n, cutoff);
}

}  // namespace qx
