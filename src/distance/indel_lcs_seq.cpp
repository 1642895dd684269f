#include "indel_lcs_seq.hpp"

#include <algorithm>

namespace qx {

namespace {

// A pair of texts as the forms see it: the lengths, whether the texts are identical, and the
// LCS, computed on first use (by the two-text kernel or a query's masks).
template <class Lcs>
class Pair {
  public:
    Pair(Text s1, Text s2, Lcs lcs)
        : len1(s1.length), len2(s2.length), same(same_text(s1, s2)), lcs_(lcs) {}

    const uint64_t len1;
    const uint64_t len2;
    const bool same;

    uint64_t lcs() {
        if (!known_) {
            value_ = lcs_();
            known_ = true;
        }
        return value_;
    }

  private:
    Lcs lcs_;
    uint64_t value_ = 0;
    bool known_ = false;
};

template <class Lcs>
uint64_t indel_distance_of(Pair<Lcs> p, IntCutoff cutoff) {
    if (p.same) return 0;
    return cut_distance(p.len1 + p.len2 - 2 * p.lcs(), cutoff);
}

template <class Lcs>
uint64_t indel_similarity_of(Pair<Lcs> p, IntCutoff cutoff) {
    // Identical texts score their full length whatever the cutoff.
    if (p.same) return 2 * p.len1;
    return cut_similarity(2 * p.lcs(), cutoff);
}

template <class Lcs>
double indel_normalized_distance_of(Pair<Lcs> p, FloatCutoff cutoff) {
    if (p.same) return 0.0;
    const uint64_t total = p.len1 + p.len2;
    const double value = static_cast<double>(total - 2 * p.lcs()) / static_cast<double>(total);
    return cut_distance(value, cutoff);
}

template <class Lcs>
double indel_normalized_similarity_of(Pair<Lcs> p, FloatCutoff cutoff) {
    return similarity_from_distance(indel_normalized_distance_of(p, std::nullopt), cutoff);
}

template <class Lcs>
uint64_t lcs_seq_distance_of(Pair<Lcs> p, IntCutoff cutoff) {
    if (p.same) return 0;
    return cut_distance(std::max(p.len1, p.len2) - p.lcs(), cutoff);
}

template <class Lcs>
uint64_t lcs_seq_similarity_of(Pair<Lcs> p, IntCutoff cutoff) {
    return cut_similarity(p.same ? p.len1 : p.lcs(), cutoff);
}

template <class Lcs>
double lcs_seq_normalized_distance_of(Pair<Lcs> p, FloatCutoff cutoff) {
    if (p.same) return 0.0;
    const uint64_t longest = std::max(p.len1, p.len2);
    const double value = static_cast<double>(longest - p.lcs()) / static_cast<double>(longest);
    return cut_distance(value, cutoff);
}

template <class Lcs>
double lcs_seq_normalized_similarity_of(Pair<Lcs> p, FloatCutoff cutoff) {
    return similarity_from_distance(lcs_seq_normalized_distance_of(p, std::nullopt), cutoff);
}

auto pair_of(Text s1, Text s2) {
    return Pair(s1, s2, [s1, s2] { return lcs_length(s1, s2); });
}

auto pair_of(const LcsQuery& query, Text choice) {
    return Pair(query.text(), choice, [&query, choice] { return query.lcs(choice); });
}

}  // namespace

// Both texts empty counts as identical: every form returns before dividing.

uint64_t indel_distance(Text s1, Text s2, IntCutoff cutoff) {
    return indel_distance_of(pair_of(s1, s2), cutoff);
}
uint64_t indel_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return indel_similarity_of(pair_of(s1, s2), cutoff);
}
double indel_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return indel_normalized_distance_of(pair_of(s1, s2), cutoff);
}
double indel_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return indel_normalized_similarity_of(pair_of(s1, s2), cutoff);
}
uint64_t lcs_seq_distance(Text s1, Text s2, IntCutoff cutoff) {
    return lcs_seq_distance_of(pair_of(s1, s2), cutoff);
}
uint64_t lcs_seq_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return lcs_seq_similarity_of(pair_of(s1, s2), cutoff);
}
double lcs_seq_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return lcs_seq_normalized_distance_of(pair_of(s1, s2), cutoff);
}
double lcs_seq_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return lcs_seq_normalized_similarity_of(pair_of(s1, s2), cutoff);
}

uint64_t LcsMeasuresQuery::indel_distance(Text choice, IntCutoff cutoff) const {
    return indel_distance_of(pair_of(lcs_, choice), cutoff);
}
uint64_t LcsMeasuresQuery::indel_similarity(Text choice, IntCutoff cutoff) const {
    return indel_similarity_of(pair_of(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::indel_normalized_distance(Text choice, FloatCutoff cutoff) const {
    return indel_normalized_distance_of(pair_of(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::indel_normalized_similarity(Text choice, FloatCutoff cutoff) const {
    return indel_normalized_similarity_of(pair_of(lcs_, choice), cutoff);
}
uint64_t LcsMeasuresQuery::lcs_seq_distance(Text choice, IntCutoff cutoff) const {
    return lcs_seq_distance_of(pair_of(lcs_, choice), cutoff);
}
uint64_t LcsMeasuresQuery::lcs_seq_similarity(Text choice, IntCutoff cutoff) const {
    return lcs_seq_similarity_of(pair_of(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::lcs_seq_normalized_distance(Text choice, FloatCutoff cutoff) const {
    return lcs_seq_normalized_distance_of(pair_of(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::lcs_seq_normalized_similarity(Text choice, FloatCutoff cutoff) const {
    return lcs_seq_normalized_similarity_of(pair_of(lcs_, choice), cutoff);
}

}  // namespace qx
