// Weighted ratio: picks scorers by the length proportion of the texts and returns the best
// scaled score.
#pragma once

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

double w_ratio(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
