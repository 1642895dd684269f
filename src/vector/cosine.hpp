// Cosine measure over token bags: words, or character n-grams of Unicode scalar values.
// The numerator is the size of the bags' multiset intersection, not a dot product.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// The reason no value exists for these options, or nullptr: n-gram mode needs windows of at
// least one symbol. Word mode ignores the size.
const char* cosine_options_error(bool use_words, uint64_t ngram_size);

// Callers reject the options above first; the kernels answer NaN for them.
double cosine_similarity(Text s1, Text s2, bool use_words, uint64_t ngram_size, FloatCutoff cutoff);
double cosine_distance(Text s1, Text s2, bool use_words, uint64_t ngram_size, FloatCutoff cutoff);

}  // namespace qx
