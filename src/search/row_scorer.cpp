#include "row_scorer.hpp"

#include <algorithm>
#include <array>

namespace qx::search {

Cutoff RowScorer::raised(double found, const Cutoff& user) const {
    Cutoff c;
    c.set = true;
    if (integer()) {
        c.n = static_cast<uint64_t>(found);
        if (user.set) c.n = lower_is_better_ ? std::min(c.n, user.n) : std::max(c.n, user.n);
        return c;
    }
    const double margin = std::max(std::fabs(found), 1.0) * 1e-12;
    c.f = lower_is_better_ ? found + margin : found - margin;
    if (user.set && user.f == user.f) c.f = lower_is_better_ ? std::min(c.f, user.f) : std::max(c.f, user.f);
    return c;
}

bool RowScorer::prunable() const {
    // The edit measures and the fuzzy ratios map only values past the cutoff. The set, vector
    // and alignment measures are left alone: their cutoff handling is theirs to change.
    static constexpr std::array<std::string_view, 10> kFamilies = {
        "levenshtein_", "damerau_levenshtein_", "hamming_", "jaro_",    "indel_",
        "lcs_seq_",     "lcs_str_",             "osa_",     "prefix_",  "postfix_"};
    const std::string_view name = row_->name;
    if (row_->module == Module::Fuzz) return true;
    for (std::string_view family : kFamilies)
        if (name.starts_with(family)) return true;
    return false;
}

}  // namespace qx::search
