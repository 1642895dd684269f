// Match masks of a pattern of at most 64 symbols, for the one-word bit-parallel kernels: bit i
// of the mask of a symbol is set when pattern position i holds it. No Python here.
//
// Keyed by the symbols themselves, so that building takes one pass and a lookup one or two
// loads: a direct table for symbols below 256, and for wider ones open addressing in 128
// inline slots (at most half full, probed from the process's seeded hash) whose occupancy is a
// bit set, so that only that set needs clearing. Patterns longer than 64 symbols, and kernels
// that need dense ids, use SymbolMasks (symbol_masks.hpp). Immutable once built: lookups may
// run concurrently on several threads.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "hashing.hpp"
#include "text.hpp"

namespace qx {

template <CodeUnit Unit, class Hash = SymbolHash>
class WordMasks {
  public:
    static constexpr size_t kMaxLength = 64;

    // Precondition: pattern.size() <= kMaxLength.
    explicit WordMasks(std::span<const Unit> pattern, Hash hash = {}) : hash_(hash) {
        std::memset(bytes_, 0, sizeof(bytes_));
        const size_t n = pattern.size();
        for (size_t i = 0; i < n; ++i) {
            const uint32_t c = pattern[i];
            if constexpr (sizeof(Unit) == 1) {
                bytes_[c] |= uint64_t{1} << i;
            } else {
                if (c < 256)
                    bytes_[c] |= uint64_t{1} << i;
                else
                    masks_[insert(c)] |= uint64_t{1} << i;
            }
        }
    }
    WordMasks(const WordMasks&) = delete;
    WordMasks& operator=(const WordMasks&) = delete;

    // The mask of `symbol` (0 when the pattern lacks it).
    template <CodeUnit S>
    uint64_t word(S symbol) const {
        if constexpr (sizeof(S) == 1) {
            return bytes_[symbol];
        } else if constexpr (sizeof(Unit) == 1) {
            return symbol < 256 ? bytes_[symbol] : 0;
        } else {
            return symbol < 256 ? bytes_[symbol] : wide(symbol);
        }
    }

  private:
    static constexpr size_t kSlots = 128;

    bool used(size_t slot) const { return (used_[slot / 64] >> (slot % 64)) & 1; }

    uint64_t wide(uint32_t symbol) const {
        size_t slot = hash_(symbol) & (kSlots - 1);
        while (used(slot)) {
            if (keys_[slot] == symbol) return masks_[slot];
            slot = (slot + 1) & (kSlots - 1);
        }
        return 0;
    }

    // The slot of `symbol`, taken (with an empty mask) when it was free.
    size_t insert(uint32_t symbol) {
        size_t slot = hash_(symbol) & (kSlots - 1);
        while (used(slot) && keys_[slot] != symbol) slot = (slot + 1) & (kSlots - 1);
        if (!used(slot)) {
            used_[slot / 64] |= uint64_t{1} << (slot % 64);
            keys_[slot] = symbol;
            masks_[slot] = 0;
        }
        return slot;
    }

    Hash hash_;
    uint64_t bytes_[256];
    uint64_t used_[2] = {0, 0};
    uint32_t keys_[sizeof(Unit) == 1 ? 1 : kSlots];
    uint64_t masks_[sizeof(Unit) == 1 ? 1 : kSlots];
};

}  // namespace qx
