// Fuzz target: the fuzzy ratio scorers (ratio, quick ratio, partial ratio, token sort / set /
// ratio, the partial token ratios and the weighted ratio) against the plain procedures of
// reference.hpp: full window search for the partial ratio (only full-length windows for ASCII
// needles of 129 symbols or more), sorted and partitioned word lists for the token scorers.
// The query forms (masks of s1 built once) must give the two-text functions' values.

#include <cmath>

#include "check.hpp"
#include "distance/indel_lcs_seq.hpp"
#include "fuzz/partial_ratio.hpp"
#include "fuzz/partial_token_ratios.hpp"
#include "fuzz/ratio.hpp"
#include "fuzz/token_ratios.hpp"
#include "fuzz/w_ratio.hpp"

namespace {

using namespace fuzzcheck;

constexpr size_t kCap = 260;  // the reference window search is cubic

const Options kScore{.symmetric = true, .scale = 100.0, .range = true};

// The typed forms of the kernels that also take UTF-8.
using TypedScore = double (*)(qx::Text, qx::Text, qx::FloatCutoff);
constexpr TypedScore kRatio = qx::ratio;
constexpr TypedScore kPartialRatio = qx::partial_ratio;

// Query forms against the two-text functions, under the cutoffs of the comparisons.
void check_queries(const Pair& p, uint8_t pick) {
    const qx::Text t1 = p.t1(), t2 = p.t2();
    const qx::RatioQuery ratio_query(t1);
    for (FloatCut c : float_cutoffs(qx::ratio(t1, t2, std::nullopt), pick, 100.0)) {
        if (!same(ratio_query.ratio(t2, c), qx::ratio(t1, t2, c)))
            fail("RatioQuery::ratio", p.a, p.b, "cutoff " + show(c));
        if (!same(ratio_query.q_ratio(t2, c), qx::q_ratio(t1, t2, c)))
            fail("RatioQuery::q_ratio", p.a, p.b, "cutoff " + show(c));
    }
    const qx::LcsMeasuresQuery q(t1);
    auto agree = [&](const char* name, auto got, auto expected, auto c) {
        if (!same(got, expected)) fail(name, p.a, p.b, "cutoff " + show(c));
    };
    for (IntCut c : int_cutoffs(qx::indel_distance(t1, t2, std::nullopt), pick)) {
        agree("indel_distance query", q.indel_distance(t2, c), qx::indel_distance(t1, t2, c), c);
        agree("indel_similarity query", q.indel_similarity(t2, c),
              qx::indel_similarity(t1, t2, c), c);
        agree("lcs_seq_distance query", q.lcs_seq_distance(t2, c),
              qx::lcs_seq_distance(t1, t2, c), c);
        agree("lcs_seq_similarity query", q.lcs_seq_similarity(t2, c),
              qx::lcs_seq_similarity(t1, t2, c), c);
    }
    for (FloatCut c :
         float_cutoffs(qx::indel_normalized_distance(t1, t2, std::nullopt), pick, 1.0)) {
        agree("indel_normalized_distance query", q.indel_normalized_distance(t2, c),
              qx::indel_normalized_distance(t1, t2, c), c);
        agree("indel_normalized_similarity query", q.indel_normalized_similarity(t2, c),
              qx::indel_normalized_similarity(t1, t2, c), c);
        agree("lcs_seq_normalized_distance query", q.lcs_seq_normalized_distance(t2, c),
              qx::lcs_seq_normalized_distance(t1, t2, c), c);
        agree("lcs_seq_normalized_similarity query", q.lcs_seq_normalized_similarity(t2, c),
              qx::lcs_seq_normalized_similarity(t1, t2, c), c);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    const std::string& s1 = p.s1;
    const std::string& s2 = p.s2;
    const Seq& a = p.a;
    const Seq& b = p.b;

    compare_all<FloatCut>(
        "ratio", p, kRatio, [&](FloatCut c) { return ref::ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "q_ratio", p, qx::q_ratio, [&](FloatCut c) { return ref::q_ratio(s1, s2, a, b, c); },
        kScore);
    compare_all<FloatCut>(
        "partial_ratio", p, kPartialRatio,
        [&](FloatCut c) { return ref::partial_ratio(a, b, c); }, kScore);
    if (take_check(p)) {
        double best = qx::partial_ratio_best(p.t1(), p.t2());
        if (!same(best, ref::partial_best(a, b)))
            fail("partial_ratio_best", a, b,
                 "got " + show(best) + ", expected " + show(ref::partial_best(a, b)));
    }

    if (take_check(p)) check_queries(p, p.extra[0]);
    if (take_check(p)) {  // the window search's LCS against the dynamic programme
        const uint64_t got = ref::LcsBits(a).lcs(b.data(), b.size()), want = ref::lcs(a, b);
        if (got != want)
            fail("reference LcsBits", a, b, "got " + show(got) + ", expected " + show(want));
    }

    compare_all<FloatCut>(
        "token_sort_ratio", p, qx::token_sort_ratio,
        [&](FloatCut c) { return ref::token_sort_ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "token_set_ratio", p, qx::token_set_ratio,
        [&](FloatCut c) { return ref::token_set_ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "token_ratio", p, qx::token_ratio,
        [&](FloatCut c) { return ref::token_ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "partial_token_sort_ratio", p, qx::partial_token_sort_ratio,
        [&](FloatCut c) { return ref::partial_token_sort_ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "partial_token_set_ratio", p, qx::partial_token_set_ratio,
        [&](FloatCut c) { return ref::partial_token_set_ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "partial_token_ratio", p, qx::partial_token_ratio,
        [&](FloatCut c) { return ref::partial_token_ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "w_ratio", p, qx::w_ratio, [&](FloatCut c) { return ref::w_ratio(s1, s2, a, b, c); },
        kScore);

    // The query-prepared forms equal their scalar kernels (the query as first text).
    const qx::TokenSortQuery sort_query(p.t1());
    const qx::WRatioQuery w_query(p.t1());
    const double sort_uncut = qx::token_sort_ratio(p.t1(), p.t2(), {});
    const double w_uncut = qx::w_ratio(p.t1(), p.t2(), {});
    for (FloatCut c : {FloatCut{}, FloatCut(sort_uncut), FloatCut(w_uncut),
                       FloatCut(std::nextafter(w_uncut, 101.0)), FloatCut(p.extra[1] % 101)}) {
        const double sort_want = qx::token_sort_ratio(p.t1(), p.t2(), c);
        const double sort_got = sort_query.score(p.t2(), c);
        if (!same(sort_got, sort_want))
            fail("TokenSortQuery", a, b,
                 "cutoff " + show(c) + ": got " + show(sort_got) + ", expected " + show(sort_want));
        const double w_want = qx::w_ratio(p.t1(), p.t2(), c);
        const double w_got = w_query.score(p.t2(), c);
        if (!same(w_got, w_want))
            fail("WRatioQuery", a, b,
                 "cutoff " + show(c) + ": got " + show(w_got) + ", expected " + show(w_want));
    }
    return 0;
}
