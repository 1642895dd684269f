// Hamming measures: positions at which two texts of equal length (in code points) differ.
// Texts of different lengths have no value (std::nullopt).
#pragma once

#include <cstdint>
#include <optional>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

std::optional<uint64_t> hamming_distance(Text s1, Text s2, IntCutoff cutoff);
std::optional<uint64_t> hamming_similarity(Text s1, Text s2, IntCutoff cutoff);
std::optional<double> hamming_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
std::optional<double> hamming_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

}  // namespace qx
