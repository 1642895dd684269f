// Token sort ratio, token set ratio and token ratio: the ratio of texts rebuilt from their
// sorted words, or from the words that they share and do not share.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../small_vector.hpp"
#include "../text.hpp"
#include "token_set.hpp"

namespace qx {

double token_sort_ratio(Text s1, Text s2, FloatCutoff cutoff);
double token_set_ratio(Text s1, Text s2, FloatCutoff cutoff);
// The larger of the token sort ratio and the token set ratio, from one split and partition.
double token_ratio(Text s1, Text s2, FloatCutoff cutoff);
// The token ratio with the first text's words sorted beforehand (a prepared query).
double token_ratio_sorted(const SortedWords& s1, Text s2, FloatCutoff cutoff);

// A query's sorted words, split, sorted and joined once, for scoring many choices against it
// with token_sort_ratio (the query as first text). Immutable after construction: score() may
// run on several threads at once. The query's text must outlive the object. Gives exactly
// token_sort_ratio(query, choice, cutoff).
class TokenSortQuery {
  public:
    explicit TokenSortQuery(Text query);
    TokenSortQuery(const TokenSortQuery&) = delete;
    TokenSortQuery& operator=(const TokenSortQuery&) = delete;

    double score(Text choice, FloatCutoff cutoff) const;

  private:
    Text query_;
    Text joined_;                      // the sorted words joined by single spaces
    SmallVector<uint32_t, 64> store_;  // units of joined_ when they are not a view of query_
};

}  // namespace qx
