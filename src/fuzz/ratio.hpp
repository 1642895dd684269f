// Ratio (0 to 100 from the longest common subsequence of the whole texts) and quick ratio.
#pragma once

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

double ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
// As ratio, but 0.0 when either text is empty.
double q_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
