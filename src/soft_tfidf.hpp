// Soft TF-IDF over the words of two texts: unit-length term-count vectors, each word of the
// first text paired with its most similar word of the second (a Jaro-Winkler variant) when the
// pair reaches the threshold. Only the two texts are seen, so there is no IDF factor.
#pragma once

#include "cutoff.hpp"
#include "text.hpp"

namespace qx {

// Token similarity: Jaro boosted by 0.1 per shared leading code point (at most four), for
// every Jaro value; 1.0 for equal words.
double soft_tfidf_token_similarity(Text a, Text b);

// Results are not clamped: several words of s1 may pair with the same word of s2.
double soft_tfidf_similarity(Text s1, Text s2, double threshold, FloatCutoff cutoff);
double soft_tfidf_distance(Text s1, Text s2, double threshold, FloatCutoff cutoff);

}  // namespace qx
