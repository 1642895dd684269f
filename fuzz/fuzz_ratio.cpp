// Fuzz target: the ratio scorers against reference.hpp, and the query forms (s1 prepared once)
// against the two-text functions.
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

using Score = double (*)(qx::Text, qx::Text, qx::FloatCutoff);
using Reference = double (*)(const std::string&, const std::string&, const Seq&, const Seq&,
                             FloatCut);

double partial_ratio_reference(const std::string&, const std::string&, const Seq& a,
                               const Seq& b, FloatCut c) {
    return ref::partial_ratio(a, b, c);
}

const struct {
    const char* name;
    Score kernel;
    Reference reference;
} kScorers[] = {
    {"ratio", qx::ratio, ref::ratio},
    {"q_ratio", qx::q_ratio, ref::q_ratio},
    {"partial_ratio", qx::partial_ratio, partial_ratio_reference},
    {"token_sort_ratio", qx::token_sort_ratio, ref::token_sort_ratio},
    {"token_set_ratio", qx::token_set_ratio, ref::token_set_ratio},
    {"token_ratio", qx::token_ratio, ref::token_ratio},
    {"partial_token_sort_ratio", qx::partial_token_sort_ratio, ref::partial_token_sort_ratio},
    {"partial_token_set_ratio", qx::partial_token_set_ratio, ref::partial_token_set_ratio},
    {"partial_token_ratio", qx::partial_token_ratio, ref::partial_token_ratio},
    {"w_ratio", qx::w_ratio, ref::w_ratio},
};

// A query form against its two-text function, under the cutoffs of the comparisons.
template <class Cut, class Query, class Form, class Function>
void agree(const char* name, const Pair& p, const Query& q, Form form, Function function,
           uint8_t pick, double scale) {
    const qx::Text t1 = p.t1(), t2 = p.t2();
    for (Cut c : cutoffs<Cut>(function(t1, t2, Cut{}), pick, scale))
        if (!same(value_of((q.*form)(t2, c)), value_of(function(t1, t2, c))))
            fail(name, p.a, p.b, "cutoff " + show(c));
}

void check_queries(const Pair& p, uint8_t pick) {
    const qx::RatioQuery r(p.t1());
    agree<FloatCut>("RatioQuery::ratio", p, r, &qx::RatioQuery::ratio, qx::ratio, pick, 100.0);
    agree<FloatCut>("RatioQuery::q_ratio", p, r, &qx::RatioQuery::q_ratio, qx::q_ratio, pick,
                    100.0);
    const qx::LcsMeasuresQuery q(p.t1());
#define AGREE(Cut, m) agree<Cut>(#m " query", p, q, &qx::LcsMeasuresQuery::m, qx::m, pick, 1.0)
#define AGREE_FORMS(m)                                                                  \
    AGREE(IntCut, m##_distance), AGREE(IntCut, m##_similarity),                         \
        AGREE(FloatCut, m##_normalized_distance), AGREE(FloatCut, m##_normalized_similarity)
    AGREE_FORMS(indel);
    AGREE_FORMS(lcs_seq);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::Bytes in(data, size);
    const Pair p = fuzzin::decode_pair(in, kCap);
    const Options score{.symmetric = true, .scale = 100.0, .range = true};
    for (const auto& m : kScorers)
        compare_all<FloatCut>(
            m.name, p, m.kernel,
            [&](FloatCut c) { return m.reference(p.s1, p.s2, p.a, p.b, c); }, score);
    if (take_check(p)) check_queries(p, p.extra[0]);
    if (take_check(p)) {  // the window search's LCS against the dynamic programme
        const uint64_t got = ref::LcsBits(p.a).lcs(p.b.data(), p.b.size());
        if (got != ref::lcs(p.a, p.b))
            fail("LcsBits", p.a, p.b, "got " + show(got) + ", lcs() " + show(ref::lcs(p.a, p.b)));
    }

    // The query-prepared forms equal their scalar kernels.
    if (take_check(p))
        agree<FloatCut>("TokenSortQuery", p, qx::TokenSortQuery(p.t1()),
                        &qx::TokenSortQuery::score, qx::token_sort_ratio, p.extra[1], 100.0);
    if (take_check(p))
        agree<FloatCut>("WRatioQuery", p, qx::WRatioQuery(p.t1()), &qx::WRatioQuery::score,
                        qx::w_ratio, p.extra[1], 100.0);
    return 0;
}
