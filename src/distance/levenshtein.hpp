// Levenshtein measures: unit-cost insertions, deletions and substitutions, in code points.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

// Levenshtein distance of two texts. When `max` is given, any result above it may be
// reported as an arbitrary value above `max` (the computation may stop early); results
// at or below `max` are exact.
uint64_t levenshtein(Utf8 s1, Utf8 s2, uint64_t max = ~uint64_t{0});

uint64_t levenshtein_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff);
uint64_t levenshtein_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff);
double levenshtein_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double levenshtein_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
