// Indel distance (insertions and deletions only) and LCS-sequence measures, read off the
// length of the longest common subsequence.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

uint64_t indel_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t indel_similarity(Text s1, Text s2, IntCutoff cutoff);
double indel_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double indel_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

uint64_t lcs_seq_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t lcs_seq_similarity(Text s1, Text s2, IntCutoff cutoff);
double lcs_seq_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double lcs_seq_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
