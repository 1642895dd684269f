// A text's words (maximal runs without Unicode White_Space) sorted by their code points and
// joined by single spaces: the form token_sort_ratio compares, built once per text of a search.
// No Python here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../text.hpp"

namespace qx::search {

// White_Space: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028,
// U+2029, U+202F, U+205F, U+3000.
constexpr bool is_white_space(uint32_t c) {
    if (c < 0x80) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Appends the sorted, joined words of `text` to `out` and returns how many code points that
// added (0 for a text without words).
size_t append_sorted_words(Text text, std::vector<uint32_t>& out);

// Many texts' sorted words, back to back.
class SortedWordsList {
  public:
    // Sorts the words of every text (missing ones stay empty). Throws std::bad_alloc.
    SortedWordsList(std::span<const Text> texts, std::span<const uint8_t> present);
    Text operator[](size_t i) const {
        return Text(units_.data() + begin_[i], begin_[i + 1] - begin_[i], 4);
    }

  private:
    std::vector<uint32_t> units_;
    std::vector<size_t> begin_;
};

}  // namespace qx::search
