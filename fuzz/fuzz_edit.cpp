// Fuzz target: the edit-distance measures (Levenshtein, Indel, LCS sequence, optimal string
// alignment, Damerau-Levenshtein, Hamming, prefix/postfix, longest common substring, Jaro and
// Jaro-Winkler) in all their forms, and their prepared queries, against the plain procedures
// of reference.hpp, under cutoffs below, at and above each value, with the texts in both orders
// (each input checks one form of one measure).
#include <cmath>

#include "check.hpp"
#include "distance/damerau_levenshtein.hpp"
#include "distance/hamming.hpp"
#include "distance/indel_lcs_seq.hpp"
#include "distance/jaro.hpp"
#include "distance/lcs_str.hpp"
#include "distance/levenshtein.hpp"
#include "distance/osa.hpp"
#include "distance/prefix_postfix.hpp"

namespace {

using namespace fuzzcheck;

constexpr size_t kCap = 640;  // longest text in symbols: the references are quadratic

// The four forms of a measure (distance, similarity, normalized distance and similarity; each
// a name and a kernel) against those of Forms; a prepared query is one-way.
template <class Forms, class D, class S, class ND, class NS>
void check_forms(const Pair& p, const ref::Texts& t, bool symmetric, const char* d_name,
                 D distance, const char* s_name, S similarity, const char* nd_name,
                 ND normalized_distance, const char* ns_name, NS normalized_similarity) {
    const Options plain{.symmetric = symmetric};
    const Options normalized{.symmetric = symmetric, .range = true};
    compare_all<IntCut>(
        d_name, p, distance, [&](IntCut c) { return Forms::distance(t, c); }, plain);
    compare_all<IntCut>(
        s_name, p, similarity, [&](IntCut c) { return Forms::similarity(t, c); }, plain);
    compare_all<FloatCut>(
        nd_name, p, normalized_distance,
        [&](FloatCut c) { return Forms::normalized_distance(t, c); }, normalized);
    compare_all<FloatCut>(
        ns_name, p, normalized_similarity,
        [&](FloatCut c) { return Forms::normalized_similarity(t, c); }, normalized);
}

#define FORM(m, form) #m "_" #form, qx::m##_##form
#define FORMS(m) \
    FORM(m, distance), FORM(m, similarity), FORM(m, normalized_distance), \
        FORM(m, normalized_similarity)

void check_jaro(const Pair& p, double weight) {
    const Options normalized{.symmetric = true, .range = true};
    const Options one_way{.symmetric = false, .range = true};
    auto sim = [&](FloatCut c) { return ref::cut_sim(ref::jaro(p.a, p.b), c); };
    auto dist = [&](FloatCut c) { return ref::cut_dist(1.0 - ref::jaro(p.a, p.b), c); };
    compare_all<FloatCut>("jaro_similarity", p, qx::jaro_similarity, sim, normalized);
    compare_all<FloatCut>("jaro_normalized_similarity", p, qx::jaro_normalized_similarity, sim,
                          normalized);
    compare_all<FloatCut>("jaro_distance", p, qx::jaro_distance, dist, normalized);
    compare_all<FloatCut>("jaro_normalized_distance", p, qx::jaro_normalized_distance, dist,
                          normalized);
    const qx::JaroQuery query(p.t1());
    compare_all<FloatCut>("JaroQuery::similarity", p, prepared(query, &qx::JaroQuery::similarity),
                          sim, one_way);
    compare_all<FloatCut>("JaroQuery::distance", p, prepared(query, &qx::JaroQuery::distance),
                          dist, one_way);

    // Inside [0, 1] only for weights up to 0.25.
    const Options jw{.symmetric = true, .range = weight >= 0.0 && weight <= 0.25};
    auto jw_sim = [&](FloatCut c) { return ref::cut_sim(ref::jaro_winkler(p.a, p.b, weight), c); };
    auto jw_dist = [&](FloatCut c) {
        return ref::cut_dist(1.0 - ref::jaro_winkler(p.a, p.b, weight), c);
    };
    using JwKernel = double (*)(qx::Text, qx::Text, double, qx::FloatCutoff);
    static const struct {
        const char* name;
        JwKernel kernel;
        bool distance;
    } kWinkler[] = {
        {"jaro_winkler_similarity", qx::jaro_winkler_similarity, false},
        {"jaro_winkler_normalized_similarity", qx::jaro_winkler_normalized_similarity, false},
        {"jaro_winkler_distance", qx::jaro_winkler_distance, true},
        {"jaro_winkler_normalized_distance", qx::jaro_winkler_normalized_distance, true},
    };
    for (const auto& m : kWinkler) {
        auto kernel = [&m, weight](qx::Text x, qx::Text y, FloatCut c) {
            return m.kernel(x, y, weight, c);
        };
        auto reference = [&](FloatCut c) { return m.distance ? jw_dist(c) : jw_sim(c); };
        compare_all<FloatCut>(m.name, p, kernel, reference, jw);
    }
    const Options jw_one_way{.symmetric = false};
    compare_all<FloatCut>("JaroQuery::winkler_similarity", p,
                          prepared(query, &qx::JaroQuery::winkler_similarity, weight), jw_sim,
                          jw_one_way);
    compare_all<FloatCut>("JaroQuery::winkler_distance", p,
                          prepared(query, &qx::JaroQuery::winkler_distance, weight), jw_dist,
                          jw_one_way);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    const ref::Texts t{p.s1, p.s2, p.a, p.b};

    check_forms<ref::Levenshtein>(p, t, true, FORMS(levenshtein));
    const qx::LevenshteinQuery query(p.t1());
    using Query = qx::LevenshteinQuery;
#define QUERY_FORM(form) "LevenshteinQuery::" #form, prepared(query, &Query::form)
    check_forms<ref::Levenshtein>(p, t, false, QUERY_FORM(distance), QUERY_FORM(similarity),
                                  QUERY_FORM(normalized_distance),
                                  QUERY_FORM(normalized_similarity));
    check_forms<ref::Indel>(p, t, true, FORMS(indel));
    check_forms<ref::LcsSeq>(p, t, true, FORMS(lcs_seq));
    check_forms<ref::Osa>(p, t, true, FORMS(osa));
    check_forms<ref::DamerauLevenshtein>(p, t, true, FORMS(damerau_levenshtein));
    check_forms<ref::Hamming>(p, t, true, FORMS(hamming));
    check_forms<ref::Prefix>(p, t, true, FORMS(prefix));
    check_forms<ref::Postfix>(p, t, true, FORMS(postfix));
    check_forms<ref::LcsStr>(p, t, true, FORMS(lcs_str));

    static constexpr double kWeights[] = {0.1, 0.0, 0.25, 0.2, 0.5, -0.1, 1.0, NAN};
    check_jaro(p, kWeights[p.extra[1] % 8]);
    return 0;
}
