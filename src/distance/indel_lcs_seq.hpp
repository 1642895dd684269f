// Indel distance (insertions and deletions only) and LCS-sequence measures, read off the
// length of the longest common subsequence (lcs_core.hpp). The query forms build one text's
// masks once and score any number of others, with exactly the values of the functions.
#pragma once

#include <cstdint>

#include "../cutoff.hpp"
#include "../lcs_core.hpp"
#include "../text.hpp"

namespace qx {

uint64_t indel_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t indel_similarity(Text s1, Text s2, IntCutoff cutoff);
double indel_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double indel_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

uint64_t lcs_seq_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t lcs_seq_similarity(Text s1, Text s2, IntCutoff cutoff);
double lcs_seq_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double lcs_seq_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

// The query is s1, the choice s2: query.indel_distance(choice, c) == indel_distance(query
// text, choice, c), and so on. Const and safe to share between threads.
class LcsMeasuresQuery {
  public:
    explicit LcsMeasuresQuery(Text query) : lcs_(query) {}

    uint64_t indel_distance(Text choice, IntCutoff cutoff) const;
    uint64_t indel_similarity(Text choice, IntCutoff cutoff) const;
    double indel_normalized_distance(Text choice, FloatCutoff cutoff) const;
    double indel_normalized_similarity(Text choice, FloatCutoff cutoff) const;

    uint64_t lcs_seq_distance(Text choice, IntCutoff cutoff) const;
    uint64_t lcs_seq_similarity(Text choice, IntCutoff cutoff) const;
    double lcs_seq_normalized_distance(Text choice, FloatCutoff cutoff) const;
    double lcs_seq_normalized_similarity(Text choice, FloatCutoff cutoff) const;

  private:
    LcsQuery lcs_;
};

}  // namespace qx
