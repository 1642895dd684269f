#include "lcs_str.hpp"

#include <algorithm>
#include <new>
#include <span>

#include "../interrupt.hpp"
#include "../small_vector.hpp"

namespace qx {

namespace {

// Dynamic programme over two rows of run lengths: cur[j] is the length of the common run
// ending at the current symbol of the longer text and short[j-1]. Every cell of cur is
// rewritten each step (cur[0] stays 0), so the rows need no clearing between steps.
template <CodeUnit L, CodeUnit S>
uint64_t longest_run(std::span<const L> lng, std::span<const S> shrt) {
    const size_t n = shrt.size();
    SmallVector<uint32_t, 130> rows;
    rows.resize(2 * (n + 1));
    uint32_t* prev = rows.data();
    uint32_t* cur = rows.data() + n + 1;
    const S* s = shrt.data();
    uint32_t best = 0;
    PollBudget budget;
    for (const L c : lng) {
        uint32_t row_best = 0;
        for (size_t j = 1; j <= n; ++j) {
            const uint32_t v = s[j - 1] == c ? prev[j - 1] + 1 : 0;
            cur[j] = v;
            row_best = std::max(row_best, v);
        }
        best = std::max(best, row_best);
        std::swap(prev, cur);
        budget.spend(n);
    }
    return best;
}

uint64_t longest_run_of(Text s1, Text s2) {
    if (s1.empty() || s2.empty()) return 0;
    // Runs are at most as long as the shorter text: 32-bit counters suffice below 2^32.
    if (std::min(s1.length, s2.length) >= (uint64_t{1} << 32)) throw std::bad_alloc();
    return visit(s1, s2, [](auto a, auto b) -> uint64_t {
        return b.size() < a.size() ? longest_run(a, b) : longest_run(b, a);
    });
}

double normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    if (same_text(s1, s2)) return 1.0;
    const size_t maximum = std::max(s1.length, s2.length);
    const double value =
        static_cast<double>(longest_run_of(s1, s2)) / static_cast<double>(maximum);
    return cut_similarity(value, cutoff);
}

}  // namespace

uint64_t longest_common_substring(Text s1, Text s2) {
    return longest_run_of(s1, s2);
}

uint64_t lcs_str_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return cut_similarity(longest_run_of(s1, s2), cutoff);
}

uint64_t lcs_str_distance(Text s1, Text s2, IntCutoff cutoff) {
    if (same_text(s1, s2)) return 0;
    const size_t maximum = std::max(s1.length, s2.length);
    return cut_distance(static_cast<uint64_t>(maximum) - longest_run_of(s1, s2), cutoff);
}

double lcs_str_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return normalized_similarity(s1, s2, cutoff);
}

double lcs_str_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return distance_from_similarity(normalized_similarity(s1, s2, {}), cutoff);
}

}  // namespace qx
