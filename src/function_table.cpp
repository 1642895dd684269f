// The 112 functions of the module, one row each, in registration order, and the
// per-row wrappers instantiated from the scalar and batch frames.
#include "function_table_registry.hpp"

#include <utility>

#include "alignment/alignment.hpp"
#include "batch.hpp"
#include "call_frame.hpp"
#include "distance/damerau_levenshtein.hpp"
#include "distance/hamming.hpp"
#include "distance/indel_lcs_seq.hpp"
#include "distance/jaro.hpp"
#include "distance/lcs_str.hpp"
#include "distance/levenshtein.hpp"
#include "distance/osa.hpp"
#include "distance/prefix_postfix.hpp"
#include "fuzz/partial_ratio.hpp"
#include "fuzz/partial_token_ratios.hpp"
#include "fuzz/ratio.hpp"
#include "fuzz/token_ratios.hpp"
#include "fuzz/w_ratio.hpp"
#include "set_measures.hpp"
#include "soft_tfidf.hpp"
#include "vector/cosine.hpp"

namespace qx {

namespace {

constexpr Module D = Module::Distance;
constexpr Module F = Module::Fuzz;
constexpr Module T = Module::Top;
constexpr ResultKind Int = ResultKind::Int;
constexpr ResultKind Float = ResultKind::Float;
constexpr ResultKind OptInt = ResultKind::OptInt;
constexpr ResultKind OptFloat = ResultKind::OptFloat;

// Cosine in n-gram mode has no value for windows of size 0.
constexpr OptionCheck cosine_check = [](const Options& o) {
    return cosine_options_error(o.use_words, o.ngram_size);
};

constexpr auto kRows = resolve_batch_rows(std::array<Row, 112>{
    // levenshtein
    row<levenshtein_distance>("levenshtein_distance", D,
                              "Calculate the Levenshtein distance between two strings."),
    row<levenshtein_similarity>("levenshtein_similarity", D,
                                "Calculate the Levenshtein similarity between two strings."),
    row<levenshtein_normalized_distance>(
        "levenshtein_normalized_distance", D,
        "Calculate the normalized Levenshtein distance (0.0 to 1.0)."),
    row<levenshtein_normalized_similarity>(
        "levenshtein_normalized_similarity", D,
        "Calculate the normalized Levenshtein similarity (0.0 to 1.0)."),
    batch("levenshtein_distance_batch", D),
    batch("levenshtein_similarity_batch", D),
    batch("levenshtein_normalized_distance_batch", D),
    batch("levenshtein_normalized_similarity_batch", D),
    // damerau_levenshtein
    row<damerau_levenshtein_distance>("damerau_levenshtein_distance", D,
                                      "Calculate Damerau-Levenshtein distance."),
    row<damerau_levenshtein_similarity>("damerau_levenshtein_similarity", D,
                                        "Calculate Damerau-Levenshtein similarity."),
    row<damerau_levenshtein_normalized_distance>(
        "damerau_levenshtein_normalized_distance", D,
        "Calculate normalized Damerau-Levenshtein distance."),
    row<damerau_levenshtein_normalized_similarity>(
        "damerau_levenshtein_normalized_similarity", D,
        "Calculate normalized Damerau-Levenshtein similarity."),
    batch("damerau_levenshtein_distance_batch", D),
    batch("damerau_levenshtein_normalized_similarity_batch", D),
    // hamming
    row<hamming_distance>("hamming_distance", D, "Calculate Hamming distance"),
    row<hamming_similarity>("hamming_similarity", D, "Calculate Hamming similarity"),
    row<hamming_normalized_distance>("hamming_normalized_distance", D,
                                     "Calculate normalized Hamming distance"),
    row<hamming_normalized_similarity>("hamming_normalized_similarity", D,
                                       "Calculate normalized Hamming similarity"),
    batch("hamming_distance_batch", D),
    batch("hamming_normalized_similarity_batch", D),
    // jaro
    row<jaro_similarity>("jaro_similarity", D, "Calculate Jaro similarity between two strings."),
    row<jaro_distance>("jaro_distance", D, "Calculate Jaro distance (1 - similarity)."),
    row<jaro_normalized_similarity>("jaro_normalized_similarity", D,
                                    "Alias for jaro_similarity (normalized)"),
    row<jaro_normalized_distance>("jaro_normalized_distance", D,
                                  "Alias for jaro_distance (normalized)"),
    batch("jaro_similarity_batch", D),
    batch("jaro_distance_batch", D),
    // jaro_winkler
    row<jaro_winkler_similarity, OptionSet::PrefixWeight>("jaro_winkler_similarity", D,
                                                          "Calculate Jaro-Winkler similarity."),
    row<jaro_winkler_distance, OptionSet::PrefixWeight>(
        "jaro_winkler_distance", D, "Calculate Jaro-Winkler distance (1 - similarity)."),
    row<jaro_winkler_normalized_similarity, OptionSet::PrefixWeight>(
        "jaro_winkler_normalized_similarity", D, "Alias for jaro_winkler_similarity (normalized)"),
    row<jaro_winkler_normalized_distance, OptionSet::PrefixWeight>(
        "jaro_winkler_normalized_distance", D, "Alias for jaro_winkler_distance (normalized)"),
    batch("jaro_winkler_similarity_batch", D),
    batch("jaro_winkler_distance_batch", D),
    // indel
    row<indel_distance>("indel_distance", D,
                        "Calculate the Indel distance (insertions + deletions needed).\n"
                        "Formula: len(s1) + len(s2) - 2 * LCS(s1, s2)"),
    row<indel_similarity>("indel_similarity", D, "Calculate Indel similarity."),
    row<indel_normalized_distance>("indel_normalized_distance", D,
                                   "Calculate normalized Indel distance (0.0 to 1.0)."),
    row<indel_normalized_similarity>("indel_normalized_similarity", D,
                                     "Calculate normalized Indel similarity (0.0 to 1.0)."),
    batch("indel_distance_batch", D),
    batch("indel_normalized_similarity_batch", D),
    // lcs_seq
    row<lcs_seq_distance>("lcs_seq_distance", D, "LCS distance: max(len1, len2) - LCS"),
    row<lcs_seq_similarity>("lcs_seq_similarity", D, "LCS similarity: LCS length"),
    row<lcs_seq_normalized_distance>("lcs_seq_normalized_distance", D, "Normalized LCS distance"),
    row<lcs_seq_normalized_similarity>("lcs_seq_normalized_similarity", D,
                                       "Normalized LCS similarity"),
    batch("lcs_seq_distance_batch", D),
    batch("lcs_seq_normalized_similarity_batch", D),
    // lcs_str
    row<lcs_str_similarity>(
        "lcs_str_similarity", D,
        "LCS (substring) similarity: returns the length of the longest common substring"),
    row<lcs_str_distance>("lcs_str_distance", D,
                          "LCS (substring) distance: max(len1, len2) - LCSstr\n"
                          "Usual convention: distance = maximum - similarity"),
    row<lcs_str_normalized_similarity>(
        "lcs_str_normalized_similarity", D,
        "Normalized LCS (substring) similarity: LCSstr / max(len(s1), len(s2))\n"
        "Usual convention: similarity / maximum"),
    row<lcs_str_normalized_distance>(
        "lcs_str_normalized_distance", D,
        "Normalized LCS (substring) distance: 1 - normalized_similarity"),
    batch("lcs_str_similarity_batch", D),
    batch("lcs_str_normalized_similarity_batch", D),
    // osa
    row<osa_distance>("osa_distance", D, "Calculate OSA distance."),
    row<osa_similarity>("osa_similarity", D, "Calculate OSA similarity."),
    row<osa_normalized_distance>("osa_normalized_distance", D,
                                 "Calculate normalized OSA distance."),
    row<osa_normalized_similarity>("osa_normalized_similarity", D,
                                   "Calculate normalized OSA similarity."),
    batch("osa_distance_batch", D),
    batch("osa_normalized_similarity_batch", D),
    // prefix
    row<prefix_distance>("prefix_distance", D,
                         "Calculate Prefix distance.\n"
                         "distance = max(len1, len2) - prefix_length"),
    row<prefix_similarity>("prefix_similarity", D,
                           "Calculate Prefix similarity (common prefix length)."),
    row<prefix_normalized_distance>("prefix_normalized_distance", D,
                                    "Calculate normalized Prefix distance."),
    row<prefix_normalized_similarity>("prefix_normalized_similarity", D,
                                      "Calculate normalized Prefix similarity."),
    batch("prefix_similarity_batch", D),
    batch("prefix_normalized_similarity_batch", D),
    // postfix
    row<postfix_distance>("postfix_distance", D, "Calculate Postfix distance."),
    row<postfix_similarity>("postfix_similarity", D,
                            "Calculate Postfix similarity (common suffix length)."),
    row<postfix_normalized_distance>("postfix_normalized_distance", D,
                                     "Calculate normalized Postfix distance."),
    row<postfix_normalized_similarity>("postfix_normalized_similarity", D,
                                       "Calculate normalized Postfix similarity."),
    batch("postfix_similarity_batch", D),
    batch("postfix_normalized_similarity_batch", D),

    // fuzz
    row<ratio>("ratio", F,
               "Calculate ratio using lcs_core optimizations - Ultra optimized for ASCII"),
    batch("ratio_batch", F, "Calculate ratio for batch of string pairs."),
    row<partial_ratio>("partial_ratio", F, "Calculate partial ratio"),
    batch("partial_ratio_batch", F, "Batch partial ratio"),
    row<token_sort_ratio>("token_sort_ratio", F, "Token sort ratio"),
    row<token_set_ratio>(
        "token_set_ratio", F,
        "Token set ratio - Ultra optimized with inline set operations and direct byte LCS"),
    row<token_ratio>("token_ratio", F,
                     "Token ratio - Ultra optimized with fully inlined set calculation"),
    batch("token_sort_ratio_batch", F),
    batch("token_set_ratio_batch", F),
    batch("token_ratio_batch", F),
    row<partial_token_sort_ratio>("partial_token_sort_ratio", F,
                                  "Partial token sort ratio - uses optimized partial_ratio"),
    row<partial_token_set_ratio>(
        "partial_token_set_ratio", F,
        "Partial token set ratio - KEY OPTIMIZATION: return 100 if intersection exists"),
    row<partial_token_ratio>("partial_token_ratio", F,
                             "Partial token ratio - follows the algorithm of the established "
                             "fuzzy-matching scorers"),
    batch("partial_token_sort_ratio_batch", F),
    batch("partial_token_set_ratio_batch", F),
    batch("partial_token_ratio_batch", F),
    row<w_ratio>("w_ratio", F,
                 "WRatio - Weighted ratio with heuristics, consistent with the established "
                 "fuzzy-matching scorers\n"
                 "\n"
                 "Uses score_cutoff optimization to avoid computing expensive ratios\n"
                 "when they can't improve the result."),
    row<q_ratio>("q_ratio", F,
                 "QRatio - Quick ratio, same as ratio but returns 0 for empty strings."),
    batch("w_ratio_batch", F),
    batch("q_ratio_batch", F),

    // top level: multiset overlap
    row<jaccard_similarity>("jaccard_similarity", T,
                            "Calculate Jaccard similarity between two strings.\n"
                            "Uses multiset (Counter) semantics."),
    row<jaccard_distance>("jaccard_distance", T, "Calculate Jaccard distance (1 - similarity)."),
    batch("jaccard_similarity_batch", T),
    row<sorensen_dice_similarity>("sorensen_dice_similarity", T,
                                  "Calculate Sørensen-Dice coefficient."),
    row<sorensen_dice_distance>("sorensen_dice_distance", T, "Calculate Sørensen-Dice distance."),
    batch("sorensen_dice_similarity_batch", T),
    row<tversky_similarity, OptionSet::Tversky>("tversky_similarity", T,
                                                "Calculate Tversky index.\n"
                                                "\n"
                                                "Generalization of Jaccard and Dice:\n"
                                                "- α=1, β=1: Jaccard\n"
                                                "- α=0.5, β=0.5: Dice"),
    row<tversky_distance, OptionSet::Tversky>("tversky_distance", T, "Calculate Tversky distance."),
    batch("tversky_similarity_batch", T),
    row<overlap_similarity>("overlap_similarity", T,
                            "Calculate Overlap coefficient.\n"
                            "Measures if one set is a subset of another."),
    row<overlap_distance>("overlap_distance", T, "Calculate Overlap distance."),
    batch("overlap_similarity_batch", T),
    // alignment
    row<smith_waterman_score, OptionSet::Alignment>("smith_waterman_score", T,
                                                    "Calculate Smith-Waterman similarity score."),
    row<smith_waterman_normalized_similarity, OptionSet::Alignment>(
        "smith_waterman_normalized_similarity", T,
        "Calculate normalized Smith-Waterman similarity (0.0 to 1.0).\n"
        "\n"
        "Normalization: score / min(len(s1), len(s2))"),
    batch("smith_waterman_score_batch", T),
    row<needleman_wunsch_score, OptionSet::Alignment>(
        "needleman_wunsch_score", T, "Calculate Needleman-Wunsch global alignment score."),
    row<needleman_wunsch_normalized_similarity, OptionSet::Alignment>(
        "needleman_wunsch_normalized_similarity", T,
        "Calculate normalized Needleman-Wunsch similarity (0.0 to 1.0).\n"
        "\n"
        "Normalization: (score - minimum) / (maximum * 2)\n"
        "where minimum = -max(len(s1), len(s2)) * gap_cost\n"
        "and maximum = max(len(s1), len(s2)) * match_score"),
    batch("needleman_wunsch_score_batch", T),
    // cosine
    row<cosine_similarity, OptionSet::Cosine>(
        "cosine_similarity", T,
        "Calculate cosine similarity between two strings.\n"
        "\n"
        "When use_words=true (default): Uses word-based tokenization\n"
        "When use_words=false: Uses character n-grams\n"
        "\n"
        "Formula: intersection / sqrt(count1 * count2)",
        cosine_check),
    row<cosine_distance, OptionSet::Cosine>(
        "cosine_distance", T, "Calculate cosine distance (1 - similarity).", cosine_check),
    batch("cosine_similarity_batch", T),
    // soft tf-idf
    row<soft_tfidf_similarity, OptionSet::Threshold>(
        "soft_tfidf_similarity", T,
        "Calculate Soft-TFIDF similarity.\n"
        "\n"
        "Combines TF-IDF weighting with fuzzy token matching.\n"
        "Tokens are considered similar if their Jaro-Winkler similarity >= threshold."),
    row<soft_tfidf_distance, OptionSet::Threshold>("soft_tfidf_distance", T,
                                                   "Calculate Soft-TFIDF distance."),
    batch("soft_tfidf_similarity_batch", T),
});

template <size_t I>
struct RowAt {
    static constexpr const Row& row = kRows[I];
};

template <size_t I>
constexpr Wrapper wrapper_of() {
    if constexpr (kRows[I].batch) {
        return &py::batch_frame<RowAt<I>>;
    } else {
        return &py::scalar_frame<RowAt<I>>;
    }
}

template <size_t... I>
constexpr std::array<RegisteredFunction, sizeof...(I)> make_registry(std::index_sequence<I...>) {
    return {RegisteredFunction{&kRows[I], wrapper_of<I>()}...};
}

constexpr auto kRegistry = make_registry(std::make_index_sequence<kRows.size()>{});

}  // namespace

std::span<const RegisteredFunction> registered_functions() {
    return kRegistry;
}

}  // namespace qx
