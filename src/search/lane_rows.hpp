// Rows of a score matrix from the SIMD lane kernels: the choices are packed once (grouped by
// the lane width their length needs), each query is streamed through every pack, and the
// measure's own formula (early returns, normalisation, cutoff) turns the raw lane values into
// exactly the scalar function's scores. Choices longer than a lane are left to the caller.
// No Python here.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "../simd/pattern_pack.hpp"
#include "row_scorer.hpp"
#include "sorted_words.hpp"

namespace qx::search {

enum class LaneMeasure : uint8_t { none, ratio, token_sort_ratio, levenshtein, jaro, jaro_winkler };

// The four forms an edit measure comes in.
enum class EditForm : uint8_t { distance, similarity, normalized_distance, normalized_similarity };

struct LaneForm {
    LaneMeasure measure = LaneMeasure::none;
    EditForm form = EditForm::distance;  // levenshtein only
    bool distance = false;               // jaro and jaro_winkler: 1 - similarity
};

// The lane form of a table row, by name; measure none when the row has none.
LaneForm lane_form_of(std::string_view row_name);

class LaneRows {
  public:
    // Packs every present choice of at most 64 symbols. Throws std::bad_alloc.
    LaneRows(LaneForm form, std::span<const Text> choices, std::span<const uint8_t> present,
             const simd::LaneKernels& kernels = simd::active_lane_kernels());
    LaneRows(const LaneRows&) = delete;
    LaneRows& operator=(const LaneRows&) = delete;

    // Whether choice i is in a pack (its score comes from score_query).
    bool packed(size_t i) const { return packed_[i]; }

    // Scores `query` against every packed choice: out[i] for each packed i (others untouched;
    // packed choices always have a score). `scratch` is reused between calls by one thread.
    void score_query(Text query, const RowScorer& scorer, const Cutoff& cutoff, double* out,
                     std::vector<uint32_t>& scratch) const;

  private:
    struct Pack {
        simd::PatternPack pack;
        std::vector<uint32_t> members;  // choice index of each lane
    };
    LaneForm form_;
    const simd::LaneKernels* kernels_;
    std::vector<uint8_t> packed_;
    std::unique_ptr<SortedWordsList> sorted_;  // token_sort_ratio: the choices' sorted words
    std::vector<Pack> packs_;
};

}  // namespace qx::search
