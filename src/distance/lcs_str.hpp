// Longest common substring measures, in code points.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// Length of the longest run of consecutive symbols that occurs in both texts.
uint64_t longest_common_substring(Text s1, Text s2);

uint64_t lcs_str_similarity(Text s1, Text s2, IntCutoff cutoff);
uint64_t lcs_str_distance(Text s1, Text s2, IntCutoff cutoff);
double lcs_str_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);
double lcs_str_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
