// Optimal string alignment distance: Levenshtein with transpositions of adjacent symbols,
// where no substring is edited more than once. All lengths are in code points.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// The distance without any cutoff.
uint64_t osa_plain_distance(Text s1, Text s2);

uint64_t osa_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t osa_similarity(Text s1, Text s2, IntCutoff cutoff);
double osa_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double osa_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
