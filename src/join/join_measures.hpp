// Which filter a similarity join may use for a measure, and the bounds that filter needs: for a
// pair of lengths (or of token counts), how far apart two texts may be and still meet the cutoff.
// Every bound here is a necessary condition only; the measure's own kernel decides each pair.
// No Python here.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "../function_table.hpp"

namespace qx::join {

enum class FilterKind : uint8_t {
    None,           // every pair is scored (still grouped by length)
    EditPartition,  // segment filter on an edit-distance bound (Levenshtein, OSA, DL, Indel, LCS)
    LengthOnly,     // the measure's bound depends on the two lengths only (Jaro, Jaro-Winkler)
    TokenPrefix,    // prefix filter over token multisets (Jaccard, Dice, overlap, cosine)
};

// The raw quantity a measure is read off, and which way its cutoff points.
enum class Family : uint8_t {
    Other,
    Levenshtein,     // edit distance d
    Transposition,   // OSA and Damerau-Levenshtein: d, where Levenshtein <= 2 d
    Indel,           // forms of the indel distance (LCS-based)
    LcsSeq,          // forms of max(len) - LCS
    Ratio,           // 200 LCS / (len1 + len2)
    TokenSortRatio,  // Ratio of the sorted-word texts
    Jaro,
    JaroWinkler,
    Jaccard,
    SorensenDice,
    Overlap,
    Cosine,
};

enum class Form : uint8_t { Distance, Similarity, NormalizedDistance, NormalizedSimilarity };

// Texts the index is built on, when they differ from the texts the kernel scores.
enum class FilterText : uint8_t { Same, SortedWords };
// Tokens of the prefix filter.
enum class TokenMode : uint8_t { Words, Ngrams };

// Bounds of an edit-distance measure for one pair of lengths.
struct EditLimits {
    int64_t levenshtein = -1;  // largest Levenshtein distance; -1: no pair of these lengths meets
    // Largest excess of symbol counts: max(P, N) for Levenshtein, OSA and Damerau-Levenshtein,
    // P + N for the LCS-based measures, where P (N) sums how many more times each symbol occurs
    // in the first (second) text than in the other.
    int64_t counts = -1;
    bool counts_summed = false;
};

struct Measure {
    Family family = Family::Other;
    Form form = Form::Distance;
    bool lower_is_better = false;  // the name ends in _distance: pairs meet at or below the cutoff
    double cutoff = 0.0;           // as a real number
    double prefix_weight = 0.0;    // Jaro-Winkler
    TokenMode tokens = TokenMode::Words;
    uint64_t ngram_size = 0;

    FilterKind filter() const;
    FilterText filter_text() const {
        return family == Family::TokenSortRatio ? FilterText::SortedWords : FilterText::Same;
    }

    // Largest Levenshtein distance two texts of these lengths (in the filter's texts) may have
    // and still meet the cutoff, or -1 when no such pair meets it. EditPartition measures.
    int64_t edit_limit(size_t len1, size_t len2) const { return edit_limits(len1, len2).levenshtein; }
    // The same bound, and the bound on the symbol counts it implies (see histogram_allows).
    EditLimits edit_limits(size_t len1, size_t len2) const;
    // False when no pair of texts of these lengths, with at most `matches` symbols in common
    // (a multiset intersection; the shorter length when unknown), can meet the cutoff.
    // LengthOnly measures.
    bool lengths_may_meet(size_t len1, size_t len2) const {
        return lengths_may_meet(len1, len2, std::min(len1, len2));
    }
    bool lengths_may_meet(size_t len1, size_t len2, size_t matches) const;
    // Fewest shared tokens (multiset intersection) two token bags of these sizes need to meet
    // the cutoff: 0 when no sharing is needed, more than min(n1, n2) when none meets it.
    // Both sizes are at least one. TokenPrefix measures.
    uint64_t min_overlap(uint64_t n1, uint64_t n2) const;

    // The cutoff test with room for the rounding of the kernels' formulas (bounds only).
    bool may_meet(double value) const;
};

// The measure of a scalar row with these options and cutoff. `cutoff` is the cutoff as a real.
Measure classify(const Row& row, const Options& options, double cutoff);

}  // namespace qx::join
