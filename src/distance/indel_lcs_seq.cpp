#include "indel_lcs_seq.hpp"

#include <algorithm>
#include <optional>

#include "edit_forms.hpp"

namespace qx {

namespace {

// A pair of texts as the forms see it (edit_forms.hpp): the lengths, whether the texts are
// identical, and the LCS, computed when needed (by the two-text kernel or a query's masks).
// Identical texts settle the normalized forms before the cutoff applies.
template <class Lcs>
struct LcsPair {
    static constexpr bool kBounded = false;

    LcsPair(Text s1, Text s2, Lcs lcs)
        : len1(s1.length), len2(s2.length), same(same_text(s1, s2)), lcs(lcs) {}

    uint64_t len1;
    uint64_t len2;
    bool same;
    Lcs lcs;

    bool settled_when_identical() const { return same; }
};

// Indel: the maximum is both lengths, the similarity twice the LCS. Identical texts score
// their full length whatever the cutoff.
template <class Lcs>
struct IndelPair : LcsPair<Lcs> {
    using LcsPair<Lcs>::LcsPair;

    uint64_t maximum() const { return this->len1 + this->len2; }
    uint64_t distance(uint64_t) const {
        return this->same ? 0 : this->len1 + this->len2 - 2 * this->lcs();
    }
    std::optional<uint64_t> settled_similarity() const {
        if (this->same) return 2 * this->len1;
        return std::nullopt;
    }
};

// LCS-seq: the maximum is the longer length, the similarity the LCS.
template <class Lcs>
struct LcsSeqPair : LcsPair<Lcs> {
    using LcsPair<Lcs>::LcsPair;

    uint64_t maximum() const { return std::max(this->len1, this->len2); }
    uint64_t distance(uint64_t) const { return this->same ? 0 : maximum() - this->lcs(); }
    std::optional<uint64_t> settled_similarity() const { return std::nullopt; }
};

// The LCS of two texts, or of a prepared query and a choice.
struct TwoTexts {
    Text s1, s2;
    uint64_t operator()() const { return lcs_length(s1, s2); }
};
struct QueryAndChoice {
    const LcsQuery& query;
    Text choice;
    uint64_t operator()() const { return query.lcs(choice); }
};

template <template <class> class P>
P<TwoTexts> pair_of(Text s1, Text s2) {
    return {s1, s2, TwoTexts{s1, s2}};
}
template <template <class> class P>
P<QueryAndChoice> pair_of(const LcsQuery& query, Text choice) {
    return {query.text(), choice, QueryAndChoice{query, choice}};
}

using Indel = EditForms<IndelPair<TwoTexts>>;
using LcsSeq = EditForms<LcsSeqPair<TwoTexts>>;
using QueryIndel = EditForms<IndelPair<QueryAndChoice>>;
using QueryLcsSeq = EditForms<LcsSeqPair<QueryAndChoice>>;

}  // namespace

// Both texts empty counts as identical: every form returns before dividing.

uint64_t indel_distance(Text s1, Text s2, IntCutoff cutoff) {
    return Indel::distance(pair_of<IndelPair>(s1, s2), cutoff);
}
uint64_t indel_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return Indel::similarity(pair_of<IndelPair>(s1, s2), cutoff);
}
double indel_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return Indel::normalized_distance(pair_of<IndelPair>(s1, s2), cutoff);
}
double indel_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return Indel::normalized_similarity(pair_of<IndelPair>(s1, s2), cutoff);
}
uint64_t lcs_seq_distance(Text s1, Text s2, IntCutoff cutoff) {
    return LcsSeq::distance(pair_of<LcsSeqPair>(s1, s2), cutoff);
}
uint64_t lcs_seq_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return LcsSeq::similarity(pair_of<LcsSeqPair>(s1, s2), cutoff);
}
double lcs_seq_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return LcsSeq::normalized_distance(pair_of<LcsSeqPair>(s1, s2), cutoff);
}
double lcs_seq_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return LcsSeq::normalized_similarity(pair_of<LcsSeqPair>(s1, s2), cutoff);
}

uint64_t LcsMeasuresQuery::indel_distance(Text choice, IntCutoff cutoff) const {
    return QueryIndel::distance(pair_of<IndelPair>(lcs_, choice), cutoff);
}
uint64_t LcsMeasuresQuery::indel_similarity(Text choice, IntCutoff cutoff) const {
    return QueryIndel::similarity(pair_of<IndelPair>(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::indel_normalized_distance(Text choice, FloatCutoff cutoff) const {
    return QueryIndel::normalized_distance(pair_of<IndelPair>(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::indel_normalized_similarity(Text choice, FloatCutoff cutoff) const {
    return QueryIndel::normalized_similarity(pair_of<IndelPair>(lcs_, choice), cutoff);
}
uint64_t LcsMeasuresQuery::lcs_seq_distance(Text choice, IntCutoff cutoff) const {
    return QueryLcsSeq::distance(pair_of<LcsSeqPair>(lcs_, choice), cutoff);
}
uint64_t LcsMeasuresQuery::lcs_seq_similarity(Text choice, IntCutoff cutoff) const {
    return QueryLcsSeq::similarity(pair_of<LcsSeqPair>(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::lcs_seq_normalized_distance(Text choice, FloatCutoff cutoff) const {
    return QueryLcsSeq::normalized_distance(pair_of<LcsSeqPair>(lcs_, choice), cutoff);
}
double LcsMeasuresQuery::lcs_seq_normalized_similarity(Text choice, FloatCutoff cutoff) const {
    return QueryLcsSeq::normalized_similarity(pair_of<LcsSeqPair>(lcs_, choice), cutoff);
}

}  // namespace qx
