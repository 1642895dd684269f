// Fuzz target: the fuzzy ratio scorers (ratio, quick ratio, partial ratio, token sort / set /
// ratio, the partial token ratios and the weighted ratio) against the plain procedures of
// reference.hpp: full window search for the partial ratio (only full-length windows for ASCII
// needles of 129 symbols or more), sorted and partitioned word lists for the token scorers.
#include "check.hpp"
#include "fuzz/partial_ratio.hpp"
#include "fuzz/partial_token_ratios.hpp"
#include "fuzz/ratio.hpp"
#include "fuzz/token_ratios.hpp"
#include "fuzz/w_ratio.hpp"

namespace {

using namespace fuzzcheck;

constexpr size_t kCap = 260;  // the reference window search is cubic

const Options kScore{.symmetric = true, .scale = 100.0, .range = true};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    const std::string& s1 = p.s1;
    const std::string& s2 = p.s2;
    const Seq& a = p.a;
    const Seq& b = p.b;

    compare_all<FloatCut>(
        "ratio", p, qx::ratio, [&](FloatCut c) { return ref::ratio(s1, s2, a, b, c); }, kScore);
    compare_all<FloatCut>(
        "q_ratio", p, qx::q_ratio, [&](FloatCut c) { return ref::q_ratio(s1, s2, a, b, c); },
        kScore);
    compare_all<FloatCut>(
        "partial_ratio", p, qx::partial_ratio,
        [&](FloatCut c) { return ref::partial_ratio(a, b, c); }, kScore);
    if (take_check(p)) {
        double best = qx::partial_ratio_best(s1, s2);
        if (!same(best, ref::partial_best(a, b)))
            fail("partial_ratio_best", a, b,
                 "got " + show(best) + ", expected " + show(ref::partial_best(a, b)));
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
    return 0;
}
