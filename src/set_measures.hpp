// Overlap measures over the word multisets of two texts: Jaccard, Sørensen-Dice, Tversky and
// the overlap coefficient. Words are split at Unicode White_Space and compared by their code points.
#pragma once

#include "cutoff.hpp"
#include "text.hpp"

namespace qx {

double jaccard_similarity(Text s1, Text s2, FloatCutoff cutoff);
double jaccard_distance(Text s1, Text s2, FloatCutoff cutoff);

double sorensen_dice_similarity(Text s1, Text s2, FloatCutoff cutoff);
double sorensen_dice_distance(Text s1, Text s2, FloatCutoff cutoff);

// alpha weighs the words only the first text has, beta those only the second has; any values
// are accepted (zero or negative weights give results outside 0.0 to 1.0).
double tversky_similarity(Text s1, Text s2, double alpha, double beta, FloatCutoff cutoff);
double tversky_distance(Text s1, Text s2, double alpha, double beta, FloatCutoff cutoff);

double overlap_similarity(Text s1, Text s2, FloatCutoff cutoff);
double overlap_distance(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
