// Unrestricted Damerau-Levenshtein distance: insertions, deletions, substitutions and
// transpositions of adjacent symbols, where transposed symbols may be edited again.
// All lengths are in code points.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// The distance without any cutoff.
uint64_t damerau_levenshtein_plain_distance(Text s1, Text s2);

uint64_t damerau_levenshtein_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t damerau_levenshtein_similarity(Text s1, Text s2, IntCutoff cutoff);
double damerau_levenshtein_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double damerau_levenshtein_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
