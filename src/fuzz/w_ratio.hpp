// Weighted ratio: picks scorers by the length proportion of the texts and returns the best
// scaled score.
#pragma once

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

double w_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
