// Levenshtein measures: unit-cost insertions, deletions and substitutions, in code points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// Levenshtein distance of two texts. When `max` is given, any result above it may be
// reported as an arbitrary value above `max` (the computation may stop early); results
// at or below `max` are exact.
uint64_t levenshtein(Text s1, Text s2, uint64_t max = ~uint64_t{0});

uint64_t levenshtein_distance(Text s1, Text s2, IntCutoff cutoff);
uint64_t levenshtein_similarity(Text s1, Text s2, IntCutoff cutoff);
double levenshtein_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);
double levenshtein_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);

// A query whose match masks are built once, then scored against any number of choices. Each
// form gives exactly the value of the function above of (query, choice). Immutable once built:
// several threads may score with one query at once. The query text need not outlive it.
// Construction throws std::bad_alloc when memory is exhausted, as may scoring a long choice.
class LevenshteinQuery {
  public:
    explicit LevenshteinQuery(Text query);
    ~LevenshteinQuery();
    LevenshteinQuery(LevenshteinQuery&&) noexcept;
    LevenshteinQuery& operator=(LevenshteinQuery&&) noexcept;

    size_t length() const;
    // As levenshtein(query, choice, max).
    uint64_t bounded(Text choice, uint64_t max = ~uint64_t{0}) const;

    uint64_t distance(Text choice, IntCutoff cutoff) const;
    uint64_t similarity(Text choice, IntCutoff cutoff) const;
    double normalized_distance(Text choice, FloatCutoff cutoff) const;
    double normalized_similarity(Text choice, FloatCutoff cutoff) const;

  private:
    struct State;
    std::unique_ptr<const State> state_;
};

}  // namespace qx
