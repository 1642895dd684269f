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
        return [kernel, weight](std::string_view x, std::string_view y, FloatCut c) {
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
    // The uncut Jaro entry point that soft TF-IDF builds on.
    if (take_check(p)) {
        double core = qx::jaro_core(p.s1, p.s2);
        if (!same(core, ref::jaro(p.a, p.b)))
            fail("jaro_core", p.a, p.b,
                 "got " + show(core) + ", expected " + show(ref::jaro(p.a, p.b)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    const ref::Texts t{p.s1, p.s2, p.a, p.b};
    if (take_check(p)) check_bridge(p);

    CHECK_FORMS(levenshtein, ref::Levenshtein);
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
