// Fuzz target: the edit-distance measures (Levenshtein, Indel, LCS sequence, optimal string
// alignment, Damerau-Levenshtein, Hamming, prefix/postfix, longest common substring, Jaro and
// Jaro-Winkler) in all their forms, against the plain procedures of reference.hpp, under
// cutoffs below, at and above each value, with the texts in both orders (each input checks
// one form of one measure).
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

const Options kPlain{.symmetric = true};
const Options kNormalized{.symmetric = true, .normalized = true, .range = true};

// The four forms of a measure with integer distance and similarity.
#define CHECK_FORMS(prefix, Forms)                                                        \
    do {                                                                                  \
        compare_all<IntCut>(                                                              \
            #prefix "_distance", p, qx::prefix##_distance,                                \
            [&](IntCut c) { return Forms::distance(t, c); }, kPlain);                     \
        compare_all<IntCut>(                                                              \
            #prefix "_similarity", p, qx::prefix##_similarity,                            \
            [&](IntCut c) { return Forms::similarity(t, c); }, kPlain);                   \
        compare_all<FloatCut>(                                                            \
            #prefix "_normalized_distance", p, qx::prefix##_normalized_distance,          \
            [&](FloatCut c) { return Forms::normalized_distance(t, c); }, kNormalized);   \
        compare_all<FloatCut>(                                                            \
            #prefix "_normalized_similarity", p, qx::prefix##_normalized_similarity,      \
            [&](FloatCut c) { return Forms::normalized_similarity(t, c); }, kNormalized); \
    } while (0)

// The prepared Levenshtein query (s1) against the scalar references, every form and cutoff.
void check_levenshtein_query(const Pair& p, const ref::Texts& t) {
    const qx::LevenshteinQuery query(p.t1());
    const Options one_way{.symmetric = false};
    const Options one_way_normalized{.symmetric = false, .normalized = true, .range = true};
    compare_all<IntCut>(
        "LevenshteinQuery::distance", p,
        [&](qx::Text, qx::Text y, IntCut c) { return query.distance(y, c); },
        [&](IntCut c) { return ref::Levenshtein::distance(t, c); }, one_way);
    compare_all<IntCut>(
        "LevenshteinQuery::similarity", p,
        [&](qx::Text, qx::Text y, IntCut c) { return query.similarity(y, c); },
        [&](IntCut c) { return ref::Levenshtein::similarity(t, c); }, one_way);
    compare_all<FloatCut>(
        "LevenshteinQuery::normalized_distance", p,
        [&](qx::Text, qx::Text y, FloatCut c) { return query.normalized_distance(y, c); },
        [&](FloatCut c) { return ref::Levenshtein::normalized_distance(t, c); },
        one_way_normalized);
    compare_all<FloatCut>(
        "LevenshteinQuery::normalized_similarity", p,
        [&](qx::Text, qx::Text y, FloatCut c) { return query.normalized_similarity(y, c); },
        [&](FloatCut c) { return ref::Levenshtein::normalized_similarity(t, c); },
        one_way_normalized);
}

void check_jaro(const Pair& p, double weight) {
    auto sim = [&](FloatCut c) { return ref::cut_sim(ref::jaro(p.a, p.b), c); };
    auto dist = [&](FloatCut c) { return ref::cut_dist(1.0 - ref::jaro(p.a, p.b), c); };
    compare_all<FloatCut>("jaro_similarity", p, qx::jaro_similarity, sim, kNormalized);
    compare_all<FloatCut>("jaro_normalized_similarity", p, qx::jaro_normalized_similarity, sim,
                          kNormalized);
    compare_all<FloatCut>("jaro_distance", p, qx::jaro_distance, dist, kNormalized);
    compare_all<FloatCut>("jaro_normalized_distance", p, qx::jaro_normalized_distance, dist,
                          kNormalized);

    // Inside [0, 1] only for weights up to 0.25.
    const Options jw_options = weight >= 0.0 && weight <= 0.25 ? kNormalized : kPlain;
    auto jw_sim = [&](FloatCut c) { return ref::cut_sim(ref::jaro_winkler(p.a, p.b, weight), c); };
    auto jw_dist = [&](FloatCut c) {
        return ref::cut_dist(1.0 - ref::jaro_winkler(p.a, p.b, weight), c);
    };
    auto bind = [weight](auto kernel) {
        return [kernel, weight](qx::Text x, qx::Text y, FloatCut c) {
            return kernel(x, y, weight, c);
        };
    };
    compare_all<FloatCut>("jaro_winkler_similarity", p, bind(qx::jaro_winkler_similarity), jw_sim,
                          jw_options);
    compare_all<FloatCut>("jaro_winkler_normalized_similarity", p,
                          bind(qx::jaro_winkler_normalized_similarity), jw_sim, jw_options);
    compare_all<FloatCut>("jaro_winkler_distance", p, bind(qx::jaro_winkler_distance), jw_dist,
                          jw_options);
    compare_all<FloatCut>("jaro_winkler_normalized_distance", p,
                          bind(qx::jaro_winkler_normalized_distance), jw_dist, jw_options);
    // The uncut Jaro entry points that soft TF-IDF builds on (typed, and UTF-8 through the
    // bridge), and the prepared query against every choice form.
    if (take_check(p)) {
        const double expected = ref::jaro(p.a, p.b);
        for (double core : {qx::jaro_core(p.t1(), p.t2()),
                            qx::jaro_core(std::string_view(p.s1), std::string_view(p.s2))})
            if (!same(core, expected))
                fail("jaro_core", p.a, p.b, "got " + show(core) + ", expected " + show(expected));
    }
    const qx::JaroQuery query(p.t1());
    auto prepared = [&](auto form) {
        return [&query, form](qx::Text, qx::Text y, FloatCut c) { return (query.*form)(y, c); };
    };
    const Options one_way{.symmetric = false, .normalized = true, .range = true};
    compare_all<FloatCut>("JaroQuery::similarity", p, prepared(&qx::JaroQuery::similarity), sim,
                          one_way);
    compare_all<FloatCut>("JaroQuery::distance", p, prepared(&qx::JaroQuery::distance), dist,
                          one_way);
    auto prepared_jw = [&](auto form) {
        return [&query, form, weight](qx::Text, qx::Text y, FloatCut c) {
            return (query.*form)(y, weight, c);
        };
    };
    const Options jw_one_way{.symmetric = false};
    compare_all<FloatCut>("JaroQuery::winkler_similarity", p,
                          prepared_jw(&qx::JaroQuery::winkler_similarity), jw_sim, jw_one_way);
    compare_all<FloatCut>("JaroQuery::winkler_distance", p,
                          prepared_jw(&qx::JaroQuery::winkler_distance), jw_dist, jw_one_way);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    const ref::Texts t{p.s1, p.s2, p.a, p.b};
    if (take_check(p)) check_bridge(p);

    CHECK_FORMS(levenshtein, ref::Levenshtein);
    check_levenshtein_query(p, t);
    CHECK_FORMS(indel, ref::Indel);
    CHECK_FORMS(lcs_seq, ref::LcsSeq);
    CHECK_FORMS(osa, ref::Osa);
    CHECK_FORMS(damerau_levenshtein, ref::DamerauLevenshtein);
    CHECK_FORMS(hamming, ref::Hamming);
    CHECK_FORMS(prefix, ref::Prefix);
    CHECK_FORMS(postfix, ref::Postfix);
    CHECK_FORMS(lcs_str, ref::LcsStr);

    static constexpr double kWeights[] = {0.1, 0.0, 0.25, 0.2, 0.5, -0.1, 1.0, NAN};
    check_jaro(p, kWeights[p.extra[1] % 8]);
    return 0;
}
