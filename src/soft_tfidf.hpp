// Soft TF-IDF over the words of two texts: unit-length term-count vectors, each word of the
// first text paired with its most similar word of the second (a Jaro-Winkler variant) when the
// pair reaches the threshold. Only the two texts are seen, so there is no IDF factor.
#pragma once

#include "cutoff.hpp"
#include "utf8_bridge.hpp"

namespace qx {

// Token similarity: Jaro boosted by 0.1 per shared leading scalar value (at most four), for
// every Jaro value; 1.0 for byte-equal words.
double soft_tfidf_token_similarity(Utf8 a, Utf8 b);

// Results are not clamped: several words of s1 may pair with the same word of s2.
double soft_tfidf_similarity(Utf8 s1, Utf8 s2, double threshold, FloatCutoff cutoff);
double soft_tfidf_distance(Utf8 s1, Utf8 s2, double threshold, FloatCutoff cutoff);

}  // namespace qx
