#include "set_measures.hpp"

#include <algorithm>

#include "word_counts.hpp"

namespace qx {

namespace {

// What every overlap formula needs from the two word bags.
struct BagSizes {
    bool both_empty;  // neither text has a word
    uint64_t n1;      // words of the first text
    uint64_t n2;      // words of the second text
    uint64_t shared;  // multiset intersection: sum of min(count1, count2) over the words
};

BagSizes bag_sizes(Text s1, Text s2) {
    const BagOverlap o = visit(s1, s2, [](auto a, auto b) { return word_overlap(a, b); });
    return BagSizes{o.n1 == 0 && o.n2 == 0, o.n1, o.n2, o.shared};
}

double jaccard_value(const BagSizes& b) {
    // The multiset union: sum of max(count1, count2) = n1 + n2 - intersection.
    uint64_t uni = b.n1 + b.n2 - b.shared;
    if (uni == 0) return 0.0;
    return static_cast<double>(b.shared) / static_cast<double>(uni);
}

double dice_value(const BagSizes& b) {
    double i = static_cast<double>(b.shared);
    double n = static_cast<double>(b.n1 + b.n2);
    if (n == 0.0) return 0.0;
    return (i + i) / n;
}

double tversky_value(const BagSizes& b, double alpha, double beta) {
    double i = static_cast<double>(b.shared);
    double only1 = static_cast<double>(b.n1 - b.shared);
    double only2 = static_cast<double>(b.n2 - b.shared);
    double d = ((alpha * only1) + i) + (beta * only2);
    if (d == 0.0) return 0.0;
    return i / d;
}

double overlap_value(const BagSizes& b) {
    uint64_t smaller = std::min(b.n1, b.n2);
    if (smaller == 0) return 0.0;
    return static_cast<double>(b.shared) / static_cast<double>(smaller);
}

// Similarity without cutoff: 1.0 when neither text has a word, else the measure's formula.
template <class Formula>
double uncut(Text s1, Text s2, Formula formula) {
    BagSizes b = bag_sizes(s1, s2);
    if (b.both_empty) return 1.0;
    return formula(b);
}

template <class Formula>
double similarity(Text s1, Text s2, FloatCutoff cutoff, Formula formula) {
    BagSizes b = bag_sizes(s1, s2);
    if (b.both_empty) return 1.0;  // returned before the cutoff is looked at
    return cut_similarity(formula(b), cutoff);
}

}  // namespace

double jaccard_similarity(Text s1, Text s2, FloatCutoff c) {
    return similarity(s1, s2, c, jaccard_value);
}
double jaccard_distance(Text s1, Text s2, FloatCutoff c) {
    return distance_from_similarity(uncut(s1, s2, jaccard_value), c);
}

double sorensen_dice_similarity(Text s1, Text s2, FloatCutoff c) {
    return similarity(s1, s2, c, dice_value);
}
double sorensen_dice_distance(Text s1, Text s2, FloatCutoff c) {
    return distance_from_similarity(uncut(s1, s2, dice_value), c);
}

double tversky_similarity(Text s1, Text s2, double alpha, double beta, FloatCutoff c) {
    return similarity(s1, s2, c, [=](const BagSizes& b) { return tversky_value(b, alpha, beta); });
}
double tversky_distance(Text s1, Text s2, double alpha, double beta, FloatCutoff c) {
    auto formula = [=](const BagSizes& b) { return tversky_value(b, alpha, beta); };
    return distance_from_similarity(uncut(s1, s2, formula), c);
}

double overlap_similarity(Text s1, Text s2, FloatCutoff c) {
    return similarity(s1, s2, c, overlap_value);
}
double overlap_distance(Text s1, Text s2, FloatCutoff c) {
    return distance_from_similarity(uncut(s1, s2, overlap_value), c);
}

}  // namespace qx
