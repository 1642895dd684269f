#include "prepared_query.hpp"

#include <array>
#include <string_view>
#include <utility>

namespace qx::search {

namespace {

using Form = PreparedQuery::Form;

struct Named {
    std::string_view name;
    Module module;
    Form form;
};

constexpr Module D = Module::Distance;
constexpr Module F = Module::Fuzz;

constexpr std::array<Named, 24> kForms = {{
    {"levenshtein_distance", D, Form::levenshtein_distance},
    {"levenshtein_similarity", D, Form::levenshtein_similarity},
    {"levenshtein_normalized_distance", D, Form::levenshtein_normalized_distance},
    {"levenshtein_normalized_similarity", D, Form::levenshtein_normalized_similarity},
    {"jaro_similarity", D, Form::jaro_similarity},
    {"jaro_distance", D, Form::jaro_distance},
    {"jaro_normalized_similarity", D, Form::jaro_normalized_similarity},
    {"jaro_normalized_distance", D, Form::jaro_normalized_distance},
    {"jaro_winkler_similarity", D, Form::jaro_winkler_similarity},
    {"jaro_winkler_distance", D, Form::jaro_winkler_distance},
    {"jaro_winkler_normalized_similarity", D, Form::jaro_winkler_normalized_similarity},
    {"jaro_winkler_normalized_distance", D, Form::jaro_winkler_normalized_distance},
    {"indel_distance", D, Form::indel_distance},
    {"indel_similarity", D, Form::indel_similarity},
    {"indel_normalized_distance", D, Form::indel_normalized_distance},
    {"indel_normalized_similarity", D, Form::indel_normalized_similarity},
    {"lcs_seq_distance", D, Form::lcs_seq_distance},
    {"lcs_seq_similarity", D, Form::lcs_seq_similarity},
    {"lcs_seq_normalized_distance", D, Form::lcs_seq_normalized_distance},
    {"lcs_seq_normalized_similarity", D, Form::lcs_seq_normalized_similarity},
    {"ratio", F, Form::ratio},
    {"q_ratio", F, Form::q_ratio},
    {"token_sort_ratio", F, Form::token_sort_ratio},
    {"w_ratio", F, Form::w_ratio},
}};

Score int_score(uint64_t v) { return {static_cast<double>(v), true}; }
Score float_score(double v) { return {v, true}; }

}  // namespace

bool PreparedQuery::form_of(const Row& row, Form& form) {
    if (row.batch) return false;
    for (const Named& n : kForms) {
        if (n.module == row.module && n.name == row.name) {
            form = n.form;
            return true;
        }
    }
    return false;
}

std::unique_ptr<PreparedQuery> PreparedQuery::make(const RowScorer& scorer, Text query) {
    Form form;
    if (!form_of(scorer.row(), form)) return nullptr;
    return std::make_unique<PreparedQuery>(form, query, scorer.options());
}

PreparedQuery::PreparedQuery(Form form, Text query, const Options& options)
    : form_(form), prefix_weight_(options.parameters[0]) {
    if (form <= Form::levenshtein_normalized_similarity)
        query_.emplace<LevenshteinQuery>(query);
    else if (form <= Form::jaro_winkler_normalized_distance)
        query_.emplace<JaroQuery>(query);
    else if (form <= Form::lcs_seq_normalized_similarity)
        query_.emplace<LcsMeasuresQuery>(query);
    else if (form <= Form::q_ratio)
        query_.emplace<RatioQuery>(query);
    else if (form == Form::token_sort_ratio)
        query_.emplace<TokenSortQuery>(query);
    else
        query_.emplace<WRatioQuery>(query);
}

Score PreparedQuery::score(Text c, const Cutoff& cutoff) const {
    const IntCutoff ic = cutoff.as_int();
    const FloatCutoff fc = cutoff.as_float();
    const double pw = prefix_weight_;
    switch (form_) {
        case Form::levenshtein_distance:
            return int_score(std::get<LevenshteinQuery>(query_).distance(c, ic));
        case Form::levenshtein_similarity:
            return int_score(std::get<LevenshteinQuery>(query_).similarity(c, ic));
        case Form::levenshtein_normalized_distance:
            return float_score(std::get<LevenshteinQuery>(query_).normalized_distance(c, fc));
        case Form::levenshtein_normalized_similarity:
            return float_score(std::get<LevenshteinQuery>(query_).normalized_similarity(c, fc));
        case Form::jaro_similarity:
            return float_score(std::get<JaroQuery>(query_).similarity(c, fc));
        case Form::jaro_distance:
            return float_score(std::get<JaroQuery>(query_).distance(c, fc));
        case Form::jaro_normalized_similarity:
            return float_score(std::get<JaroQuery>(query_).normalized_similarity(c, fc));
        case Form::jaro_normalized_distance:
            return float_score(std::get<JaroQuery>(query_).normalized_distance(c, fc));
        case Form::jaro_winkler_similarity:
            return float_score(std::get<JaroQuery>(query_).winkler_similarity(c, pw, fc));
        case Form::jaro_winkler_distance:
            return float_score(std::get<JaroQuery>(query_).winkler_distance(c, pw, fc));
        case Form::jaro_winkler_normalized_similarity:
            return float_score(
                std::get<JaroQuery>(query_).winkler_normalized_similarity(c, pw, fc));
        case Form::jaro_winkler_normalized_distance:
            return float_score(std::get<JaroQuery>(query_).winkler_normalized_distance(c, pw, fc));
        case Form::indel_distance:
            return int_score(std::get<LcsMeasuresQuery>(query_).indel_distance(c, ic));
        case Form::indel_similarity:
            return int_score(std::get<LcsMeasuresQuery>(query_).indel_similarity(c, ic));
        case Form::indel_normalized_distance:
            return float_score(std::get<LcsMeasuresQuery>(query_).indel_normalized_distance(c, fc));
        case Form::indel_normalized_similarity:
            return float_score(
                std::get<LcsMeasuresQuery>(query_).indel_normalized_similarity(c, fc));
        case Form::lcs_seq_distance:
            return int_score(std::get<LcsMeasuresQuery>(query_).lcs_seq_distance(c, ic));
        case Form::lcs_seq_similarity:
            return int_score(std::get<LcsMeasuresQuery>(query_).lcs_seq_similarity(c, ic));
        case Form::lcs_seq_normalized_distance:
            return float_score(
                std::get<LcsMeasuresQuery>(query_).lcs_seq_normalized_distance(c, fc));
        case Form::lcs_seq_normalized_similarity:
            return float_score(
                std::get<LcsMeasuresQuery>(query_).lcs_seq_normalized_similarity(c, fc));
        case Form::ratio:
            return float_score(std::get<RatioQuery>(query_).ratio(c, fc));
        case Form::q_ratio:
            return float_score(std::get<RatioQuery>(query_).q_ratio(c, fc));
        case Form::token_sort_ratio:
            return float_score(std::get<TokenSortQuery>(query_).score(c, fc));
        default:
            return float_score(std::get<WRatioQuery>(query_).score(c, fc));
    }
}

}  // namespace qx::search
