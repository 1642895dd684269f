// The four forms of an edit distance whose value lies between the difference of the lengths and
// the longer length, built around its core (the distance without a cutoff).
#pragma once

#include <algorithm>
#include <cstdint>

#include "../cutoff.hpp"
#include "../text.hpp"

namespace qx {

template <uint64_t (*Core)(Text, Text)>
struct EditForms {
    static uint64_t distance(Text s1, Text s2, IntCutoff cutoff) {
        if (cutoff) {
            // The distance is at least the length difference: past the cutoff, the result is known.
            const size_t len1 = s1.length, len2 = s2.length;
            const size_t diff = len1 > len2 ? len1 - len2 : len2 - len1;
            if (diff > *cutoff) return *cutoff + 1;
        }
        return cut_distance(Core(s1, s2), cutoff);
    }

    static uint64_t similarity(Text s1, Text s2, IntCutoff cutoff) {
        const size_t len1 = s1.length, len2 = s2.length;
        // The similarity is at most the shorter length.
        if (cutoff && std::min(len1, len2) < *cutoff) return 0;
        const uint64_t longest = std::max(len1, len2);
        return cut_similarity(longest - Core(s1, s2), cutoff);
    }

    static double normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
        const size_t longest = std::max(s1.length, s2.length);
        if (longest == 0) return 0.0;
        const double value = static_cast<double>(Core(s1, s2)) / static_cast<double>(longest);
        return cut_distance(value, cutoff);
    }

    static double normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
        return similarity_from_distance(normalized_distance(s1, s2, {}), cutoff);
    }
};

}  // namespace qx
