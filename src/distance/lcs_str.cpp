#include "lcs_str.hpp"

#include <algorithm>
#include <span>

#include "../small_vector.hpp"

namespace qx {

namespace {

// Dynamic programme over two rows of run lengths: cur[j] is the length of the common run
// ending at long[i-1] and short[j-1]. Every cell of cur is rewritten each step (cur[0] stays
// 0), so the rows need no clearing between steps. s2 is the longer text on a tie.
template <class Sym>
uint64_t longest_run(std::span<const Sym> s1, std::span<const Sym> s2) {
    const bool swap = s2.size() < s1.size();
    std::span<const Sym> lng = swap ? s1 : s2;
    std::span<const Sym> shrt = swap ? s2 : s1;
    const size_t n = shrt.size();

    SmallVector<uint64_t, 130> rows;
    rows.resize(2 * (n + 1));
    uint64_t* prev = rows.data();
    uint64_t* cur = rows.data() + n + 1;
    uint64_t best = 0;
    for (const Sym c : lng) {
        uint64_t row_best = 0;
        for (size_t j = 1; j <= n; ++j) {
            uint64_t v = shrt[j - 1] == c ? prev[j - 1] + 1 : 0;
            cur[j] = v;
            row_best = std::max(row_best, v);
        }
        best = std::max(best, row_best);
        std::swap(prev, cur);
    }
    return best;
}

double normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (same_bytes(s1, s2)) return 1.0;
    const size_t maximum = std::max(count_symbols(s1), count_symbols(s2));
    if (maximum == 0) return 1.0;
    const double value =
        static_cast<double>(longest_common_substring(s1, s2)) / static_cast<double>(maximum);
    return cut_similarity(value, cutoff);
}

}  // namespace

uint64_t longest_common_substring(Utf8 s1, Utf8 s2) {
    if (s1.empty() || s2.empty()) return 0;
    if (is_ascii(s1) && is_ascii(s2)) return longest_run(bytes_of(s1), bytes_of(s2));
    SymbolSeq a(s1), b(s2);
    return longest_run(a.view(), b.view());
}

uint64_t lcs_str_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    return cut_similarity(longest_common_substring(s1, s2), cutoff);
}

uint64_t lcs_str_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    if (same_bytes(s1, s2)) return 0;
    const size_t maximum = std::max(count_symbols(s1), count_symbols(s2));
    return cut_distance(static_cast<uint64_t>(maximum) - longest_common_substring(s1, s2), cutoff);
}

double lcs_str_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return normalized_similarity(s1, s2, cutoff);
}

double lcs_str_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return distance_from_similarity(normalized_similarity(s1, s2, {}), cutoff);
}

}  // namespace qx
