// Ratio (0 to 100 from the longest common subsequence of the whole texts) and quick ratio.
#pragma once

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

double ratio(Text s1, Text s2, FloatCutoff cutoff);
// As ratio, but 0.0 when either text is empty.
double q_ratio(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
