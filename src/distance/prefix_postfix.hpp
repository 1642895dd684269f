// Common prefix and common suffix measures, in code points.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

// Number of leading code points the texts share.
size_t common_prefix_symbols(Utf8 s1, Utf8 s2);
// Number of trailing code points the texts share.
size_t common_suffix_symbols(Utf8 s1, Utf8 s2);

uint64_t prefix_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff);
uint64_t prefix_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff);
double prefix_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double prefix_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

uint64_t postfix_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff);
uint64_t postfix_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff);
double postfix_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double postfix_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
