// Alignment scores with a linear gap cost over code points: the best local alignment
// (Smith-Waterman recurrence) and the global alignment (Needleman-Wunsch recurrence).
// Every maximum passes a NaN operand over in favour of the other one.
#pragma once

#include <optional>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

namespace simd {
struct AlignmentKernels;
}

// Largest cell of the local-alignment matrix (0.0 when either text is empty); a score below
// the cutoff becomes 0.0.
double smith_waterman_score(Text s1, Text s2, double match_score, double mismatch_score,
                            double gap_cost, FloatCutoff cutoff);
// Local score / (match_score * shorter length), kept within 0.0 to 1.0.
double smith_waterman_normalized_similarity(Text s1, Text s2, double match_score,
                                            double mismatch_score, double gap_cost,
                                            FloatCutoff cutoff);

// Last cell of the global-alignment matrix; a score below the cutoff becomes the most negative
// finite double.
double needleman_wunsch_score(Text s1, Text s2, double match_score, double mismatch_score,
                              double gap_cost, FloatCutoff cutoff);
// (gap_cost * maxlen + score) / (2 * match_score * maxlen), kept within 0.0 to 1.0.
double needleman_wunsch_normalized_similarity(Text s1, Text s2, double match_score,
                                              double mismatch_score, double gap_cost,
                                              FloatCutoff cutoff);

// The local (or global) score of two non-empty texts computed in the integer lanes of
// `kernels`, or nothing when the parameters and lengths leave the pair to the double
// recurrence. For tests that hold every variant to the reference.
std::optional<double> integer_alignment_score(Text s1, Text s2, double match_score,
                                              double mismatch_score, double gap_cost, bool local,
                                              const simd::AlignmentKernels& kernels);

}  // namespace qx
