// Hamming measures: positions at which two texts of equal length (in code points) differ.
// Texts of different lengths have no value (std::nullopt).
#pragma once

#include <cstdint>
#include <optional>

#include "../cutoff.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

std::optional<uint64_t> hamming_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff);
std::optional<uint64_t> hamming_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff);
std::optional<double> hamming_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff);
std::optional<double> hamming_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff);

}  // namespace qx
