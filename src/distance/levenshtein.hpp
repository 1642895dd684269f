// Levenshtein measures: unit-cost insertions, deletions and substitutions, in code points.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// Levenshtein distance of two texts. When `max` is given, any result above it may be
// reported as an arbitrary value above `max` (the computation may stop early); results
// at or below `max` are exact.
uint64_t levenshtein(Text s1, Text s2, uint64_t max = ~uint64_t{0});

uint64_t levenshtein_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t levenshtein_similarity(Text s1, Text s2, IntCutoff cutoff);
double levenshtein_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double levenshtein_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
