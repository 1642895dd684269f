#include "lcs_core.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "char_masks.hpp"

namespace qx {

namespace {

inline uint64_t popcount(uint64_t x) {
    return static_cast<uint64_t>(std::popcount(x));
}

// One step of the recurrence on a single word: S' = (S + u) | (S - u), u = S & match.
inline uint64_t step(uint64_t s, uint64_t match) {
    uint64_t u = s & match;
    return (s + u) | (s - u);
}

// Pattern of 1 to 64 bytes.
uint64_t lcs_one_word(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    CharMaskTable pm(p);
    const size_t m = p.size();
    uint64_t s = low_bits(m);
    for (unsigned char c : t) s = step(s, pm[c]);
    return m - popcount(s & low_bits(m));
}

// Pattern of 65 to 128 bytes: a 128-bit state over two stack tables.
uint64_t lcs_two_words(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    CharMaskTable t0(p.first(64));
    CharMaskTable t1(p.subspan(64));
    const size_t m = p.size();
    uint64_t s0 = ~uint64_t{0}, s1 = ~uint64_t{0};
    for (unsigned char c : t) {
        uint64_t u0 = s0 & t0[c];
        uint64_t u1 = s1 & t1[c];
        uint64_t sum0 = s0 + u0;
        uint64_t carry = sum0 < s0;
        s0 = sum0 | (s0 - u0);
        s1 = (s1 + u1 + carry) | (s1 - u1);
    }
    return popcount(~s0) + (m - 64) - popcount(s1 & low_bits(m - 64));
}

// Pattern of 129 to 192 bytes: a 192-bit state over three stack tables.
uint64_t lcs_three_words(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    CharMaskTable t0(p.first(64));
    CharMaskTable t1(p.subspan(64, 64));
    CharMaskTable t2(p.subspan(128));
    const size_t m = p.size();
    uint64_t s0 = ~uint64_t{0}, s1 = ~uint64_t{0}, s2 = ~uint64_t{0};
    for (unsigned char c : t) {
        uint64_t u0 = s0 & t0[c];
        uint64_t u1 = s1 & t1[c];
        uint64_t u2 = s2 & t2[c];
        uint64_t sum0 = s0 + u0;
        uint64_t carry0 = sum0 < s0;
        uint64_t sum1 = s1 + u1;
        uint64_t carry1 = sum1 < s1;
        sum1 += carry0;
        carry1 |= sum1 < carry0;
        s0 = sum0 | (s0 - u0);
        s1 = sum1 | (s1 - u1);
        s2 = (s2 + u2 + carry1) | (s2 - u2);
    }
    return popcount(~s0) + popcount(~s1) + (m - 128) - popcount(s2 & low_bits(m - 128));
}

// Pattern of 193 bytes or more: block tables and a heap state vector of w words.
uint64_t lcs_blocks(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    BlockCharMaskTable pm(p);
    const size_t w = pm.blocks();
    const size_t m = p.size();
    std::unique_ptr<uint64_t[]> s(new uint64_t[w]);
    std::fill_n(s.get(), w, ~uint64_t{0});
    for (unsigned char c : t) {
        const uint64_t* entry = pm.entry_ptr(0, c);
        uint64_t carry = 0;
        for (size_t j = 0; j < w; ++j, entry += 256) {
            uint64_t sj = s[j];
            uint64_t u = sj & *entry;
            uint64_t sum = sj + u;
            uint64_t c1 = sum < sj;
            sum += carry;
            carry = c1 | (sum < carry);
            s[j] = sum | (sj - u);
        }
    }
    uint64_t lcs = 0;
    for (size_t j = 0; j < w; ++j) {
        size_t r = std::min<size_t>(m - 64 * j, 64);
        lcs += r - popcount(s[j] & low_bits(r));
    }
    return lcs;
}

// A pair of growable counter rows owned by one thread.
struct ThreadRows {
    std::vector<uint64_t> prev;
    std::vector<uint64_t> cur;

    // Sizes both rows to at least `size` counters and zero-fills the first `size`.
    void prepare(size_t size) {
        if (prev.size() < size) {
            prev.resize(size);
            cur.resize(size);
        }
        std::fill_n(prev.data(), size, 0);
        std::fill_n(cur.data(), size, 0);
    }
};

thread_local ThreadRows lcs_rows;     // lcs_symbols, shorter sequences up to 512 symbols
thread_local ThreadRows window_rows;  // the partial-ratio instance

constexpr size_t kThreadRowLimit = 512;

// Two-row dynamic programme: `outer` streamed, `inner` (k symbols) spans the rows, which
// hold k + 1 zeroed counters. With Backward both sequences are read from their ends.
template <bool Backward>
uint64_t lcs_dp(std::span<const uint32_t> outer, std::span<const uint32_t> inner, uint64_t* prev,
                uint64_t* cur, uint64_t* profile) {
    const size_t k = inner.size();
    const size_t n = outer.size();
    const uint32_t* a = inner.data();
    for (size_t i = 0; i < n; ++i) {
        uint32_t b = Backward ? outer[n - 1 - i] : outer[i];
        uint64_t left = 0;
        for (size_t j = 0; j < k; ++j) {
            uint32_t aj = Backward ? a[k - 1 - j] : a[j];
            uint64_t up = prev[j + 1];
            uint64_t v = aj == b ? prev[j] + 1 : (up > left ? up : left);
            cur[j + 1] = v;
            left = v;
        }
        // cur[0] stays zero in both rows, so the exchanged row needs no clearing to be
        // overwritten in the next step.
        std::swap(prev, cur);
        if (profile) profile[i] = prev[k];
    }
    return prev[k];
}

}  // namespace

uint64_t lcs_bytes(std::span<const unsigned char> s1, std::span<const unsigned char> s2) {
    const size_t m = s1.size();
    if (m == 0 || s2.empty()) return 0;
    if (m <= 64) return lcs_one_word(s1, s2);
    if (m <= 128) return lcs_two_words(s1, s2);
    if (m <= 192) return lcs_three_words(s1, s2);
    return lcs_blocks(s1, s2);
}

uint64_t lcs_symbols(std::span<const uint32_t> s1, std::span<const uint32_t> s2) {
    if (s1.empty() || s2.empty()) return 0;
    if (s1.size() == s2.size() &&
        std::memcmp(s1.data(), s2.data(), s1.size() * sizeof(uint32_t)) == 0)
        return s1.size();
    std::span<const uint32_t> longer = s1.size() >= s2.size() ? s1 : s2;
    std::span<const uint32_t> shorter = s1.size() >= s2.size() ? s2 : s1;
    const size_t k = shorter.size();
    if (k <= kThreadRowLimit) {
        lcs_rows.prepare(k + 1);
        return lcs_dp<false>(longer, shorter, lcs_rows.prev.data(), lcs_rows.cur.data(), nullptr);
    }
    std::vector<uint64_t> prev(k + 1, 0), cur(k + 1, 0);
    return lcs_dp<false>(longer, shorter, prev.data(), cur.data(), nullptr);
}

uint64_t lcs_length(Text s1, Text s2) {
    if (s1.empty() || s2.empty()) return 0;
    if (is_ascii(s1) && is_ascii(s2)) return lcs_bytes(bytes_of(s1), bytes_of(s2));
    SymbolSeq a(s1), b(s2);
    return lcs_symbols(a.view(), b.view());
}

uint64_t lcs_symbols_window(std::span<const uint32_t> outer, std::span<const uint32_t> inner,
                            uint64_t* profile, bool backward) {
    window_rows.prepare(inner.size() + 1);
    uint64_t* prev = window_rows.prev.data();
    uint64_t* cur = window_rows.cur.data();
    return backward ? lcs_dp<true>(outer, inner, prev, cur, profile)
                    : lcs_dp<false>(outer, inner, prev, cur, profile);
}

}  // namespace qx
