// The score matrix of many queries against many choices (cdist), and the scores of pairs taken
// element by element (cpdist), written straight into the cells of the result array. Rows are
// scored independently, so any number of threads may each take ranges of them. No Python.
#pragma once

#include <atomic>
#include <memory>

#include "cell_writer.hpp"
#include "lane_rows.hpp"
#include "prepared_query.hpp"
#include "text_column.hpp"

namespace qx::search {

// Where a cell refused its score (the first one found; any one when threads race).
struct RefusedCell {
    std::atomic<bool> set{false};
    size_t index = 0;
    Score score;

    void record(size_t k, Score s) {
        bool expected = false;
        if (set.compare_exchange_strong(expected, true)) {
            index = k;
            score = s;
        }
    }
};

class MatrixScorer {
  public:
    // Builds the lane packs of the choices when the measure has lane kernels and the texts
    // suit them. Throws std::bad_alloc.
    MatrixScorer(const RowScorer& scorer, TextColumn queries, TextColumn choices, Cutoff cutoff,
                 CellWriter writer);

    // Scores the query rows [begin, end); stops early once `stop` is set. A refused cell is
    // recorded and sets `stop`.
    void score_rows(size_t begin, size_t end, const std::atomic<bool>& cancelled,
                    std::atomic<bool>& stop, RefusedCell& refused) const;

  private:
    template <class T>
    void score_rows_as(size_t begin, size_t end, const std::atomic<bool>& cancelled,
                       std::atomic<bool>& stop, RefusedCell& refused) const;

    const RowScorer& scorer_;
    TextColumn queries_, choices_;
    Cutoff cutoff_;
    CellWriter writer_;
    std::unique_ptr<LaneRows> lanes_;
    bool prepared_ = false;  // each query row is prepared once for the cells off the lanes
};

// cpdist: the score of queries[i] and choices[i] into cell i, for i in [begin, end).
void score_pairs(const RowScorer& scorer, TextColumn queries, TextColumn choices,
                 const Cutoff& cutoff, const CellWriter& writer, size_t begin, size_t end,
                 const std::atomic<bool>& cancelled, std::atomic<bool>& stop,
                 RefusedCell& refused);

}  // namespace qx::search
