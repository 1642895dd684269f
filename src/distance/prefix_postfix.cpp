#include "prefix_postfix.hpp"

#include <algorithm>

namespace qx {

namespace {

// The four forms around Shared, the number of code points the texts share at one end.
template <size_t (*Shared)(Text, Text)>
struct AffixForms {
    static uint64_t similarity(Text s1, Text s2, IntCutoff cutoff) {
        if (s1.empty()) return 0;
        return cut_similarity(static_cast<uint64_t>(Shared(s1, s2)), cutoff);
    }

    static uint64_t distance(Text s1, Text s2, IntCutoff cutoff) {
        const size_t longest = std::max(s1.length, s2.length);
        return cut_distance(static_cast<uint64_t>(longest - Shared(s1, s2)), cutoff);
    }

    static double normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
        const size_t longest = std::max(s1.length, s2.length);
        if (longest == 0) return 0.0;
        const size_t shared = s1.empty() ? 0 : Shared(s1, s2);
        const double value = static_cast<double>(longest - shared) / static_cast<double>(longest);
        return cut_distance(value, cutoff);
    }

    static double normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
        return similarity_from_distance(normalized_distance(s1, s2, {}), cutoff);
    }
};

size_t shared_prefix(Text a, Text b) {
    return common_prefix(a, b);
}
size_t shared_suffix(Text a, Text b) {
    return common_suffix(a, b);
}

using Prefix = AffixForms<shared_prefix>;
using Postfix = AffixForms<shared_suffix>;

}  // namespace

uint64_t prefix_similarity(Text s1, Text s2, IntCutoff c) {
    return Prefix::similarity(s1, s2, c);
}
uint64_t prefix_distance(Text s1, Text s2, IntCutoff c) {
    return Prefix::distance(s1, s2, c);
}
double prefix_normalized_distance(Text s1, Text s2, FloatCutoff c) {
    return Prefix::normalized_distance(s1, s2, c);
}
double prefix_normalized_similarity(Text s1, Text s2, FloatCutoff c) {
    return Prefix::normalized_similarity(s1, s2, c);
}

uint64_t postfix_similarity(Text s1, Text s2, IntCutoff c) {
    return Postfix::similarity(s1, s2, c);
}
uint64_t postfix_distance(Text s1, Text s2, IntCutoff c) {
    return Postfix::distance(s1, s2, c);
}
double postfix_normalized_distance(Text s1, Text s2, FloatCutoff c) {
    return Postfix::normalized_distance(s1, s2, c);
}
double postfix_normalized_similarity(Text s1, Text s2, FloatCutoff c) {
    return Postfix::normalized_similarity(s1, s2, c);
}

}  // namespace qx
