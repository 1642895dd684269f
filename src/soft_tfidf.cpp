#include "soft_tfidf.hpp"

#include <algorithm>
#include <cmath>

#include "distance/jaro.hpp"
#include "fuzz/token_scores.hpp"
#include "interrupt.hpp"
#include "word_counts.hpp"

namespace qx {

namespace {

// Token similarity of two words given also as UTF-8 (the form the Jaro kernel takes).
template <CodeUnit A, CodeUnit B>
double token_similarity(Word<A> a, Word<B> b, Utf8 a_utf8, Utf8 b_utf8) {
    if (word_equal(a, b)) return 1.0;
    const double j = jaro_core(a_utf8, b_utf8);
    const size_t head = std::min<size_t>({4, a.size(), b.size()});
    const double factor = 0.1 * static_cast<double>(common_prefix(a.first(head), b.first(head)));
    return j + (1.0 - j) * factor;
}

// TRANSITIONAL (until the Jaro kernel takes typed texts): the UTF-8 form of each distinct word
// of a count map, in entry order. Words of an ASCII text of width 1 are viewed in place;
// others are encoded once into one buffer.
template <CodeUnit T>
class WordsAsUtf8 {
  public:
    WordsAsUtf8(std::span<const T> text, const TokenCounts<T>& counts) {
        views_.resize(counts.size());
        if constexpr (sizeof(T) == 1) {
            const Utf8 bytes(reinterpret_cast<const char*>(text.data()), text.size());
            if (is_ascii(bytes)) {
                size_t i = 0;
                for (const auto& e : counts)
                    views_[i++] = Utf8(reinterpret_cast<const char*>(e.token.data()), e.token.size());
                return;
            }
        }
        size_t bytes = 0;
        for (const auto& e : counts) bytes += 4 * e.token.size();
        storage_.resize(bytes);
        size_t at = 0, i = 0;
        SmallVector<size_t, 16> ends;
        ends.resize(counts.size());
        for (const auto& e : counts) {
            at += encode_utf8(e.token, storage_.data() + at);
            ends[i++] = at;
        }
        for (size_t k = 0, begin = 0; k < ends.size(); begin = ends[k], ++k)
            views_[k] = Utf8(storage_.data() + begin, ends[k] - begin);
    }

    Utf8 operator[](size_t i) const { return views_[i]; }

  private:
    SmallVector<char, 512> storage_;
    SmallVector<Utf8, 16> views_;
};

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
    const WordsAsUtf8<A> utf8_1(s1, counts1);
    const WordsAsUtf8<B> utf8_2(s2, counts2);

    // Both maps are visited in order of first occurrence, so ties between equally similar
    // partners and the order of the sum are the same in every run.
    double total = 0.0;
    PollBudget budget;
    size_t i = 0;
    for (const auto& a : counts1) {
        double best = 0.0, best_count = 0.0;
        size_t j = 0;
        for (const auto& b : counts2) {
            const double s = token_similarity(a.token, b.token, utf8_1[i], utf8_2[j++]);
            if (s >= threshold && s > best) {
                best = s;
                best_count = static_cast<double>(b.count);
            }
        }
        ++i;
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
    const Utf8Form ua(a), ub(b);
    return visit(a, b, [&](auto x, auto y) { return token_similarity(x, y, ua.view(), ub.view()); });
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
