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

}  // namespace

LaneForm lane_form_of(std::string_view name) {
    LaneForm f;
    if (name == "ratio" || name == "q_ratio") {
        // q_ratio differs from ratio only when a text is empty; packed choices never are, and
        // an empty query scores 0 in both.
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

namespace {

// Levenshtein's four forms from the exact distance d, as the scalar functions give them.
double edit_form(EditForm form, uint64_t d, size_t n, size_t m, const Cutoff& cutoff) {
    const uint64_t longest = std::max(n, m);
    switch (form) {
        case EditForm::distance:
            return static_cast<double>(cut_distance(d, cutoff.as_int()));
        case EditForm::similarity:
            return static_cast<double>(cut_similarity(longest - d, cutoff.as_int()));
        case EditForm::normalized_distance:
            return cut_distance(static_cast<double>(d) / static_cast<double>(longest),
                                cutoff.as_float());
        default:
            return similarity_from_distance(static_cast<double>(d) / static_cast<double>(longest),
                                            cutoff.as_float());
    }
}

}  // namespace

void LaneRows::score_query(Text query, const RowScorer& scorer, const Cutoff& cutoff, double* out,
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
    const double prefix_weight = scorer.options().parameters[0];
    const FloatCutoff float_cutoff = cutoff.as_float();
    for (const Pack& p : packs_) {
        const size_t lanes = p.pack.size();
        const uint32_t* members = p.members.data();
        switch (form_.measure) {
            case LaneMeasure::ratio:
            case LaneMeasure::token_sort_ratio: {
                if (n == 0) {
                    // Only sorted words can be empty here: a text without words against one
                    // with words scores 0.
                    for (size_t k = 0; k < lanes; ++k) out[members[k]] = 0.0;
                    continue;
                }
                simd::lcs_lengths(p.pack, text, raw, *kernels_);
                for (size_t k = 0; k < lanes; ++k) {
                    const size_t m = p.pack.length(k);
                    // Equal texts (or equal sorted words) score 100 whatever the cutoff.
                    double v = 100.0;
                    if (m != n || raw[k] != n) {
                        v = static_cast<double>(2 * raw[k]) * 100.0 / static_cast<double>(n + m);
                        if (float_cutoff && v < *float_cutoff) v = 0.0;
                    }
                    out[members[k]] = v;
                }
                break;
            }
            case LaneMeasure::levenshtein:
                simd::levenshtein_distances(p.pack, text, raw, *kernels_);
                if (form_.form == EditForm::distance && !cutoff.set) {
                    for (size_t k = 0; k < lanes; ++k) out[members[k]] = static_cast<double>(raw[k]);
                } else {
                    for (size_t k = 0; k < lanes; ++k)
                        out[members[k]] = edit_form(form_.form, raw[k], n, p.pack.length(k), cutoff);
                }
                break;
            default: {
                const bool winkler = form_.measure == LaneMeasure::jaro_winkler;
                if (n == 0) {
                    const double v = form_.distance ? distance_from_similarity(0.0, float_cutoff)
                                                    : cut_similarity(0.0, float_cutoff);
                    for (size_t k = 0; k < lanes; ++k) out[members[k]] = v;
                    continue;
                }
                simd::jaro_counts(p.pack, text, counts, *kernels_);
                for (size_t k = 0; k < lanes; ++k) {
                    double j = jaro_value(counts[k], n, p.pack.length(k));
                    if (winkler && j >= kBoostThreshold)
                        j = j + (1.0 - j) * (prefix_weight * static_cast<double>(counts[k].prefix));
                    out[members[k]] = form_.distance ? distance_from_similarity(j, float_cutoff)
                                                     : cut_similarity(j, float_cutoff);
                }
            }
        }
    }
}

}  // namespace qx::search
