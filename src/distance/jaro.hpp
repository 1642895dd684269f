// Jaro and Jaro-Winkler similarity, in code points.
#pragma once

#include <cstddef>
#include <memory>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

// Jaro similarity without any cutoff: 1.0 for equal texts (two empty ones included), 0.0 when
// exactly one is empty or nothing matches.
double jaro_core(Text s1, Text s2);

double jaro_similarity(Text s1, Text s2, FloatCutoff cutoff);
double jaro_distance(Text s1, Text s2, FloatCutoff cutoff);
double jaro_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff);
double jaro_normalized_distance(Text s1, Text s2, FloatCutoff cutoff);

double jaro_winkler_similarity(Text s1, Text s2, double prefix_weight, FloatCutoff cutoff);
double jaro_winkler_distance(Text s1, Text s2, double prefix_weight, FloatCutoff cutoff);
double jaro_winkler_normalized_similarity(Text s1, Text s2, double prefix_weight,
                                          FloatCutoff cutoff);
double jaro_winkler_normalized_distance(Text s1, Text s2, double prefix_weight, FloatCutoff cutoff);

// A query whose match masks are built once, then scored against any number of choices. Each
// form gives exactly the value of the function above of (query, choice). Immutable once built:
// several threads may score with one query at once. The query is copied (it need not outlive
// this object). Construction and scoring throw std::bad_alloc when memory is exhausted.
class JaroQuery {
  public:
    explicit JaroQuery(Text query);
    ~JaroQuery();
    JaroQuery(JaroQuery&&) noexcept;
    JaroQuery& operator=(JaroQuery&&) noexcept;

    size_t length() const;
    // As jaro_core(query, choice).
    double core(Text choice) const;

    double similarity(Text choice, FloatCutoff cutoff) const;
    double distance(Text choice, FloatCutoff cutoff) const;
    double normalized_similarity(Text choice, FloatCutoff cutoff) const;
    double normalized_distance(Text choice, FloatCutoff cutoff) const;

    double winkler_similarity(Text choice, double prefix_weight, FloatCutoff cutoff) const;
    double winkler_distance(Text choice, double prefix_weight, FloatCutoff cutoff) const;
    double winkler_normalized_similarity(Text choice, double prefix_weight,
                                         FloatCutoff cutoff) const;
    double winkler_normalized_distance(Text choice, double prefix_weight,
                                       FloatCutoff cutoff) const;

  private:
    double winkler_core(Text choice, double prefix_weight) const;

    struct State;
    std::unique_ptr<const State> state_;
};

}  // namespace qx
