// Longest common substring measures, in code points (bytes when both texts are ASCII).
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

// Length of the longest run of consecutive symbols that occurs in both texts.
uint64_t longest_common_substring(Utf8 s1, Utf8 s2);

uint64_t lcs_str_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff);
uint64_t lcs_str_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff);
double lcs_str_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double lcs_str_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
