#include "lane_rows.hpp"

#include <algorithm>

namespace qx::search {

namespace {

simd::Units units_of(Text t) {
    simd::Units u;
    u.data = t.data;
    u.size = t.length;
    u.width = t.width;
    return u;
}

constexpr double kBoostThreshold = 0.7;

// The Jaro formula of the scalar kernel, in its order: M/len1, + M/len2, (M - t)/M, (y + z)/3.
double jaro_value(const simd::JaroCounts& c, size_t len1, size_t len2) {
    if (c.matches == 0) return 0.0;
    const double m = c.matches;
    const double x = m / static_cast<double>(len1);
    const double y = x + m / static_cast<double>(len2);
    const double z = (m - static_cast<double>(c.transpositions)) / m;
    return (y + z) / 3.0;
}

double ratio_score(uint64_t lcs, uint64_t total) {
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(total);
}

}  // namespace

LaneForm lane_form_of(std::string_view name) {
    LaneForm f;
    if (name == "ratio") {
        f.measure = LaneMeasure::ratio;
    } else if (name == "token_sort_ratio") {
        f.measure = LaneMeasure::token_sort_ratio;
    } else if (name.starts_with("levenshtein_")) {
        f.measure = LaneMeasure::levenshtein;
        const std::string_view form = name.substr(12);
        f.form = form == "distance"              ? EditForm::distance
                 : form == "similarity"          ? EditForm::similarity
                 : form == "normalized_distance" ? EditForm::normalized_distance
                                                 : EditForm::normalized_similarity;
    } else if (name.starts_with("jaro_winkler_")) {
        f.measure = LaneMeasure::jaro_winkler;
        f.distance = name.ends_with("_distance");
    } else if (name.starts_with("jaro_")) {
        f.measure = LaneMeasure::jaro;
        f.distance = name.ends_with("_distance");
    }
    return f;
}

LaneRows::LaneRows(LaneForm form, std::span<const Text> choices, std::span<const uint8_t> present,
                   const simd::LaneKernels& kernels)
    : form_(form), kernels_(&kernels), packed_(choices.size(), 0) {
    if (form.measure == LaneMeasure::token_sort_ratio)
        sorted_ = std::make_unique<SortedWordsList>(choices, present);
    auto text_of = [&](size_t i) { return sorted_ ? (*sorted_)[i] : choices[i]; };
    std::vector<uint32_t> groups[4];
    for (size_t i = 0; i < choices.size(); ++i) {
        if (!present[i]) continue;
        const size_t n = text_of(i).length;
        if (n == 0 || n > simd::kMaxPatternLength) continue;
        groups[static_cast<size_t>(simd::lane_width_for(n))].push_back(static_cast<uint32_t>(i));
        packed_[i] = 1;
    }
    std::vector<simd::Units> units;
    for (size_t g = 0; g < 4; ++g) {
        const auto width = static_cast<simd::LaneWidth>(g);
        const size_t capacity = simd::pack_capacity(width);
        for (size_t start = 0; start < groups[g].size(); start += capacity) {
            const size_t end = std::min(start + capacity, groups[g].size());
            units.clear();
            for (size_t k = start; k < end; ++k) units.push_back(units_of(text_of(groups[g][k])));
            packs_.push_back({simd::PatternPack(width, units),
                              std::vector<uint32_t>(groups[g].begin() + start,
                                                    groups[g].begin() + end)});
        }
    }
}

double LaneRows::finish(uint64_t raw, size_t n, size_t m, bool same, const RowScorer& scorer,
                        const Cutoff& cutoff) const {
    switch (form_.measure) {
        case LaneMeasure::ratio:
        case LaneMeasure::token_sort_ratio:
            // Equal texts (or equal sorted words) score 100 whatever the cutoff.
            if (same) return 100.0;
            return cut_similarity(ratio_score(raw, n + m), cutoff.as_float());
        default: {  // levenshtein
            const uint64_t longest = std::max(n, m);
            switch (form_.form) {
                case EditForm::distance:
                    return static_cast<double>(cut_distance(raw, cutoff.as_int()));
                case EditForm::similarity:
                    return static_cast<double>(cut_similarity(longest - raw, cutoff.as_int()));
                case EditForm::normalized_distance:
                    return cut_distance(static_cast<double>(raw) / static_cast<double>(longest),
                                        cutoff.as_float());
                default:
                    return similarity_from_distance(
                        static_cast<double>(raw) / static_cast<double>(longest),
                        cutoff.as_float());
            }
        }
    }
    (void)scorer;
}

void LaneRows::score_query(Text query, const RowScorer& scorer, const Cutoff& cutoff, Score* out,
                           std::vector<uint32_t>& scratch) const {
    Text streamed = query;
    if (sorted_) {
        scratch.clear();
        append_sorted_words(query, scratch);
        streamed = Text(scratch.data(), scratch.size(), 4);
    }
    const size_t n = streamed.length;
    const simd::Units text = units_of(streamed);
    uint64_t raw[64];
    simd::JaroCounts counts[64];
    const double prefix_weight = scorer.options().f[0];
    for (const Pack& p : packs_) {
        const size_t lanes = p.pack.size();
        switch (form_.measure) {
            case LaneMeasure::ratio:
            case LaneMeasure::token_sort_ratio: {
                if (n == 0) {
                    // Only the sorted words can be empty here: a text without words against
                    // one with words scores 0.
                    for (size_t k = 0; k < lanes; ++k) out[p.members[k]] = {0.0, true};
                    continue;
                }
                simd::lcs_lengths(p.pack, text, raw, *kernels_);
                for (size_t k = 0; k < lanes; ++k) {
                    const size_t m = p.pack.length(k);
                    const bool same = m == n && raw[k] == n;
                    out[p.members[k]] = {finish(raw[k], n, m, same, scorer, cutoff), true};
                }
                break;
            }
            case LaneMeasure::levenshtein:
                simd::levenshtein_distances(p.pack, text, raw, *kernels_);
                for (size_t k = 0; k < lanes; ++k)
                    out[p.members[k]] = {
                        finish(raw[k], n, p.pack.length(k), false, scorer, cutoff), true};
                break;
            default: {
                const bool winkler = form_.measure == LaneMeasure::jaro_winkler;
                if (n == 0) {
                    for (size_t k = 0; k < lanes; ++k) {
                        const double v = form_.distance ? distance_from_similarity(0.0, cutoff.as_float())
                                                        : cut_similarity(0.0, cutoff.as_float());
                        out[p.members[k]] = {v, true};
                    }
                    continue;
                }
                simd::jaro_counts(p.pack, text, counts, *kernels_);
                for (size_t k = 0; k < lanes; ++k) {
                    double j = jaro_value(counts[k], n, p.pack.length(k));
                    if (winkler && j >= kBoostThreshold)
                        j = j + (1.0 - j) * (prefix_weight * static_cast<double>(counts[k].prefix));
                    const double v = form_.distance ? distance_from_similarity(j, cutoff.as_float())
                                                    : cut_similarity(j, cutoff.as_float());
                    out[p.members[k]] = {v, true};
                }
            }
        }
    }
}

}  // namespace qx::search
