// Overlap measures over the word multisets of two texts: Jaccard, Sørensen-Dice, Tversky and
// the overlap coefficient. Words are split at Unicode White_Space and compared by their bytes.
#pragma once

#include "cutoff.hpp"
#include "utf8_bridge.hpp"

namespace qx {

double jaccard_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double jaccard_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

double sorensen_dice_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double sorensen_dice_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

// alpha weighs the words only the first text has, beta those only the second has; any values
// are accepted (zero or negative weights give results outside 0.0 to 1.0).
double tversky_similarity(Utf8 s1, Utf8 s2, double alpha, double beta, FloatCutoff cutoff);
double tversky_distance(Utf8 s1, Utf8 s2, double alpha, double beta, FloatCutoff cutoff);

double overlap_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double overlap_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
