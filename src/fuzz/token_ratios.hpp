// Token sort ratio, token set ratio and token ratio: the ratio of texts rebuilt from their
// sorted words, or from the words that they share and do not share.
#pragma once

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

double token_sort_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double token_set_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
// The larger of the token sort ratio and the token set ratio, from one split and partition.
double token_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
