// Fuzz target: the word-set measures, cosine, soft TF-IDF and the alignment scores (parameters
// with zeros, negatives, infinities, NaN) against reference.hpp.
#include <cmath>

#include "alignment/alignment.hpp"
#include "check.hpp"
#include "simd/alignment_dispatch.hpp"
#include "set_measures.hpp"
#include "soft_tfidf.hpp"
#include "vector/cosine.hpp"

namespace {

using namespace fuzzcheck;

constexpr size_t kCap = 200;

const Options kSymmetric{.symmetric = true, .range = true};
const Options kAsymmetric{.symmetric = false};
// Which of two equal operands of a maximum is kept is left open, so is the sign of a zero
// that such a tie produces (the two empty texts aside, checked below).
const Options kAlignment{.symmetric = false, .zero_sign = false};

constexpr double kParams[] = {1.0, 0.0,      -1.0,      2.0, 0.5,   -0.5,
                              3.0, INFINITY, -INFINITY, NAN, 1e308, -0.0};

// A set measure's similarity and distance; the ones without weights get alpha = beta = 1.
#define SET_MEASURE(m, F, alpha, beta)                                                      \
    check(#m "_similarity", qx::m##_similarity, ref::set_similarity<ref::F>, alpha, beta); \
    check(#m "_distance", qx::m##_distance, ref::set_distance<ref::F>, alpha, beta)

void check_sets(const Pair& p) {
    auto check = [&](const char* name, auto kernel, auto reference, double alpha, double beta) {
        // Symmetric (and inside [0, 1]) only with equal, non-negative finite weights.
        const bool symmetric = alpha == beta && alpha >= 0 && std::isfinite(alpha);
        compare_all<FloatCut>(
            name, p,
            [&](qx::Text x, qx::Text y, FloatCut c) {
                if constexpr (std::is_invocable_v<decltype(kernel), qx::Text, qx::Text, FloatCut>)
                    return kernel(x, y, c);
                else
                    return kernel(x, y, alpha, beta, c);
            },
            [&](FloatCut c) { return reference(p.a, p.b, alpha, beta, c); },
            symmetric ? kSymmetric : kAsymmetric);
    };
    SET_MEASURE(jaccard, jaccard, 1, 1);
    SET_MEASURE(sorensen_dice, sorensen_dice, 1, 1);
    SET_MEASURE(overlap, overlap_coefficient, 1, 1);
    SET_MEASURE(tversky, tversky, kParams[p.extra[2] % 12], kParams[p.extra[3] % 12]);
}

void check_cosine(const Pair& p) {
    const bool use_words = p.extra[4] & 1;
    const uint64_t n = 1 + (p.extra[4] >> 1) % 5;
    auto cosine = [&](const char* name, auto kernel, auto reference) {
        compare_all<FloatCut>(
            name, p,
            [&](qx::Text x, qx::Text y, FloatCut c) { return kernel(x, y, use_words, n, c); },
            [&](FloatCut c) { return reference(p.a, p.b, use_words, n, c); }, kSymmetric);
    };
    cosine("cosine_similarity", qx::cosine_similarity, ref::cosine_similarity);
    cosine("cosine_distance", qx::cosine_distance, ref::cosine_distance);
}

// Soft TF-IDF sums over hash maps: equal up to the order of the sum (ambiguous ties skipped).
void check_soft_tfidf(const Pair& p) {
    if (!take_check(p)) return;
    static constexpr double kThresholds[] = {0.8, 0.0, 0.5, 0.9, 1.0, -1.0, 0.95, 2.0};
    const double threshold = kThresholds[p.extra[5] % 8];
    bool ambiguous = false;
    const double expected = ref::soft_tfidf_similarity(p.a, p.b, threshold, {}, ambiguous);
    if (ambiguous) return;
    // Within rounding; a cutoff within rounding of the value may fall on either side of it.
    auto check = [&](const char* name, FloatCut c, double uncut, double got, double want) {
        auto within = [](double x, double y, double scale) {
            return x == y || std::fabs(x - y) <= 1e-12 * std::max(1.0, std::fabs(scale));
        };
        if (!(c && within(*c, uncut, *c)) && !within(got, want, want))
            fail(name, p.a, p.b,
                 "threshold " + show(threshold) + ", cutoff " + show(c) + ": got " + show(got) +
                     ", expected " + show(want));
    };
    for (FloatCut c : cutoffs<FloatCut>(expected, p.extra[6])) {
        bool unused;  // the cutoff has rules of its own (texts without words)
        check("soft_tfidf_similarity", c, expected,
              qx::soft_tfidf_similarity(p.t1(), p.t2(), threshold, c),
              ref::soft_tfidf_similarity(p.a, p.b, threshold, c, unused));
        check("soft_tfidf_distance", c, 1.0 - expected,
              qx::soft_tfidf_distance(p.t1(), p.t2(), threshold, c),
              ref::cut_dist(1.0 - expected, c));
    }
    const double token = qx::soft_tfidf_token_similarity(p.t1(), p.t2());
    if (!same(token, ref::soft_tfidf_token(p.a, p.b)))
        fail("soft_tfidf_token_similarity", p.a, p.b,
             "got " + show(token) + ", expected " + show(ref::soft_tfidf_token(p.a, p.b)));
}

void check_alignment(const Pair& p) {
    const ref::AlignParams ap{kParams[p.extra[2] % 12], kParams[p.extra[3] % 12],
                              kParams[p.extra[5] % 12]};
    // Mostly the defaults and other small finite values.
    const ref::AlignParams params = (p.extra[6] & 3) == 0 ? ref::AlignParams{1.0, 0.0, 1.0} : ap;
    auto align = [&](const char* name, auto kernel, auto reference) {
        compare_all<FloatCut>(
            name, p,
            [&](qx::Text x, qx::Text y, FloatCut c) {
                return kernel(x, y, params.match, params.mismatch, params.gap, c);
            },
            [&](FloatCut c) { return reference(p.a, p.b, params, c); }, kAlignment);
    };
    align("smith_waterman_score", qx::smith_waterman_score, ref::smith_waterman_score);
    align("smith_waterman_normalized_similarity", qx::smith_waterman_normalized_similarity,
          ref::smith_waterman_normalized);
    align("needleman_wunsch_score", qx::needleman_wunsch_score, ref::needleman_wunsch_score);
    align("needleman_wunsch_normalized_similarity", qx::needleman_wunsch_normalized_similarity,
          ref::needleman_wunsch_normalized);
    // Two empty texts: the global score is -(0 * gap), a negative zero for a positive gap.
    if (p.a.empty() && p.b.empty()) {
        double g = qx::needleman_wunsch_score(qx::Text{}, qx::Text{}, params.match,
                                              params.mismatch, params.gap, {});
        if (!same(g, -(0.0 * params.gap)))
            fail("needleman_wunsch_score", p.a, p.b, "two empty texts gave " + show(g));
    }
}

// The integer lanes of every instruction set (parameters for 16-bit, 32-bit or no lanes)
// against the double reference, signs of zeros too.
void check_integer_lanes(const Pair& p) {
    if (p.a.empty() || p.b.empty() || !take_check(p)) return;
    constexpr double kScale[] = {1.0, 1.0, 40.0, 3000.0, 1e6, 0x1p30};
    const double scale = kScale[p.extra[4] % 6];
    auto param = [&](uint8_t e) { return (static_cast<int>(e % 7) - 3) * scale; };
    const ref::AlignParams params{param(p.extra[2]), param(p.extra[3]), param(p.extra[5])};
    for (bool local : {true, false}) {
        const double want = ref::align_score(p.a, p.b, params, local);
        for (auto isa : {qx::simd::Isa::scalar, qx::simd::Isa::sse42, qx::simd::Isa::avx2}) {
            if (!qx::simd::isa_supported(isa)) continue;
            const auto& kernels = qx::simd::alignment_kernels(isa);
            auto got = qx::integer_alignment_score(p.t1(), p.t2(), params.match, params.mismatch,
                                                   params.gap, local, kernels);
            if (got && !same(*got, want))
                fail(local ? "integer local score" : "integer global score", p.a, p.b,
                     std::string(kernels.name) + ": got " + show(*got) + ", expected " +
                         show(want));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    check_sets(p);
    check_cosine(p);
    check_soft_tfidf(p);
    check_alignment(p);
    check_integer_lanes(p);
    return 0;
}
