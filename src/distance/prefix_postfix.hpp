// Common prefix and common suffix measures, in code points.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

uint64_t prefix_similarity(Text s1, Text s2, IntCutoff cutoff);
uint64_t prefix_distance(Text s1, Text s2, IntCutoff cutoff);
double prefix_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double prefix_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

uint64_t postfix_similarity(Text s1, Text s2, IntCutoff cutoff);
uint64_t postfix_distance(Text s1, Text s2, IntCutoff cutoff);
double postfix_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double postfix_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
