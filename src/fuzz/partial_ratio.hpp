// Partial ratio: the best ratio of the shorter text against windows of the longer one.
#pragma once

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

double partial_ratio(Text s1, Text s2, FloatCutoff cutoff);

// The best window score of the partial ratio, before any cutoff is applied.
double partial_ratio_best(Text a, Text b);

}  // namespace qx
