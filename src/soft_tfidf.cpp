#include "soft_tfidf.hpp"

#include <algorithm>
#include <cmath>

#include "distance/jaro.hpp"
#include "fuzz/token_scores.hpp"
#include "interrupt.hpp"
#include "word_counts.hpp"

namespace qx {

namespace {

// Token similarity of two words: Jaro with a Winkler bonus for up to four common leading symbols.
template <CodeUnit A, CodeUnit B>
double token_similarity(Word<A> a, Word<B> b) {
    if (word_equal(a, b)) return 1.0;
    const double j = jaro_core(Text(a), Text(b));
    const size_t head = std::min<size_t>({4, a.size(), b.size()});
    const double factor = 0.1 * static_cast<double>(common_prefix(a.first(head), b.first(head)));
    return j + (1.0 - j) * factor;
}

// Sum of the squared counts, in order of first occurrence.
template <class Counts>
double squared_norm(const Counts& counts) {
    double sum = 0.0;
    for (const auto& e : counts) {
        double c = static_cast<double>(e.count);
        sum += c * c;
    }
    return sum;
}

// The similarity without cutoff; `early` tells whether it came from a text without words.
template <CodeUnit A, CodeUnit B>
double soft_tfidf_core(std::span<const A> s1, std::span<const B> s2, double threshold,
                       bool& early) {
    early = false;
    // Each map is only ever searched with words of its own text.
    TokenCounts<A> counts1;
    TokenCounts<B> counts2;
    for_each_word(s1, [&counts1](Word<A> w) { counts1.add(w); });
    for_each_word(s2, [&counts2](Word<B> w) { counts2.add(w); });
    if (counts1.empty() || counts2.empty()) {
        early = true;
        return counts1.empty() && counts2.empty() ? 1.0 : 0.0;
    }
    const double sq1 = squared_norm(counts1), sq2 = squared_norm(counts2);
    if (sq1 == 0.0 || sq2 == 0.0) return 0.0;
    const double norm1 = std::sqrt(sq1), norm2 = std::sqrt(sq2);

    // Both maps are visited in order of first occurrence, so ties between equally similar
    // partners and the order of the sum are the same in every run.
    double total = 0.0;
    PollBudget budget;
    for (const auto& a : counts1) {
        double best = 0.0, best_count = 0.0;
        for (const auto& b : counts2) {
            const double s = token_similarity(a.token, b.token);
            if (s >= threshold && s > best) {
                best = s;
                best_count = static_cast<double>(b.count);
            }
        }
        budget.spend(16 * counts2.size());
        if (best > 0.0)
            total = total + best * ((best_count / norm2) * (static_cast<double>(a.count) / norm1));
    }
    return total;
}

double soft_tfidf_uncut(Text s1, Text s2, double threshold, bool& early) {
    return visit(s1, s2,
                 [&](auto a, auto b) { return soft_tfidf_core(a, b, threshold, early); });
}

}  // namespace

double soft_tfidf_token_similarity(Text a, Text b) {
    return visit(a, b, [](auto x, auto y) { return token_similarity(x, y); });
}

double soft_tfidf_similarity(Text s1, Text s2, double threshold, FloatCutoff c) {
    bool early;
    double value = soft_tfidf_uncut(s1, s2, threshold, early);
    return early ? value : cut_similarity(value, c);
}

double soft_tfidf_distance(Text s1, Text s2, double threshold, FloatCutoff c) {
    bool early;
    return distance_from_similarity(soft_tfidf_uncut(s1, s2, threshold, early), c);
}

}  // namespace qx
