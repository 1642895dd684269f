#include "partial_token_ratios.hpp"

#include "partial_ratio.hpp"
#include "token_scores.hpp"
#include "token_set.hpp"

namespace qx {

// The partial ratio kernel with a cutoff returns its best window score, or 0.0 when that is
// below the cutoff: exactly the window score followed by the final cut used here.

namespace {

// Sorted copy of a set's words joined by single spaces.
Utf8 join_sorted(const TokenSet& set, TokenList& scratch, JoinBuffer& buffer) {
    scratch = set.items();
    sort_tokens(scratch);
    return join_tokens(scratch, buffer);
}

}  // namespace

double partial_token_sort_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (same_bytes(s1, s2)) return 100.0;
    TokenList t1, t2;
    split_words(s1, t1);
    split_words(s2, t2);
    sort_tokens(t1);
    sort_tokens(t2);
    if (lists_equal(t1, t2)) return 100.0;
    JoinBuffer b1, b2;
    return partial_ratio(join_tokens(t1, b1), join_tokens(t2, b2), cutoff);
}

double partial_token_set_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (same_bytes(s1, s2)) return 100.0;
    TokenList t1, t2;
    split_words(s1, t1);
    split_words(s2, t2);
    TokenSet set1(t1), set2(t2);
    if (sets_equal(set1, set2)) return 100.0;
    if (set1.empty() || set2.empty()) return 0.0;
    if (sets_intersect(set1, set2)) return 100.0;
    // Disjoint sets: each set is its own unshared part.
    JoinBuffer ba, bb;
    Utf8 a = join_sorted(set1, t1, ba);
    Utf8 b = join_sorted(set2, t2, bb);
    return partial_ratio(a, b, cutoff);
}

double partial_token_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (same_bytes(s1, s2)) return 100.0;
    TokenList t1, t2;
    split_words(s1, t1);
    split_words(s2, t2);
    TokenSet set1(t1), set2(t2);
    if (sets_intersect(set1, set2)) return 100.0;
    // Disjoint sets: the unshared words of each text are its distinct words.
    bool repeats = t1.size() != set1.size() || t2.size() != set2.size();
    sort_tokens(t1);
    sort_tokens(t2);
    JoinBuffer b1, b2;
    double best = partial_ratio(join_tokens(t1, b1), join_tokens(t2, b2), cutoff);
    if (!repeats) return best;
    // The second search only matters when it reaches both the cutoff and the first result.
    double floor = cutoff ? max_of(*cutoff, best) : best;
    Utf8 a = join_sorted(set1, t1, b1);
    Utf8 b = join_sorted(set2, t2, b2);
    return max_of(best, partial_ratio(a, b, floor));
}

}  // namespace qx
