// Weighted ratio: picks scorers by the length proportion of the texts and returns the best
// scaled score.
#pragma once

#include "../cutoff.hpp"
#include "../text.hpp"
#include "token_scores.hpp"
#include "token_set.hpp"

namespace qx {

double w_ratio(Text s1, Text s2, FloatCutoff cutoff);

// A query prepared once (its sorted words, its form for the character-level scorers) for
// scoring many choices against it with the weighted ratio (the query as first text).
// Immutable after construction: score() may run on several threads at once. The query's text
// must outlive the object. Gives exactly w_ratio(query, choice, cutoff).
class WRatioQuery {
  public:
    explicit WRatioQuery(Text query);
    WRatioQuery(const WRatioQuery&) = delete;
    WRatioQuery& operator=(const WRatioQuery&) = delete;

    double score(Text choice, FloatCutoff cutoff) const;

  private:
    Text query_;
    SortedWords words_;
};

}  // namespace qx
