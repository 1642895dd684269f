#include "prefix_postfix.hpp"

#include <algorithm>
#include <cstring>

namespace qx {

namespace {

inline bool is_continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Length in bytes of the longest common byte prefix.
size_t common_prefix_bytes(Utf8 a, Utf8 b) {
    size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) return i + static_cast<size_t>(__builtin_ctzll(x ^ y) / 8);
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// Length in bytes of the longest common byte suffix.
size_t common_suffix_bytes(Utf8 a, Utf8 b) {
    size_t n = std::min(a.size(), b.size());
    const char* ea = a.data() + a.size();
    const char* eb = b.data() + b.size();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, ea - i - 8, 8);
        std::memcpy(&y, eb - i - 8, 8);
        if (x != y) return i + static_cast<size_t>(__builtin_clzll(x ^ y) / 8);
    }
    while (i < n && ea[-1 - static_cast<ptrdiff_t>(i)] == eb[-1 - static_cast<ptrdiff_t>(i)]) ++i;
    return i;
}

template <size_t (*Shared)(Utf8, Utf8)>
double normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    size_t m = std::max(count_symbols(s1), count_symbols(s2));
    if (m == 0) return 0.0;
    size_t shared = s1.empty() ? 0 : Shared(s1, s2);
    double value = static_cast<double>(m - shared) / static_cast<double>(m);
    return cut_distance(value, cutoff);
}

template <size_t (*Shared)(Utf8, Utf8)>
uint64_t distance(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    size_t m = std::max(count_symbols(s1), count_symbols(s2));
    return cut_distance(static_cast<uint64_t>(m - Shared(s1, s2)), cutoff);
}

template <size_t (*Shared)(Utf8, Utf8)>
uint64_t similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    if (s1.empty()) return 0;
    return cut_similarity(static_cast<uint64_t>(Shared(s1, s2)), cutoff);
}

}  // namespace

size_t common_prefix_symbols(Utf8 s1, Utf8 s2) {
    size_t k = common_prefix_bytes(s1, s2);
    // A mismatch inside a code point: the shared lead byte starts it in both texts.
    while (k > 0 && k < s1.size() && is_continuation(s1[k])) --k;
    return count_symbols(s1.substr(0, k));
}

size_t common_suffix_symbols(Utf8 s1, Utf8 s2) {
    size_t k = common_suffix_bytes(s1, s2);
    // Only whole code points count: skip the tail of a code point that differs before it.
    while (k > 0 && is_continuation(s1[s1.size() - k])) --k;
    return count_symbols(s1.substr(s1.size() - k));
}

uint64_t prefix_similarity(Utf8 s1, Utf8 s2, IntCutoff c) {
    return similarity<common_prefix_symbols>(s1, s2, c);
}
uint64_t prefix_distance(Utf8 s1, Utf8 s2, IntCutoff c) {
    return distance<common_prefix_symbols>(s1, s2, c);
}
double prefix_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff c) {
    return normalized_distance<common_prefix_symbols>(s1, s2, c);
}
double prefix_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff c) {
    return similarity_from_distance(normalized_distance<common_prefix_symbols>(s1, s2, {}), c);
}

uint64_t postfix_similarity(Utf8 s1, Utf8 s2, IntCutoff c) {
    return similarity<common_suffix_symbols>(s1, s2, c);
}
uint64_t postfix_distance(Utf8 s1, Utf8 s2, IntCutoff c) {
    return distance<common_suffix_symbols>(s1, s2, c);
}
double postfix_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff c) {
    return normalized_distance<common_suffix_symbols>(s1, s2, c);
}
double postfix_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff c) {
    return similarity_from_distance(normalized_distance<common_suffix_symbols>(s1, s2, {}), c);
}

}  // namespace qx
