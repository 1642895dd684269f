// Partial ratio: the best ratio of the shorter text against windows of the longer one.
#pragma once

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

double partial_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

// The best window score of the partial ratio, before any cutoff is applied.
double partial_ratio_best(Utf8 a, Utf8 b);

}  // namespace qx
