#include "soft_tfidf.hpp"

#include <cmath>

#include "distance/jaro.hpp"
#include "fuzz/words.hpp"
#include "word_counts.hpp"

namespace qx {

namespace {

// Number of equal leading scalar values of a and b, at most four.
int common_prefix_up_to_4(Utf8 a, Utf8 b) {
    const auto* p = reinterpret_cast<const unsigned char*>(a.data());
    const auto* q = reinterpret_cast<const unsigned char*>(b.data());
    const auto* pe = p + a.size();
    const auto* qe = q + b.size();
    int n = 0;
    while (n < 4 && p < pe && q < qe && decode_one(p) == decode_one(q)) ++n;
    return n;
}

// Sum of the squared counts, in order of first occurrence.
double squared_norm(const TokenCounts& counts) {
    double sum = 0.0;
    for (const TokenCounts::Entry& e : counts) {
        double c = static_cast<double>(e.count);
        sum += c * c;
    }
    return sum;
}

// The similarity without cutoff; `early` tells whether it came from a text without words.
double soft_tfidf_uncut(Utf8 s1, Utf8 s2, double threshold, bool& early) {
    early = false;
    TokenList words1, words2;
    split_words(s1, words1);
    split_words(s2, words2);
    if (words1.empty() || words2.empty()) {
        early = true;
        return words1.empty() && words2.empty() ? 1.0 : 0.0;
    }
    TokenCounts counts1, counts2;
    for (Token w : words1) counts1.add(w);
    for (Token w : words2) counts2.add(w);
    double sq1 = squared_norm(counts1), sq2 = squared_norm(counts2);
    if (sq1 == 0.0 || sq2 == 0.0) return 0.0;
    double norm1 = std::sqrt(sq1), norm2 = std::sqrt(sq2);

    // Both maps are visited in order of first occurrence, so ties between equally similar
    // partners and the order of the sum are the same in every run.
    double total = 0.0;
    for (const TokenCounts::Entry& a : counts1) {
        double best = 0.0, best_count = 0.0;
        for (const TokenCounts::Entry& b : counts2) {
            double s = soft_tfidf_token_similarity(a.token, b.token);
            if (s >= threshold && s > best) {
                best = s;
                best_count = static_cast<double>(b.count);
            }
        }
        if (best > 0.0)
            total = total + best * ((best_count / norm2) * (static_cast<double>(a.count) / norm1));
    }
    return total;
}

}  // namespace

double soft_tfidf_token_similarity(Utf8 a, Utf8 b) {
    if (same_bytes(a, b)) return 1.0;
    double j = jaro_core(a, b);
    double factor = 0.1 * static_cast<double>(common_prefix_up_to_4(a, b));
    return j + (1.0 - j) * factor;
}

double soft_tfidf_similarity(Utf8 s1, Utf8 s2, double threshold, FloatCutoff c) {
    bool early;
    double value = soft_tfidf_uncut(s1, s2, threshold, early);
    return early ? value : cut_similarity(value, c);
}

double soft_tfidf_distance(Utf8 s1, Utf8 s2, double threshold, FloatCutoff c) {
    bool early;
    return distance_from_similarity(soft_tfidf_uncut(s1, s2, threshold, early), c);
}

}  // namespace qx
