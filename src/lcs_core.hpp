// Length of the longest common subsequence of two texts of any code-unit widths, bit-parallel
// (Hyyrö's recurrence) over the match masks of one of them (symbol_masks.hpp) whatever the
// alphabet. The common prefix and suffix are counted directly; the shorter remainder is the
// pattern whose masks are built, the other one is streamed. No Python here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "symbol_masks.hpp"
#include "text.hpp"

namespace qx {

// LCS of the pattern whose masks are given against `text` (any unit type). Polls for
// interruption on long inputs; throws std::bad_alloc when out of memory.
template <CodeUnit P, CodeUnit T>
uint64_t lcs_scan(const SymbolMasks<P>& masks, std::span<const T> text);

// LCS of two sequences of any unit types.
template <CodeUnit A, CodeUnit B>
uint64_t lcs_length(std::span<const A> a, std::span<const B> b);

// LCS of two texts.
uint64_t lcs_length(Text a, Text b);

// The masks of one text, the query, built once and then used for any number of other texts.
// Immutable after construction: lcs() may run on several threads at once. The query's code
// units are copied, so the object does not borrow the text it was made from.
class LcsQuery {
  public:
    explicit LcsQuery(Text query);
    ~LcsQuery();
    LcsQuery(const LcsQuery&) = delete;
    LcsQuery& operator=(const LcsQuery&) = delete;

    // The query as a text (the object's copy).
    Text text() const { return text_; }
    size_t length() const { return text_.length; }

    // LCS of the query and `choice`; equal to lcs_length(text(), choice).
    uint64_t lcs(Text choice) const;

  private:
    struct Masks;
    SmallVector<uint32_t, 16> units_;
    Text text_;
    std::unique_ptr<Masks> masks_;
};

}  // namespace qx
