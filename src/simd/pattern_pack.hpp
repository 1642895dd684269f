// Many short patterns scored at once against one streamed text: each pattern (a choice of a
// one-to-many search, up to 64 symbols) sits in a lane of a row of mask bits, and every
// symbol of the text updates the bit-parallel state of all lanes with a few vector
// operations. A pack is built once and then read, by any number of threads at a time, for any
// number of texts.
//
// The results are raw values, one per pattern; the measures' own formulas (ratios, normalized
// forms, cutoffs, early returns for equal or empty texts) are applied by the caller:
//
//   lcs_lengths            length of the longest common subsequence of pattern k and the
//                          text (Indel distance = m + n - 2 * lcs; ratios from it)
//   levenshtein_distances  Levenshtein distance of pattern k and the text (unit costs)
//   jaro_counts            the Jaro matching of pattern k and the text: matches M,
//                          transpositions t (half the number of matched pairs whose symbols
//                          differ, rounded down) and the common prefix (at most 4 symbols)
//
// with m the pattern's length (PatternPack::length) and n the text's, both in symbols.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "cpu_dispatch.hpp"
#include "lane_layout.hpp"

namespace qx::simd {

// A borrowed text as code units of 1, 2 or 4 bytes; each unit is one symbol, compared by value.
struct Units {
    const void* data = nullptr;
    size_t size = 0;
    uint8_t width = 1;  // bytes per unit

    Units() = default;
    Units(std::span<const uint8_t> s) : data(s.data()), size(s.size()), width(1) {}
    Units(std::span<const uint16_t> s) : data(s.data()), size(s.size()), width(2) {}
    Units(std::span<const uint32_t> s) : data(s.data()), size(s.size()), width(4) {}

    uint32_t operator[](size_t i) const {
        if (width == 1) return static_cast<const uint8_t*>(data)[i];
        if (width == 2) return static_cast<const uint16_t*>(data)[i];
        return static_cast<const uint32_t*>(data)[i];
    }
};

// Lane widths; a lane of b bits holds a pattern of at most b symbols.
enum class LaneWidth : uint8_t { bits8, bits16, bits32, bits64 };

inline constexpr size_t kMaxPatternLength = 64;

constexpr size_t lane_bits(LaneWidth w) {
    return size_t{8} << static_cast<unsigned>(w);
}

// Patterns per pack: 64, 32, 16 or 8.
constexpr size_t pack_capacity(LaneWidth w) {
    return kRowBits / lane_bits(w);
}

// The narrowest lane width for a pattern of `length` symbols (at most kMaxPatternLength).
constexpr LaneWidth lane_width_for(size_t length) {
    return length <= 8 ? LaneWidth::bits8
           : length <= 16 ? LaneWidth::bits16
           : length <= 32 ? LaneWidth::bits32
                          : LaneWidth::bits64;
}

struct PackOptions {
    // Tests only: every symbol of the wide-symbol map starts probing at the same slot.
    bool colliding_hash = false;
};

struct JaroCounts {
    uint32_t matches = 0;
    uint32_t transpositions = 0;
    uint32_t prefix = 0;
};

class PatternPack;

// out[k] for each pattern k < pack.size(), as described at the top of this file. `kernels`
// picks the instruction set (tests and benchmarks compare them); the default is the best one.
void lcs_lengths(const PatternPack& pack, Units text, uint64_t* out,
                 const LaneKernels& kernels = active_lane_kernels());
void levenshtein_distances(const PatternPack& pack, Units text, uint64_t* out,
                           const LaneKernels& kernels = active_lane_kernels());
void jaro_counts(const PatternPack& pack, Units text, JaroCounts* out,
                 const LaneKernels& kernels = active_lane_kernels());

class PatternPack {
  public:
    // Packs `patterns` (at most pack_capacity(width), each of at most lane_bits(width)
    // symbols; pattern k goes to lane k). Throws std::invalid_argument when a limit is
    // exceeded and std::bad_alloc when memory runs out.
    PatternPack(LaneWidth width, std::span<const Units> patterns, PackOptions options = {});

    LaneWidth lane_width() const { return width_; }
    size_t size() const { return count_; }
    size_t length(size_t k) const { return lengths_[k]; }

  private:
    friend void lcs_lengths(const PatternPack&, Units, uint64_t*, const LaneKernels&);
    friend void levenshtein_distances(const PatternPack&, Units, uint64_t*, const LaneKernels&);
    friend void jaro_counts(const PatternPack&, Units, JaroCounts*, const LaneKernels&);

    static constexpr size_t kMaxLanes = kRowBits / 8;
    static constexpr size_t kHeadLength = 4;
    static constexpr uint32_t kNoPage = 0xFFFFFFFFu;  // no symbol has this page (v >> 8)

    RowId add_symbol(uint32_t v);
    RowId wide_id(uint32_t v) const;
    // Row ids of the text's symbols; 0 for the symbols no pattern holds.
    void map_text(Units text, RowId* ids) const;
    template <class Unit>
    void map_units(const Unit* text, size_t n, RowId* ids) const;

    LaneWidth width_;
    size_t count_ = 0;
    std::array<uint8_t, kMaxLanes> lengths_{};
    std::array<std::array<uint32_t, kHeadLength>, kMaxLanes> heads_{};  // first symbols
    Row last_{};  // per lane: the bit of the last pattern position

    // Symbol -> row id: a direct table below 256, a second one for the 256 code points of one
    // page (the page the patterns use most above U+00FF, e.g. Cyrillic), and an
    // open-addressing map under the process-wide seeded hash for the rest.
    std::array<RowId, 256> low_ids_{};
    std::array<RowId, 256> page_ids_{};
    uint32_t page_ = kNoPage;
    std::vector<uint32_t> wide_keys_;
    std::vector<RowId> wide_ids_;  // 0: free slot
    size_t slot_mask_ = 0;
    size_t hash_mask_ = 0;  // slot_mask_, or 0 to make every symbol collide

    std::vector<Row> rows_;  // row 0: no pattern holds the symbol
};

}  // namespace qx::simd
