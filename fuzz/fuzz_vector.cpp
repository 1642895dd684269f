// Fuzz target: the word-multiset measures (Jaccard, Sørensen-Dice, Tversky, overlap), cosine
// in word and n-gram mode, soft TF-IDF and the Smith-Waterman / Needleman-Wunsch scores with
// arbitrary parameters (zeros, negatives, infinities, NaN), against reference.hpp.
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

const Options kSymmetric{.symmetric = true, .normalized = true, .range = true};
const Options kAsymmetric{.symmetric = false};
// Which of two equal operands of a maximum is kept is left open, so is the sign of a zero
// that such a tie produces (the two empty texts aside, checked below).
const Options kAlignment{.symmetric = false, .zero_sign = false};

constexpr double kParams[] = {1.0, 0.0,      -1.0,      2.0, 0.5,   -0.5,
                              3.0, INFINITY, -INFINITY, NAN, 1e308, -0.0};

template <double (*F)(const ref::Overlap&, double, double)>
auto set_sim(const Pair& p, double alpha, double beta) {
    return
        [&p, alpha, beta](FloatCut c) { return ref::set_similarity<F>(p.a, p.b, alpha, beta, c); };
}

template <double (*F)(const ref::Overlap&, double, double)>
auto set_dist(const Pair& p, double alpha, double beta) {
    return [&p, alpha, beta](FloatCut c) { return ref::set_distance<F>(p.a, p.b, alpha, beta, c); };
}

void check_sets(const Pair& p) {
    compare_all<FloatCut>("jaccard_similarity", p, qx::jaccard_similarity,
                          set_sim<ref::jaccard>(p, 1, 1), kSymmetric);
    compare_all<FloatCut>("jaccard_distance", p, qx::jaccard_distance,
                          set_dist<ref::jaccard>(p, 1, 1), kSymmetric);
    compare_all<FloatCut>("sorensen_dice_similarity", p, qx::sorensen_dice_similarity,
                          set_sim<ref::sorensen_dice>(p, 1, 1), kSymmetric);
    compare_all<FloatCut>("sorensen_dice_distance", p, qx::sorensen_dice_distance,
                          set_dist<ref::sorensen_dice>(p, 1, 1), kSymmetric);
    compare_all<FloatCut>("overlap_similarity", p, qx::overlap_similarity,
                          set_sim<ref::overlap_coefficient>(p, 1, 1), kSymmetric);
    compare_all<FloatCut>("overlap_distance", p, qx::overlap_distance,
                          set_dist<ref::overlap_coefficient>(p, 1, 1), kSymmetric);

    const double alpha = kParams[p.extra[2] % 12], beta = kParams[p.extra[3] % 12];
    // Symmetric (and inside [0, 1]) only with equal, non-negative finite weights.
    const Options o =
        alpha == beta && alpha >= 0 && std::isfinite(alpha) ? kSymmetric : kAsymmetric;
    auto tv = [alpha, beta](auto kernel) {
        return [kernel, alpha, beta](qx::Text x, qx::Text y, FloatCut c) {
            return kernel(x, y, alpha, beta, c);
        };
    };
    compare_all<FloatCut>("tversky_similarity", p, tv(qx::tversky_similarity),
                          set_sim<ref::tversky>(p, alpha, beta), o);
    compare_all<FloatCut>("tversky_distance", p, tv(qx::tversky_distance),
                          set_dist<ref::tversky>(p, alpha, beta), o);
}

void check_cosine(const Pair& p) {
    const bool use_words = p.extra[4] & 1;
    const uint64_t n = 1 + (p.extra[4] >> 1) % 5;
    if (!use_words && qx::cosine_options_error(false, 0) == nullptr)
        fail("cosine_options_error", p.a, p.b, "n-gram size 0 accepted");
    if (qx::cosine_options_error(use_words, n) != nullptr)
        fail("cosine_options_error", p.a, p.b, "valid options refused");
    auto bind = [use_words, n](auto kernel) {
        return [kernel, use_words, n](qx::Text x, qx::Text y, FloatCut c) {
            return kernel(x, y, use_words, n, c);
        };
    };
    compare_all<FloatCut>(
        "cosine_similarity", p, bind(qx::cosine_similarity),
        [&](FloatCut c) { return ref::cosine_similarity(p.a, p.b, use_words, n, c); }, kSymmetric);
    compare_all<FloatCut>(
        "cosine_distance", p, bind(qx::cosine_distance),
        [&](FloatCut c) { return ref::cosine_distance(p.a, p.b, use_words, n, c); }, kSymmetric);
}

// Soft TF-IDF sums over hash maps: equal up to the order of the sum, and exactly equal only
// when no tie between partners of different counts leaves the choice to that order.
void check_soft_tfidf(const Pair& p) {
    if (!take_check(p)) return;
    static constexpr double kThresholds[] = {0.8, 0.0, 0.5, 0.9, 1.0, -1.0, 0.95, 2.0};
    const double threshold = kThresholds[p.extra[5] % 8];
    bool ambiguous = false;
    const double expected = ref::soft_tfidf_similarity(p.a, p.b, threshold, {}, ambiguous);
    if (ambiguous) return;
    auto close = [](double x, double y) {
        return x == y || std::fabs(x - y) <= 1e-12 * std::max(1.0, std::fabs(y));
    };
    for (FloatCut c : float_cutoffs(expected, p.extra[6], 1.0)) {
        bool unused;
        double want = ref::soft_tfidf_similarity(p.a, p.b, threshold, c, unused);
        double got = qx::soft_tfidf_similarity(p.t1(), p.t2(), threshold, c);
        // A cutoff within rounding of the value may fall on either side of it.
        bool near_cut = c && std::fabs(*c - expected) <= 1e-12 * std::max(1.0, std::fabs(*c));
        if (!near_cut && !close(got, want))
            fail("soft_tfidf_similarity", p.a, p.b,
                 "threshold " + show(threshold) + ", cutoff " + show(c) + ": got " + show(got) +
                     ", expected " + show(want));
        double want_d = ref::cut_dist(1.0 - expected, c);
        double got_d = qx::soft_tfidf_distance(p.t1(), p.t2(), threshold, c);
        bool near_dcut =
            c && std::fabs(*c - (1.0 - expected)) <= 1e-12 * std::max(1.0, std::fabs(*c));
        if (!near_dcut && !close(got_d, want_d))
            fail("soft_tfidf_distance", p.a, p.b,
                 "threshold " + show(threshold) + ", cutoff " + show(c) + ": got " + show(got_d) +
                     ", expected " + show(want_d));
    }
    double tsim = qx::soft_tfidf_token_similarity(p.t1(), p.t2());
    if (!same(tsim, ref::soft_tfidf_token(p.a, p.b)))
        fail("soft_tfidf_token_similarity", p.a, p.b,
             "got " + show(tsim) + ", expected " + show(ref::soft_tfidf_token(p.a, p.b)));
}

void check_alignment(const Pair& p) {
    const ref::AlignParams ap{kParams[p.extra[2] % 12], kParams[p.extra[3] % 12],
                              kParams[p.extra[5] % 12]};
    // Mostly the defaults and other small finite values.
    const ref::AlignParams params = (p.extra[6] & 3) == 0 ? ref::AlignParams{1.0, 0.0, 1.0} : ap;
    auto bind = [params](auto kernel) {
        return [kernel, params](qx::Text x, qx::Text y, FloatCut c) {
            return kernel(x, y, params.match, params.mismatch, params.gap, c);
        };
    };
    const std::string with = " (match " + show(params.match) + ", mismatch " +
                             show(params.mismatch) + ", gap " + show(params.gap) + ")";
    compare_all<FloatCut>(
        ("smith_waterman_score" + with).c_str(), p, bind(qx::smith_waterman_score),
        [&](FloatCut c) { return ref::smith_waterman_score(p.a, p.b, params, c); }, kAlignment);
    compare_all<FloatCut>(
        ("smith_waterman_normalized_similarity" + with).c_str(), p,
        bind(qx::smith_waterman_normalized_similarity),
        [&](FloatCut c) { return ref::smith_waterman_normalized(p.a, p.b, params, c); },
        kAlignment);
    compare_all<FloatCut>(
        ("needleman_wunsch_score" + with).c_str(), p, bind(qx::needleman_wunsch_score),
        [&](FloatCut c) { return ref::needleman_wunsch_score(p.a, p.b, params, c); }, kAlignment);
    compare_all<FloatCut>(
        ("needleman_wunsch_normalized_similarity" + with).c_str(), p,
        bind(qx::needleman_wunsch_normalized_similarity),
        [&](FloatCut c) { return ref::needleman_wunsch_normalized(p.a, p.b, params, c); },
        kAlignment);
    // Two empty texts: the global score is -(0 * gap), a negative zero for a positive gap.
    if (p.a.empty() && p.b.empty()) {
        double g = qx::needleman_wunsch_score(qx::Text{}, qx::Text{}, params.match,
                                              params.mismatch, params.gap, {});
        if (!same(g, -(0.0 * params.gap)))
            fail("needleman_wunsch_score", p.a, p.b, "two empty texts gave " + show(g));
    }
}

// The integer lanes of every instruction set this CPU runs, with integer parameters of every
// size (16-bit lanes, 32-bit lanes, none), against the double reference, signs of zeros too.
void check_integer_lanes(const Pair& p) {
    if (p.a.empty() || p.b.empty() || !take_check(p)) return;
    constexpr double kScale[] = {1.0, 1.0, 40.0, 3000.0, 1e6, 0x1p30};
    const double scale = kScale[p.extra[4] % 6];
    auto param = [&](uint8_t e) { return static_cast<double>(static_cast<int>(e % 7) - 3) * scale; };
    const ref::AlignParams params{param(p.extra[2]), param(p.extra[3]), param(p.extra[5])};
    for (bool local : {true, false}) {
        const double want = local ? ref::local_score(p.a, p.b, params)
                                  : ref::global_score(p.a, p.b, params);
        for (auto isa : {qx::simd::Isa::scalar, qx::simd::Isa::sse42, qx::simd::Isa::avx2}) {
            if (!qx::simd::isa_supported(isa)) continue;
            const auto& kernels = qx::simd::alignment_kernels(isa);
            auto got = qx::integer_alignment_score(p.t1(), p.t2(), params.match, params.mismatch,
                                                   params.gap, local, kernels);
            if (got && !same(*got, want))
                fail(local ? "integer local score" : "integer global score", p.a, p.b,
                     std::string(kernels.name) + " (match " + show(params.match) + ", mismatch " +
                         show(params.mismatch) + ", gap " + show(params.gap) + "): got " +
                         show(*got) + ", expected " + show(want));
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
