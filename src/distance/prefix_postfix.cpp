#include "prefix_postfix.hpp"

#include <algorithm>
#include <optional>

#include "edit_forms.hpp"

namespace qx {

namespace {

// The pair around Shared, the number of code points the texts share at one end (edit_forms.hpp):
// the maximum is the longer length.
template <size_t (*Shared)(Text, Text)>
struct AffixPair {
    static constexpr bool kBounded = false;
    Text s1, s2;

    uint64_t maximum() const { return std::max(s1.length, s2.length); }
    uint64_t distance(uint64_t) const {
        return maximum() - (s1.empty() ? 0 : static_cast<uint64_t>(Shared(s1, s2)));
    }
    bool settled_when_identical() const { return false; }
    std::optional<uint64_t> settled_similarity() const { return std::nullopt; }
};

size_t shared_prefix(Text a, Text b) {
    return common_prefix(a, b);
}
size_t shared_suffix(Text a, Text b) {
    return common_suffix(a, b);
}

using Prefix = EditForms<AffixPair<shared_prefix>>;
using Postfix = EditForms<AffixPair<shared_suffix>>;

}  // namespace

uint64_t prefix_similarity(Text s1, Text s2, IntCutoff c) {
    return Prefix::similarity({s1, s2}, c);
}
uint64_t prefix_distance(Text s1, Text s2, IntCutoff c) {
    return Prefix::distance({s1, s2}, c);
}
double prefix_normalized_distance(Text s1, Text s2, FloatCutoff c) {
    return Prefix::normalized_distance({s1, s2}, c);
}
double prefix_normalized_similarity(Text s1, Text s2, FloatCutoff c) {
    return Prefix::normalized_similarity({s1, s2}, c);
}

uint64_t postfix_similarity(Text s1, Text s2, IntCutoff c) {
    return Postfix::similarity({s1, s2}, c);
}
uint64_t postfix_distance(Text s1, Text s2, IntCutoff c) {
    return Postfix::distance({s1, s2}, c);
}
double postfix_normalized_distance(Text s1, Text s2, FloatCutoff c) {
    return Postfix::normalized_distance({s1, s2}, c);
}
double postfix_normalized_similarity(Text s1, Text s2, FloatCutoff c) {
    return Postfix::normalized_similarity({s1, s2}, c);
}

}  // namespace qx
