// One query against many choices: the best choice, the best few, or every choice that meets
// the cutoff. Once enough choices are held, the cutoff handed to the kernel is raised to the
// score to beat (for the measures whose kernels keep every value that meets a cutoff exact),
// so that kernels skip work on choices that cannot enter. Ties keep the earlier choice.
// Choices are scored in order, in as many consecutive calls as the caller likes. No Python.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "prepared_levenshtein.hpp"
#include "prepared_query.hpp"
#include "row_scorer.hpp"
#include "text_column.hpp"

namespace qx::search {

struct Hit {
    size_t index;
    double value;
};

class Extractor {
  public:
    // limit: how many to keep (0: all that meet the cutoff). in_choice_order: keep all in
    // choice order instead of best first (limit must be 0).
    Extractor(const RowScorer& scorer, Text query, Cutoff cutoff, size_t limit,
              bool in_choice_order);

    // Scores choices [begin, end) of `choices`, which are scored in order over the calls.
    void score(TextColumn choices, size_t begin, size_t end);

    // The hits, best first (or in choice order).
    std::vector<Hit> finish();

  private:
    bool worse(const Hit& a, const Hit& b) const;  // a ranks after b
    void offer(size_t index, double value);

    const RowScorer& scorer_;
    Text query_;
    Cutoff user_;
    Cutoff current_;  // user_, raised once `limit_` hits are held
    size_t limit_;
    bool in_choice_order_;
    bool prune_;
    std::optional<PreparedLevenshtein> levenshtein_;  // Levenshtein rows, queries of 1 to 64
    std::unique_ptr<PreparedQuery> prepared_;          // the other rows with a prepared form
    std::vector<Hit> hits_;  // a heap with the worst hit on top once limit_ are held
};

}  // namespace qx::search
