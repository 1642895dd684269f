#include "indel_lcs_seq.hpp"

#include <algorithm>

#include "../lcs_core.hpp"

namespace qx {

namespace {

// Symbol counts of both texts and the length of their longest common subsequence, in the
// byte alphabet when both texts are ASCII and in scalar values otherwise.
struct LcsCounts {
    uint64_t len1;
    uint64_t len2;
    uint64_t lcs;
};

LcsCounts measure(Utf8 s1, Utf8 s2) {
    if (is_ascii(s1) && is_ascii(s2))
        return {s1.size(), s2.size(), lcs_bytes(bytes_of(s1), bytes_of(s2))};
    const size_t len1 = count_symbols(s1), len2 = count_symbols(s2);
    return {len1, len2, lcs_unicode(s1, s2, len1, len2)};
}

}  // namespace

uint64_t indel_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    if (same_bytes(s1, s2)) return 0;
    LcsCounts c = measure(s1, s2);
    return cut_distance(c.len1 + c.len2 - 2 * c.lcs, cutoff);
}

uint64_t indel_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    // Identical texts score their full length whatever the cutoff.
    if (same_bytes(s1, s2)) return 2 * static_cast<uint64_t>(count_symbols(s1));
    return cut_similarity(2 * measure(s1, s2).lcs, cutoff);
}

double indel_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (same_bytes(s1, s2)) return 0.0;
    LcsCounts c = measure(s1, s2);
    uint64_t total = c.len1 + c.len2;
    if (total == 0) return 0.0;
    double value = static_cast<double>(total - 2 * c.lcs) / static_cast<double>(total);
    return cut_distance(value, cutoff);
}

double indel_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return similarity_from_distance(indel_normalized_distance(s1, s2, std::nullopt), cutoff);
}

uint64_t lcs_seq_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    if (same_bytes(s1, s2)) return 0;
    LcsCounts c = measure(s1, s2);
    return cut_distance(std::max(c.len1, c.len2) - c.lcs, cutoff);
}

uint64_t lcs_seq_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    return cut_similarity(measure(s1, s2).lcs, cutoff);
}

double lcs_seq_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (same_bytes(s1, s2)) return 0.0;
    LcsCounts c = measure(s1, s2);
    uint64_t longest = std::max(c.len1, c.len2);
    if (longest == 0) return 0.0;
    double value = static_cast<double>(longest - c.lcs) / static_cast<double>(longest);
    return cut_distance(value, cutoff);
}

double lcs_seq_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return similarity_from_distance(lcs_seq_normalized_distance(s1, s2, std::nullopt), cutoff);
}

}  // namespace qx
