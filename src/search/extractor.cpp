#include "extractor.hpp"

#include <algorithm>

namespace qx::search {

Extractor::Extractor(const RowScorer& scorer, Text query, Cutoff cutoff, size_t limit,
                     bool in_choice_order)
    : scorer_(scorer),
      query_(query),
      user_(cutoff),
      current_(cutoff),
      limit_(limit),
      in_choice_order_(in_choice_order),
      prune_(limit != 0 && scorer.prunable()) {
    const LaneForm form = lane_form_of(scorer.row().name);
    if (form.measure == LaneMeasure::levenshtein)
        levenshtein_ = PreparedLevenshtein::make(query, form.form);
    if (!levenshtein_) prepared_ = PreparedQuery::make(scorer, query);
}

bool Extractor::worse(const Hit& a, const Hit& b) const {
    if (scorer_.better(b.value, a.value)) return true;
    if (scorer_.better(a.value, b.value)) return false;
    return a.index > b.index;
}

void Extractor::offer(size_t index, double value) {
    if (limit_ == 0) {
        hits_.push_back({index, value});
        return;
    }
    auto heap_less = [this](const Hit& a, const Hit& b) { return worse(b, a); };
    if (hits_.size() < limit_) {
        hits_.push_back({index, value});
        std::push_heap(hits_.begin(), hits_.end(), heap_less);
    } else {
        // Choices come in order: a tie with the worst held hit never displaces it.
        if (!scorer_.better(value, hits_.front().value)) return;
        std::pop_heap(hits_.begin(), hits_.end(), heap_less);
        hits_.back() = {index, value};
        std::push_heap(hits_.begin(), hits_.end(), heap_less);
    }
    if (prune_ && hits_.size() == limit_) current_ = scorer_.raised(hits_.front().value, user_);
}

void Extractor::score(TextColumn choices, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
        if (!choices.present[i]) continue;
        const Text choice = choices.texts[i];
        const Score s = levenshtein_ ? Score{levenshtein_->score(choice, current_), true}
                        : prepared_  ? prepared_->score(choice, current_)
                                     : scorer_.score(query_, choice, current_);
        if (!s.present || !scorer_.meets(s.value, user_)) continue;
        offer(i, s.value);
    }
}

std::vector<Hit> Extractor::finish() {
    if (!in_choice_order_)
        std::sort(hits_.begin(), hits_.end(), [this](const Hit& a, const Hit& b) { return worse(b, a); });
    return std::move(hits_);
}

}  // namespace qx::search
