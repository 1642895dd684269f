// Partial token ratios: the window search of the partial ratio on texts rebuilt from their
// sorted words, or from the words that they do not share.
#pragma once

#include "../cutoff.hpp"
#include "../text.hpp"
#include "token_set.hpp"

namespace qx {

double partial_token_sort_ratio(Text s1, Text s2, FloatCutoff cutoff);
double partial_token_set_ratio(Text s1, Text s2, FloatCutoff cutoff);
// The larger of the sorted-word and distinct-word window searches; 100 on a shared word.
double partial_token_ratio(Text s1, Text s2, FloatCutoff cutoff);
// The partial token ratio with the first text's words sorted beforehand (a prepared query).
double partial_token_ratio_sorted(const SortedWords& s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
