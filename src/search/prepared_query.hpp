// One query of a search made ready once for many choices: the kernel family's query-prepared
// class (Levenshtein, Jaro and Jaro-Winkler, Indel and LCS-seq, ratio and q_ratio, token sort
// ratio, weighted ratio) behind the table row's form. Each score equals the row's scalar
// function of (query, choice) under the cutoff. Immutable once built: the threads scoring one
// query's choices may share it. No Python here.
#pragma once

#include <memory>
#include <variant>

#include "../distance/indel_lcs_seq.hpp"
#include "../distance/jaro.hpp"
#include "../distance/levenshtein.hpp"
#include "../fuzz/ratio.hpp"
#include "../fuzz/token_ratios.hpp"
#include "../fuzz/w_ratio.hpp"
#include "row_scorer.hpp"

namespace qx::search {

class PreparedQuery {
  public:
    // Which of the row's forms `score` computes.
    enum class Form : uint8_t {
        levenshtein_distance, levenshtein_similarity, levenshtein_normalized_distance,
        levenshtein_normalized_similarity,
        jaro_similarity, jaro_distance, jaro_normalized_similarity, jaro_normalized_distance,
        jaro_winkler_similarity, jaro_winkler_distance, jaro_winkler_normalized_similarity,
        jaro_winkler_normalized_distance,
        indel_distance, indel_similarity, indel_normalized_distance, indel_normalized_similarity,
        lcs_seq_distance, lcs_seq_similarity, lcs_seq_normalized_distance,
        lcs_seq_normalized_similarity,
        ratio, q_ratio, token_sort_ratio, w_ratio,
    };

    // Whether the row has a prepared form; when it does, sets `form`.
    static bool form_of(const Row& row, Form& form);

    // The prepared query of `query` for the scorer's row, or null when the row has none. The
    // query's text must outlive the object. Throws std::bad_alloc.
    static std::unique_ptr<PreparedQuery> make(const RowScorer& scorer, Text query);

    PreparedQuery(Form form, Text query, const Options& options);
    PreparedQuery(const PreparedQuery&) = delete;
    PreparedQuery& operator=(const PreparedQuery&) = delete;

    // The scalar function's value of (query, choice) under `cutoff`; always present.
    Score score(Text choice, const Cutoff& cutoff) const;

  private:
    Form form_;
    double prefix_weight_ = 0.0;
    std::variant<std::monostate, LevenshteinQuery, JaroQuery, LcsMeasuresQuery, RatioQuery,
                 TokenSortQuery, WRatioQuery>
        query_;
};

}  // namespace qx::search
