#include "matrix_scorer.hpp"

#include <vector>

namespace qx::search {

namespace {

// Lane kernels pay off once a few packs are streamed per query.
constexpr size_t kLaneMinimumChoices = 8;
// A prepared query pays off from a few choices on.
constexpr size_t kPreparedMinimumChoices = 4;

bool stopped(const std::atomic<bool>& cancelled, const std::atomic<bool>& stop) {
    return cancelled.load(std::memory_order_relaxed) || stop.load(std::memory_order_relaxed);
}

}  // namespace

MatrixScorer::MatrixScorer(const RowScorer& scorer, TextColumn queries, TextColumn choices,
                           Cutoff cutoff, CellWriter writer)
    : scorer_(scorer), queries_(queries), choices_(choices), cutoff_(cutoff), writer_(writer) {
    const LaneForm form = lane_form_of(scorer.row().name);
    if (form.measure != LaneMeasure::none && choices.size() >= kLaneMinimumChoices &&
        queries.size() > 1)
        lanes_ = std::make_unique<LaneRows>(form, choices.texts, choices.present);
    size_t off_lanes = 0;
    for (size_t c = 0; c < choices.size(); ++c)
        off_lanes += choices.present[c] && !(lanes_ && lanes_->packed(c));
    PreparedQuery::Form prepared_form;
    prepared_ = off_lanes >= kPreparedMinimumChoices &&
                PreparedQuery::form_of(scorer.row(), prepared_form);
}

void MatrixScorer::score_rows(size_t begin, size_t end, const std::atomic<bool>& cancelled,
                              std::atomic<bool>& stop, RefusedCell& refused) const {
    writer_.with_type([&]<class T>(T) { score_rows_as<T>(begin, end, cancelled, stop, refused); });
}

template <class T>
void MatrixScorer::score_rows_as(size_t begin, size_t end, const std::atomic<bool>& cancelled,
                                 std::atomic<bool>& stop, RefusedCell& refused) const {
    const size_t cols = choices_.size();
    std::vector<double> lane_values(lanes_ ? cols : 0);
    std::vector<uint32_t> scratch;
    for (size_t q = begin; q < end; ++q) {
        if (stopped(cancelled, stop)) return;
        const size_t base = q * cols;
        const bool query_present = queries_.present[q];
        const Text query = queries_.texts[q];
        const bool use_lanes = lanes_ && query_present;
        if (use_lanes) lanes_->score_query(query, scorer_, cutoff_, lane_values.data(), scratch);
        std::unique_ptr<PreparedQuery> prepared;
        if (prepared_ && query_present) prepared = PreparedQuery::make(scorer_, query);
        for (size_t c = 0; c < cols; ++c) {
            Score s;
            if (query_present && choices_.present[c]) {
                if (use_lanes && lanes_->packed(c)) {
                    s = {lane_values[c], true};
                } else {
                    if (stopped(cancelled, stop)) [[unlikely]]
                        return;
                    s = prepared ? prepared->score(choices_.texts[c], cutoff_)
                                 : scorer_.score(query, choices_.texts[c], cutoff_);
                }
            }
            if (!writer_.write_as<T>(base + c, s)) [[unlikely]] {
                refused.record(base + c, s);
                stop.store(true, std::memory_order_relaxed);
                return;
            }
        }
    }
}

void score_pairs(const RowScorer& scorer, TextColumn queries, TextColumn choices,
                 const Cutoff& cutoff, const CellWriter& writer, size_t begin, size_t end,
                 const std::atomic<bool>& cancelled, std::atomic<bool>& stop,
                 RefusedCell& refused) {
    for (size_t i = begin; i < end; ++i) {
        if (stopped(cancelled, stop)) return;
        Score s;
        if (queries.present[i] && choices.present[i])
            s = scorer.score(queries.texts[i], choices.texts[i], cutoff);
        if (!writer.write(i, s)) [[unlikely]] {
            refused.record(i, s);
            stop.store(true, std::memory_order_relaxed);
            return;
        }
    }
}

}  // namespace qx::search
