#include "partial_token_ratios.hpp"

#include "token_scores.hpp"
#include "token_set.hpp"

namespace qx {

// The partial ratio kernel with a cutoff returns its best window score, or 0.0 when that is
// below the cutoff: exactly the window score followed by the final cut used here.

namespace {

// The words of both texts, sorted, and the partition of their distinct words.
template <CodeUnit A, CodeUnit B>
struct SortedPair {
    WordList<A> t1;
    WordList<B> t2;
    WordPartition<A, B> part;

    // The first text's words come from `sorted1` when it is given (a prepared query).
    SortedPair(std::span<const A> s1, std::span<const B> s2, const SortedWords* sorted1 = nullptr) {
        if (sorted1) {
            sorted1->load(t1);
        } else {
            split_words(s1, t1);
            sort_words(t1);
        }
        split_words(s2, t2);
        sort_words(t2);
    }
    void partition() { partition_sorted(t1, t2, part); }
};

template <CodeUnit A, CodeUnit B>
double joined_partial_ratio(const WordList<A>& a, const WordList<B>& b, FloatCutoff cutoff) {
    JoinBuffer<A> ba;
    JoinBuffer<B> bb;
    return partial_ratio(join_words(a, ba), join_words(b, bb), cutoff);
}

template <CodeUnit A, CodeUnit B>
double sort_core(std::span<const A> s1, std::span<const B> s2, FloatCutoff cutoff) {
    SortedPair<A, B> w(s1, s2);
    if (lists_equal(w.t1, w.t2)) return 100.0;
    return joined_partial_ratio(w.t1, w.t2, cutoff);
}

template <CodeUnit A, CodeUnit B>
double set_core(std::span<const A> s1, std::span<const B> s2, FloatCutoff cutoff) {
    SortedPair<A, B> w(s1, s2);
    w.partition();
    if (w.part.first_only.empty() && w.part.second_only.empty()) return 100.0;  // equal sets
    if (w.t1.empty() || w.t2.empty()) return 0.0;
    if (!w.part.shared.empty()) return 100.0;
    // Disjoint sets: each set is its own unshared part.
    return joined_partial_ratio(w.part.first_only, w.part.second_only, cutoff);
}

template <CodeUnit A, CodeUnit B>
double ratio_core(std::span<const A> s1, std::span<const B> s2, FloatCutoff cutoff,
                  const SortedWords* sorted1 = nullptr) {
    SortedPair<A, B> w(s1, s2, sorted1);
    w.partition();
    if (!w.part.shared.empty()) return 100.0;
    // Disjoint sets: the unshared words of each text are its distinct words.
    const bool repeats =
        w.t1.size() != w.part.first_only.size() || w.t2.size() != w.part.second_only.size();
    const double best = joined_partial_ratio(w.t1, w.t2, cutoff);
    if (!repeats) return best;
    // The second search only matters when it reaches both the cutoff and the first result.
    const double floor = cutoff ? max_of(*cutoff, best) : best;
    return max_of(best, joined_partial_ratio(w.part.first_only, w.part.second_only, floor));
}

}  // namespace

double partial_token_sort_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    if (same_text(s1, s2)) return 100.0;
    return visit(s1, s2, [&](auto a, auto b) { return sort_core(a, b, cutoff); });
}

double partial_token_set_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    if (same_text(s1, s2)) return 100.0;
    return visit(s1, s2, [&](auto a, auto b) { return set_core(a, b, cutoff); });
}

double partial_token_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    if (same_text(s1, s2)) return 100.0;
    return visit(s1, s2, [&](auto a, auto b) { return ratio_core(a, b, cutoff); });
}

double partial_token_ratio_sorted(const SortedWords& s1, Text s2, FloatCutoff cutoff) {
    if (same_text(s1.text(), s2)) return 100.0;
    return visit(s1.text(), s2, [&](auto a, auto b) { return ratio_core(a, b, cutoff, &s1); });
}

}  // namespace qx
