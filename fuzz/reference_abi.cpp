// C entry points over reference.hpp for the Python tests (tests/reference.py loads this file's
// shared library with ctypes): texts as code point arrays, options as an array of doubles.
#include <functional>
#include <string>
#include <unordered_map>

#include "reference.hpp"

namespace {

using namespace ref;

// A result: none (Hamming of unequal lengths), an integer or a float.
struct Out {
    int kind = 0;
    uint64_t i = 0;
    double f = 0.0;
    Out() = default;
    Out(uint64_t v) : kind(1), i(v) {}
    Out(double v) : kind(2), f(v) {}
    template <class T>
    Out(std::optional<T> v) : Out() {
        if (v) *this = Out(*v);
    }
};

struct Call {
    const Texts& t;
    const double* opt;
    IntCut icut;
    FloatCut fcut;
};

using Fn = std::function<Out(const Call&)>;

template <class Forms>
void add_forms(std::unordered_map<std::string, Fn>& m, const std::string& stem) {
    m[stem + "_distance"] = [](const Call& c) { return Out(Forms::distance(c.t, c.icut)); };
    m[stem + "_similarity"] = [](const Call& c) { return Out(Forms::similarity(c.t, c.icut)); };
    m[stem + "_normalized_distance"] = [](const Call& c) {
        return Out(Forms::normalized_distance(c.t, c.fcut));
    };
    m[stem + "_normalized_similarity"] = [](const Call& c) {
        return Out(Forms::normalized_similarity(c.t, c.fcut));
    };
}

// alpha and beta: Tversky's weights (the other measures ignore them).
template <double (*F)(const Overlap&, double, double)>
void add_set(std::unordered_map<std::string, Fn>& m, const std::string& stem) {
    m[stem + "_similarity"] = [](const Call& c) {
        return Out(set_similarity<F>(c.t.a, c.t.b, c.opt[0], c.opt[1], c.fcut));
    };
    m[stem + "_distance"] = [](const Call& c) {
        return Out(set_distance<F>(c.t.a, c.t.b, c.opt[0], c.opt[1], c.fcut));
    };
}

// The similarity and distance forms of a measure of [0, 1] given by f.
void add_unit_forms(std::unordered_map<std::string, Fn>& m, const std::string& stem,
                    double (*f)(const Call&)) {
    for (std::string n : {"_", "_normalized_"}) {
        m[stem + n + "similarity"] = [f](const Call& c) { return Out(cut_sim(f(c), c.fcut)); };
        m[stem + n + "distance"] = [f](const Call& c) {
            return Out(cut_dist(1.0 - f(c), c.fcut));
        };
    }
}

using Ratio = double (*)(const std::string&, const std::string&, const Seq&, const Seq&, FloatCut);

const std::unordered_map<std::string, Fn>& table() {
    static const auto m = [] {
        std::unordered_map<std::string, Fn> m;
        add_forms<Levenshtein>(m, "levenshtein");
        add_forms<Indel>(m, "indel");
        add_forms<LcsSeq>(m, "lcs_seq");
        add_forms<Osa>(m, "osa");
        add_forms<DamerauLevenshtein>(m, "damerau_levenshtein");
        add_forms<Hamming>(m, "hamming");
        add_forms<Prefix>(m, "prefix");
        add_forms<Postfix>(m, "postfix");
        add_forms<LcsStr>(m, "lcs_str");
        add_unit_forms(m, "jaro", [](const Call& c) { return jaro(c.t.a, c.t.b); });
        add_unit_forms(m, "jaro_winkler",
                       [](const Call& c) { return jaro_winkler(c.t.a, c.t.b, c.opt[0]); });
        const std::pair<const char*, Ratio> ratios[] = {
            {"ratio", ratio}, {"q_ratio", q_ratio}, {"token_sort_ratio", token_sort_ratio},
            {"token_set_ratio", token_set_ratio}, {"token_ratio", token_ratio},
            {"partial_token_sort_ratio", partial_token_sort_ratio},
            {"partial_token_set_ratio", partial_token_set_ratio},
            {"partial_token_ratio", partial_token_ratio}, {"w_ratio", w_ratio}};
        for (auto [name, f] : ratios)
            m[name] = [f](const Call& c) { return Out(f(c.t.s1, c.t.s2, c.t.a, c.t.b, c.fcut)); };
        m["partial_ratio"] = [](const Call& c) {
            return Out(partial_ratio(c.t.a, c.t.b, c.fcut));
        };
        add_set<jaccard>(m, "jaccard");
        add_set<sorensen_dice>(m, "sorensen_dice");
        add_set<tversky>(m, "tversky");
        add_set<overlap_coefficient>(m, "overlap");
        m["cosine_similarity"] = [](const Call& c) {
            return Out(cosine_similarity(c.t.a, c.t.b, c.opt[0] != 0.0,
                                         static_cast<uint64_t>(c.opt[1]), c.fcut));
        };
        m["cosine_distance"] = [](const Call& c) {
            return Out(cosine_distance(c.t.a, c.t.b, c.opt[0] != 0.0,
                                       static_cast<uint64_t>(c.opt[1]), c.fcut));
        };
        // Soft TF-IDF: equal up to the order of its sum; none when a tie leaves the result to
        // that order.
        m["soft_tfidf_similarity"] = [](const Call& c) {
            bool ambiguous = false;
            double v = soft_tfidf_similarity(c.t.a, c.t.b, c.opt[0], c.fcut, ambiguous);
            return ambiguous ? Out() : Out(v);
        };
        m["soft_tfidf_distance"] = [](const Call& c) {
            bool ambiguous = false;
            double v = soft_tfidf_similarity(c.t.a, c.t.b, c.opt[0], {}, ambiguous);
            return ambiguous ? Out() : Out(cut_dist(1.0 - v, c.fcut));
        };
        m["soft_tfidf_token_similarity"] = [](const Call& c) {
            return Out(soft_tfidf_token(c.t.a, c.t.b));
        };
        using Align = double (*)(const Seq&, const Seq&, AlignParams, FloatCut);
        const std::pair<const char*, Align> aligns[] = {
            {"smith_waterman_score", smith_waterman_score},
            {"smith_waterman_normalized_similarity", smith_waterman_normalized},
            {"needleman_wunsch_score", needleman_wunsch_score},
            {"needleman_wunsch_normalized_similarity", needleman_wunsch_normalized}};
        for (auto [name, f] : aligns)
            m[name] = [f](const Call& c) {
                return Out(f(c.t.a, c.t.b, AlignParams{c.opt[0], c.opt[1], c.opt[2]}, c.fcut));
            };
        return m;
    }();
    return m;
}

}  // namespace

// Returns -1 for an unknown name, else the kind of result: 0 none, 1 integer (*iout), 2 float
// (*fout). cut_kind: 0 no cutoff, 1 the integer icut, 2 the float fcut.
extern "C" int qxref_call(const char* name, const uint32_t* a, size_t na, const uint32_t* b,
                          size_t nb, const double* opt, int cut_kind, uint64_t icut, double fcut,
                          uint64_t* iout, double* fout) {
    auto it = table().find(name);
    if (it == table().end()) return -1;
    const Seq x(a, a + na), y(b, b + nb);
    // Equal texts have equal code point arrays: their bytes stand for the UTF-8 forms.
    const std::string s1(reinterpret_cast<const char*>(a), na * 4);
    const std::string s2(reinterpret_cast<const char*>(b), nb * 4);
    const Texts t{s1, s2, x, y};
    IntCut ic;
    FloatCut fc;
    if (cut_kind == 1) ic = icut, fc = static_cast<double>(icut);
    if (cut_kind == 2) fc = fcut;
    Out out = it->second(Call{t, opt, ic, fc});
    *iout = out.i;
    *fout = out.f;
    return out.kind;
}

extern "C" int qxref_white_space(uint32_t c) {
    return ref::white_space(c) ? 1 : 0;
}
