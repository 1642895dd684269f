// Words of a text: maximal runs of code points that are not Unicode White_Space, as spans of
// the text's own code units (no copies). Equal words compare equal whatever the widths of their
// texts; words sort in code-point order. No Python here.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "../text.hpp"

namespace qx {

// A word: a non-empty run of code units inside the caller's text.
template <CodeUnit T>
using Word = std::span<const T>;

// The words of one text in order, duplicates kept; 16 inline before any heap allocation.
template <CodeUnit T>
using WordList = SmallVector<Word<T>, 16>;

namespace words_detail {

// White_Space below U+0100: U+0009..U+000D, U+0020, U+0085, U+00A0.
struct ByteSpaces {
    bool table[256] = {};
    constexpr ByteSpaces() {
        for (int c = 0x09; c <= 0x0D; ++c) table[c] = true;
        table[0x20] = table[0x85] = table[0xA0] = true;
    }
};
inline constexpr ByteSpaces kByteSpaces{};

}  // namespace words_detail

// Unicode White_Space: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028,
// U+2029, U+202F, U+205F, U+3000. U+200B, U+180E, U+FEFF and U+001C..U+001F are not.
template <CodeUnit T>
inline bool is_white_space(T unit) {
    if constexpr (sizeof(T) == 1) {
        return words_detail::kByteSpaces.table[unit];
    } else {
        const uint32_t c = unit;
        if (c < 0x100) return words_detail::kByteSpaces.table[c];
        if (c < 0x1680 || c > 0x3000) return false;  // most letters of most scripts
        return c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
               c == 0x202F || c == 0x205F || c == 0x3000;
    }
}

namespace words_detail {

// n > 0 equal bytes at p and q; short runs by overlapping word loads, no call.
inline bool same_bytes(const void* p, const void* q, size_t n) {
    const auto* a = static_cast<const unsigned char*>(p);
    const auto* b = static_cast<const unsigned char*>(q);
    if (n >= 8) {
        if (n > 16) return std::memcmp(a, b, n) == 0;
        uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, a, 8);
        std::memcpy(&b0, b, 8);
        std::memcpy(&a1, a + n - 8, 8);
        std::memcpy(&b1, b + n - 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    if (n >= 4) {
        uint32_t a0, a1, b0, b1;
        std::memcpy(&a0, a, 4);
        std::memcpy(&b0, b, 4);
        std::memcpy(&a1, a + n - 4, 4);
        std::memcpy(&b1, b + n - 4, 4);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
    }
    return a[0] == b[0] && a[n >> 1] == b[n >> 1] && a[n - 1] == b[n - 1];
}

#if defined(__SSE2__)
// Bit i set when byte i of the 64 at p is White_Space (SSE2, part of every x86-64 baseline).
inline uint64_t space_mask64(const uint8_t* p) {
    const __m128i space = _mm_set1_epi8(0x20), tab = _mm_set1_epi8(0x09),
                  four = _mm_set1_epi8(0x04), nel = _mm_set1_epi8(static_cast<char>(0x85)),
                  nbsp = _mm_set1_epi8(static_cast<char>(0xA0));
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i t = _mm_sub_epi8(v, tab);  // U+0009..U+000D become 0..4
        const __m128i controls = _mm_cmpeq_epi8(_mm_min_epu8(t, four), t);
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), controls),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, nel), _mm_cmpeq_epi8(v, nbsp)));
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(hit))) << (16 * k);
    }
    return mask;
}

// Bit i set when unit i of the 64 at p is White_Space, for 16-bit units: lanes that may be
// white space (U+0000..U+0020, U+0085, U+00A0, U+1680..U+3000) are found eight at a time, and
// only those few are looked at one by one (none in most scripts' letters).
inline uint64_t space_mask64(const uint16_t* p) {
    const __m128i x20 = _mm_set1_epi16(0x20), x85 = _mm_set1_epi16(0x85),
                  xa0 = _mm_set1_epi16(0xA0), x1680 = _mm_set1_epi16(0x1680),
                  x3000 = _mm_set1_epi16(0x3000), zero = _mm_setzero_si128();
    auto maybe = [&](__m128i v) {
        const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, x20), zero);  // v <= 0x20
        const __m128i high = _mm_and_si128(_mm_cmpeq_epi16(_mm_subs_epu16(x1680, v), zero),
                                           _mm_cmpeq_epi16(_mm_subs_epu16(v, x3000), zero));
        return _mm_or_si128(_mm_or_si128(low, high),
                            _mm_or_si128(_mm_cmpeq_epi16(v, x85), _mm_cmpeq_epi16(v, xa0)));
    };
    uint64_t candidates = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k + 8));
        const __m128i both = _mm_packs_epi16(maybe(v0), maybe(v1));
        candidates |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(both)))
                      << (16 * k);
    }
    uint64_t mask = 0;
    for (uint64_t c = candidates; c; c &= c - 1) {
        const unsigned i = static_cast<unsigned>(std::countr_zero(c));
        if (is_white_space(p[i])) mask |= uint64_t{1} << i;
    }
    return mask;
}

// The words of a text of bytes or 16-bit units from masks of white space over 64 units at a
// time: word boundaries are found by counting bits, not by a branch per unit. Equals the unit
// loop of for_each_word.
template <class T, class F>
inline void for_each_masked_word(std::span<const T> text, F&& f) {
    const T* base = text.data();
    const size_t n = text.size();
    constexpr size_t kNone = ~size_t{0};
    size_t start = kNone;  // start of the word being read
    PollBudget budget;
    for (size_t block = 0; block < n; block += 64) {
        uint64_t spaces;
        if (block + 64 <= n) {
            spaces = space_mask64(base + block);
        } else {
            T tail[64];  // the last units, padded with spaces
            for (T& t : tail) t = T(' ');
            std::memcpy(tail, base + block, (n - block) * sizeof(T));
            spaces = space_mask64(tail);
        }
        uint64_t ahead = ~uint64_t{0};  // the positions not yet passed
        for (;;) {
            if (start == kNone) {
                const uint64_t starts = ~spaces & ahead;
                if (!starts) break;
                const unsigned i = static_cast<unsigned>(std::countr_zero(starts));
                start = block + i;
                ahead = ~uint64_t{0} << i;
            } else {
                const uint64_t ends = spaces & ahead;
                if (!ends) break;
                const unsigned i = static_cast<unsigned>(std::countr_zero(ends));
                f(Word<T>(base + start, block + i - start));
                start = kNone;
                ahead = ~uint64_t{0} << i;
            }
        }
        budget.spend(64);
    }
    if (start != kNone) f(Word<T>(base + start, n - start));
}
#endif

}  // namespace words_detail

// Calls f(Word<T>) for each word of `text` in order. Polls for interruption on long texts.
template <CodeUnit T, class F>
inline void for_each_word(std::span<const T> text, F&& f) {
#if defined(__SSE2__)
    if constexpr (sizeof(T) <= 2) {
        words_detail::for_each_masked_word(text, f);
        return;
    }
#endif
    const T* p = text.data();
    const T* const end = p + text.size();
    PollBudget budget;
    for (;;) {
        while (p < end && is_white_space(*p)) ++p;
        if (p == end) return;
        const T* word = p++;
        while (p < end && !is_white_space(*p)) ++p;
        const size_t length = static_cast<size_t>(p - word);
        f(Word<T>(word, length));
        budget.spend(length + 1);
    }
}

// Appends the words of `text` to `out`.
template <CodeUnit T>
inline void split_words(std::span<const T> text, WordList<T>& out) {
    for_each_word(text, [&out](Word<T> w) { out.push_back(w); });
}

// Code-point order of two words: negative, zero or positive as x sorts before, equal to or
// after y; a proper prefix comes first.
template <CodeUnit A, CodeUnit B>
inline int word_compare(Word<A> x, Word<B> y) {
    const size_t n = std::min(x.size(), y.size());
    if constexpr (sizeof(A) == 1 && sizeof(B) == 1) {
        const int c = n ? std::memcmp(x.data(), y.data(), n) : 0;
        if (c != 0) return c;
    } else {
        const size_t i = common_prefix(x.first(n), y.first(n));
        if (i < n) return static_cast<uint32_t>(x[i]) < static_cast<uint32_t>(y[i]) ? -1 : 1;
    }
    return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

template <CodeUnit A, CodeUnit B>
inline bool word_equal(Word<A> x, Word<B> y) {
    if (x.size() != y.size()) return false;
    if (x.empty()) return true;
    if constexpr (std::is_same_v<A, B>)
        return words_detail::same_bytes(x.data(), y.data(), x.size() * sizeof(A));
    else
        return common_prefix(x, y) == x.size();
}

}  // namespace qx
