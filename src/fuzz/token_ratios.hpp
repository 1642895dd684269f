// Token sort ratio, token set ratio and token ratio: the ratio of texts rebuilt from their
// sorted words, or from the words that they share and do not share.
#pragma once

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

double token_sort_ratio(Text s1, Text s2, FloatCutoff cutoff);
double token_set_ratio(Text s1, Text s2, FloatCutoff cutoff);
// The larger of the token sort ratio and the token set ratio, from one split and partition.
double token_ratio(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
