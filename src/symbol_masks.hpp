// Match masks of a pattern for the bit-parallel kernels, for symbols of any value: bit i of word
// b of a symbol's row is set when pattern position 64 * b + i holds that symbol. No Python here.
//
// Every distinct pattern symbol gets a dense id (1, 2, ...; 0 for symbols the pattern lacks):
// symbols below 256 through a direct table, wider ones through an open-addressing table under
// the process's seeded hash. A pattern stored in bytes has no wide symbols, and its lookups use
// the direct table alone. Rows are kept per id, whole (`blocks()` words each) while that costs
// little memory; for long patterns with many distinct symbols only the non-zero words are kept
// and a Reader assembles a row on demand, so memory stays linear in the pattern's length.
//
// Built once, a map is immutable: lookups may run concurrently on several threads (one Reader
// per thread). Running out of memory throws std::bad_alloc, as does a pattern of 2^31 symbols
// or more.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>

#include "hashing.hpp"
#include "small_vector.hpp"
#include "text.hpp"

namespace qx {

template <CodeUnit Unit, class Hash = SymbolHash>
class SymbolMasks {
  public:
    explicit SymbolMasks(std::span<const Unit> pattern, Hash hash = {})
        : hash_(hash), length_(pattern.size()), blocks_((pattern.size() + 63) / 64) {
        if (length_ > kMaxLength) throw std::bad_alloc();  // ids and entries count in 32 bits
        SmallVector<uint32_t, 64> position_ids;
        assign_ids(pattern, position_ids);
        const size_t rows = symbols_ + 1;
        // Whole rows while they cost at most four words per pattern position (at most 255
        // distinct symbols) or 64 KiB in all.
        dense_ = rows <= 256 || rows * blocks_ <= kDenseWords;
        if (dense_)
            fill_rows(position_ids);
        else
            fill_entries(position_ids);
    }
    SymbolMasks(const SymbolMasks&) = delete;
    SymbolMasks& operator=(const SymbolMasks&) = delete;

    size_t length() const { return length_; }
    size_t blocks() const { return blocks_; }
    // Number of distinct symbols of the pattern.
    size_t symbols() const { return symbols_; }

    // Dense id of `symbol` in 1..symbols(), or 0 when the pattern lacks it.
    template <CodeUnit S>
    uint32_t id(S symbol) const {
        if constexpr (sizeof(S) == 1) {
            return byte_ids_[symbol];
        } else if constexpr (sizeof(Unit) == 1) {
            return symbol < 256 ? byte_ids_[symbol] : 0;
        } else {
            return symbol < 256 ? byte_ids_[symbol] : wide_id(symbol);
        }
    }

    // The mask of `symbol` in a pattern of at most 64 positions.
    template <CodeUnit S>
    uint64_t word(S symbol) const {
        return rows_[id(symbol)];
    }

    // Reads whole rows; one per thread, the map itself is shared.
    class Reader {
      public:
        explicit Reader(const SymbolMasks& masks) : masks_(masks) {
            if (!masks.dense_) row_.resize(masks.blocks_);
        }

        // The blocks() words of the mask of `symbol`, valid until the next call.
        template <CodeUnit S>
        const uint64_t* row(S symbol) {
            const uint32_t id = masks_.id(symbol);
            if (masks_.dense_) return masks_.rows_.data() + id * masks_.blocks_;
            if (id != shown_) {
                // Clear the words of the row shown before, then set those of this one.
                for (uint32_t e = masks_.starts_[shown_]; e < masks_.starts_[shown_ + 1]; ++e)
                    row_[masks_.entry_blocks_[e]] = 0;
                for (uint32_t e = masks_.starts_[id]; e < masks_.starts_[id + 1]; ++e)
                    row_[masks_.entry_blocks_[e]] = masks_.entry_words_[e];
                shown_ = id;
            }
            return row_.data();
        }

      private:
        const SymbolMasks& masks_;
        SmallVector<uint64_t, 4> row_;
        uint32_t shown_ = 0;
    };

  private:
    static constexpr size_t kDenseWords = 8192;
    static constexpr size_t kMaxLength = (size_t{1} << 31) - 1;

    struct Slot {
        uint32_t key;  // the symbol; 0 marks a free slot (wide symbols are at least 256)
        uint32_t id;
    };

    uint32_t wide_id(uint32_t symbol) const {
        if (table_.empty()) return 0;
        size_t at = hash_(symbol) & (table_.size() - 1);
        for (;;) {
            const Slot& slot = table_[at];
            if (slot.key == symbol) return slot.id + byte_symbols_;
            if (slot.key == 0) return 0;
            at = (at + 1) & (table_.size() - 1);
        }
    }

    // Slot of `symbol`, or of the free slot where it belongs.
    Slot& find_slot(uint32_t symbol) {
        size_t at = hash_(symbol) & (table_.size() - 1);
        while (table_[at].key != 0 && table_[at].key != symbol) at = (at + 1) & (table_.size() - 1);
        return table_[at];
    }

    void grow_table() {
        SmallVector<Slot, 16> old = table_;
        table_.clear();
        table_.resize(old.empty() ? 16 : 2 * old.size());
        for (const Slot& slot : old)
            if (slot.key != 0) find_slot(slot.key) = slot;
    }

    // Gives every distinct symbol its id, in order of first occurrence among the byte symbols
    // (1..bytes) and then among the wide ones (after the byte symbols), and records the id of
    // every position.
    void assign_ids(std::span<const Unit> pattern, SmallVector<uint32_t, 64>& position_ids) {
        std::memset(byte_ids_, 0, sizeof(byte_ids_));
        position_ids.resize(length_);
        if (sizeof(Unit) > 1) {
            // Sized for half the positions (up to 256) to hold distinct wide symbols: short
            // patterns fill it without rehashing.
            const size_t expected = std::min<size_t>(length_, 512);
            table_.resize(std::max<size_t>(16, std::bit_ceil(expected + 2)));
        }
        uint32_t bytes = 0, wide = 0;
        for (size_t i = 0; i < length_; ++i) {
            const uint32_t c = pattern[i];
            uint32_t id;
            if (sizeof(Unit) == 1 || c < 256) {
                id = byte_ids_[c];
                if (id == 0) id = byte_ids_[c] = static_cast<uint16_t>(++bytes);
            } else {
                if (2 * (wide + 1) > table_.size()) grow_table();  // at most half full
                Slot& slot = find_slot(c);
                if (slot.key == 0) slot = {c, ++wide};
                id = kWideMark | slot.id;
            }
            position_ids[i] = id;
        }
        symbols_ = bytes + wide;
        // Wide ids follow the byte ids: a slot keeps the wide symbol's rank, wide_id() adds this.
        byte_symbols_ = bytes;
        for (uint32_t& id : position_ids)
            if (id & kWideMark) id = (id & ~kWideMark) + bytes;
    }

    void fill_rows(const SmallVector<uint32_t, 64>& position_ids) {
        // At least one word: word() of an empty pattern reads the zero row.
        rows_.resize(std::max<size_t>((symbols_ + 1) * blocks_, 1));
        for (size_t i = 0; i < length_; ++i)
            rows_[position_ids[i] * blocks_ + (i >> 6)] |= uint64_t{1} << (i & 63);
    }

    // Entries (block, word) of each id, in id order then block order.
    void fill_entries(const SmallVector<uint32_t, 64>& position_ids) {
        const size_t ids = symbols_ + 1;
        SmallVector<uint32_t, 4> last_block;  // last block seen of each id, plus one
        last_block.resize(ids);
        starts_.resize(ids + 1);
        for (size_t i = 0; i < length_; ++i) {
            const uint32_t id = position_ids[i], block = static_cast<uint32_t>(i >> 6);
            if (last_block[id] != block + 1) {
                last_block[id] = block + 1;
                ++starts_[id + 1];
            }
        }
        for (size_t id = 0; id < ids; ++id) starts_[id + 1] += starts_[id];
        const uint32_t entries = starts_[ids];
        entry_blocks_.resize(entries);
        entry_words_.resize(entries);
        SmallVector<uint32_t, 4> next = starts_;  // next entry of each id
        for (uint32_t& b : last_block) b = 0;
        for (size_t i = 0; i < length_; ++i) {
            const uint32_t id = position_ids[i], block = static_cast<uint32_t>(i >> 6);
            if (last_block[id] != block + 1) {
                last_block[id] = block + 1;
                entry_blocks_[next[id]++] = block;
            }
            entry_words_[next[id] - 1] |= uint64_t{1} << (i & 63);
        }
    }

    static constexpr uint32_t kWideMark = uint32_t{1} << 31;

    Hash hash_;
    size_t length_;
    size_t blocks_;
    size_t symbols_ = 0;
    uint32_t byte_symbols_ = 0;  // ids 1..byte_symbols_ are those of symbols below 256
    bool dense_ = true;
    uint16_t byte_ids_[256];
    SmallVector<Slot, 16> table_;               // wide symbols, power-of-two size
    SmallVector<uint64_t, 65> rows_;            // dense: (symbols + 1) x blocks words
    SmallVector<uint32_t, 4> starts_;           // sparse: entries of id k are [starts_[k], starts_[k + 1])
    SmallVector<uint32_t, 4> entry_blocks_;
    SmallVector<uint64_t, 4> entry_words_;
};

}  // namespace qx
