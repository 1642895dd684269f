// Fuzz target: the edit-distance measures (Levenshtein to Jaro-Winkler) in all their forms and
// their prepared queries against reference.hpp (each input checks one form of one measure).
#include <cmath>
#include <functional>
#include <string>

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

// The four forms of a measure (named prefix + form) against those of Forms; a prepared query
// is one-way.
template <class Forms, class D, class S, class ND, class NS>
void check_forms(const Pair& p, const ref::Texts& t, bool symmetric, const std::string& prefix,
                 D distance, S similarity, ND normalized_distance, NS normalized_similarity) {
    const Options plain{.symmetric = symmetric};
    const Options normalized{.symmetric = symmetric, .range = true};
    compare_all<IntCut>(
        prefix + "distance", p, distance, [&](IntCut c) { return Forms::distance(t, c); }, plain);
    compare_all<IntCut>(
        prefix + "similarity", p, similarity, [&](IntCut c) { return Forms::similarity(t, c); },
        plain);
    compare_all<FloatCut>(
        prefix + "normalized_distance", p, normalized_distance,
        [&](FloatCut c) { return Forms::normalized_distance(t, c); }, normalized);
    compare_all<FloatCut>(
        prefix + "normalized_similarity", p, normalized_similarity,
        [&](FloatCut c) { return Forms::normalized_similarity(t, c); }, normalized);
}

#define FORMS(m) \
    #m "_", qx::m##_distance, qx::m##_similarity, qx::m##_normalized_distance, \
        qx::m##_normalized_similarity

// Jaro and Jaro-Winkler: every form, the prepared queries one-way. Jaro-Winkler lies inside
// [0, 1] only for weights up to 0.25.
void check_jaro(const Pair& p, double weight) {
    using Kernel = std::function<double(qx::Text, qx::Text, FloatCut)>;
    auto w = [weight](auto f) -> Kernel {
        return [f, weight](qx::Text x, qx::Text y, FloatCut c) { return f(x, y, weight, c); };
    };
    const qx::JaroQuery q(p.t1());
    using Q = qx::JaroQuery;
    const struct {
        const char* name;
        Kernel kernel;
        bool winkler, distance, symmetric;
    } kJaro[] = {
        {"jaro_similarity", qx::jaro_similarity, false, false, true},
        {"jaro_normalized_similarity", qx::jaro_normalized_similarity, false, false, true},
        {"jaro_distance", qx::jaro_distance, false, true, true},
        {"jaro_normalized_distance", qx::jaro_normalized_distance, false, true, true},
        {"JaroQuery::similarity", prepared(q, &Q::similarity), false, false, false},
        {"JaroQuery::distance", prepared(q, &Q::distance), false, true, false},
        {"jaro_winkler_similarity", w(qx::jaro_winkler_similarity), true, false, true},
        {"jaro_winkler_normalized_similarity", w(qx::jaro_winkler_normalized_similarity), true,
         false, true},
        {"jaro_winkler_distance", w(qx::jaro_winkler_distance), true, true, true},
        {"jaro_winkler_normalized_distance", w(qx::jaro_winkler_normalized_distance), true, true,
         true},
        {"JaroQuery::winkler_similarity", prepared(q, &Q::winkler_similarity, weight), true,
         false, false},
        {"JaroQuery::winkler_distance", prepared(q, &Q::winkler_distance, weight), true, true,
         false},
    };
    for (const auto& m : kJaro) {
        auto reference = [&](FloatCut c) {
            const double v = m.winkler ? ref::jaro_winkler(p.a, p.b, weight) : ref::jaro(p.a, p.b);
            return m.distance ? ref::cut_dist(1.0 - v, c) : ref::cut_sim(v, c);
        };
        const bool range = !m.winkler || (weight >= 0.0 && weight <= 0.25);
        compare_all<FloatCut>(m.name, p, m.kernel, reference,
                              {.symmetric = m.symmetric, .range = range});
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    const ref::Texts t{p.s1, p.s2, p.a, p.b};

    check_forms<ref::Levenshtein>(p, t, true, FORMS(levenshtein));
    const qx::LevenshteinQuery query(p.t1());
#define QUERY(form) prepared(query, &qx::LevenshteinQuery::form)
    check_forms<ref::Levenshtein>(p, t, false, "LevenshteinQuery::", QUERY(distance),
                                  QUERY(similarity), QUERY(normalized_distance),
                                  QUERY(normalized_similarity));
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
