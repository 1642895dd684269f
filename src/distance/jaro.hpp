// Jaro and Jaro-Winkler similarity, in code points (bytes when both texts are ASCII).
#pragma once

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

// Jaro similarity without any cutoff: 1.0 for byte-equal texts (two empty ones included),
// 0.0 when exactly one is empty or nothing matches. Picks the byte or code-point path itself.
double jaro_core(Utf8 s1, Utf8 s2);

double jaro_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double jaro_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double jaro_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
double jaro_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

double jaro_winkler_similarity(Utf8 s1, Utf8 s2, double prefix_weight, FloatCutoff cutoff);
double jaro_winkler_distance(Utf8 s1, Utf8 s2, double prefix_weight, FloatCutoff cutoff);
double jaro_winkler_normalized_similarity(Utf8 s1, Utf8 s2, double prefix_weight,
                                          FloatCutoff cutoff);
double jaro_winkler_normalized_distance(Utf8 s1, Utf8 s2, double prefix_weight, FloatCutoff cutoff);

}  // namespace qx
