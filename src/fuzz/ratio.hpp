// Ratio (0 to 100 from the longest common subsequence of the whole texts) and quick ratio.
// The query form builds one text's masks once and scores any number of others, with exactly
// the values of the functions.
#pragma once

#include "../cutoff.hpp"
#include "../lcs_core.hpp"
#include "../text.hpp"

namespace qx {

double ratio(Text s1, Text s2, FloatCutoff cutoff);
// As ratio, but 0.0 when either text is empty.
double q_ratio(Text s1, Text s2, FloatCutoff cutoff);

// The query is s1, the choice s2. Const and safe to share between threads.
class RatioQuery {
  public:
    explicit RatioQuery(Text query) : lcs_(query) {}

    double ratio(Text choice, FloatCutoff cutoff) const;
    double q_ratio(Text choice, FloatCutoff cutoff) const;

  private:
    LcsQuery lcs_;
};

}  // namespace qx
