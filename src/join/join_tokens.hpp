// The texts and token bags the join's filters are built on: words split at Unicode White_Space
// (the split the word-based measures use), texts rebuilt from their sorted words, and
// character n-grams. No Python here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../text.hpp"

namespace qx::join {

// True for the Unicode White_Space code points: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000.
constexpr bool is_white_space(uint32_t c) {
    if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    if (c < 0x85) return false;
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Texts stored as code points, back to back; views stay valid while the store lives.
class CodePointTexts {
  public:
    void reserve(size_t texts, size_t code_points);
    // Appends the words of `t` sorted by code points (the order of their UTF-8 bytes), joined by
    // single spaces.
    void add_sorted_words(Text t);
    size_t size() const { return offsets_.size() - 1; }
    Text operator[](size_t i) const {
        return Text(units_.data() + offsets_[i], offsets_[i + 1] - offsets_[i], 4);
    }

  private:
    std::vector<uint32_t> units_;
    std::vector<size_t> offsets_{0};
};

// Token bags as sorted lists of element ranks, one list per text. A token occurring k times in
// a text gives k distinct elements (token, 1), ..., (token, k), so the size of the multiset
// intersection of two bags is the number of elements their lists share. Ranks order the
// elements from rarest to most common over every text given.
class TokenBags {
  public:
    // Words of every text when ngram_size is 0, else windows of ngram_size code points (a text
    // shorter than that is one token, the empty text included).
    TokenBags(std::span<const Text> first, std::span<const Text> second, uint64_t ngram_size);

    size_t size() const { return offsets_.size() - 1; }
    std::span<const uint32_t> bag(size_t i) const {
        return {ranks_.data() + offsets_[i], offsets_[i + 1] - offsets_[i]};
    }

  private:
    std::vector<uint32_t> ranks_;
    std::vector<size_t> offsets_{0};
};

}  // namespace qx::join
