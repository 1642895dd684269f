// Alignment scores with a linear gap cost over Unicode scalar values: the best local alignment
// (Smith-Waterman recurrence) and the global alignment (Needleman-Wunsch recurrence).
// Every maximum passes a NaN operand over in favour of the other one.
#pragma once

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

// Largest cell of the local-alignment matrix (0.0 when either text is empty); a score below
// the cutoff becomes 0.0.
double smith_waterman_score(Utf8 s1, Utf8 s2, double match_score, double mismatch_score,
                            double gap_cost, FloatCutoff cutoff);
// Local score / (match_score * shorter length), kept within 0.0 to 1.0.
double smith_waterman_normalized_similarity(Utf8 s1, Utf8 s2, double match_score,
                                            double mismatch_score, double gap_cost,
                                            FloatCutoff cutoff);

// Last cell of the global-alignment matrix; a score below the cutoff becomes the most negative
// finite double.
double needleman_wunsch_score(Utf8 s1, Utf8 s2, double match_score, double mismatch_score,
                              double gap_cost, FloatCutoff cutoff);
// (gap_cost * maxlen + score) / (2 * match_score * maxlen), kept within 0.0 to 1.0.
double needleman_wunsch_normalized_similarity(Utf8 s1, Utf8 s2, double match_score,
                                              double mismatch_score, double gap_cost,
                                              FloatCutoff cutoff);

}  // namespace qx
