// Indel distance (insertions and deletions only) and LCS-sequence measures, read off the
// length of the longest common subsequence.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

uint64_t indel_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff);
uint64_t indel_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff);
double indel_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double indel_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

uint64_t lcs_seq_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff);
uint64_t lcs_seq_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff);
double lcs_seq_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double lcs_seq_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
