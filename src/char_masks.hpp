// Per-byte match masks of a pattern for the bit-parallel kernels (being replaced by
// symbol_masks.hpp as the kernels move to typed texts). Allocation failure throws std::bad_alloc.
// Bit i of entry c is set when pattern position i holds byte c.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <vector>

namespace qx {

// Low k bits set, 1 <= k <= 64 (all ones for k = 64).
constexpr uint64_t low_bits(size_t k) {
    return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1;
}

// Masks of a pattern of 1 to 64 symbols; lives on the kernel's stack.
struct CharMaskTable {
    uint64_t mask[256];

    template <class Sym>
    explicit CharMaskTable(std::span<const Sym> pattern) {
        std::memset(mask, 0, sizeof(mask));
        for (size_t i = 0; i < pattern.size(); ++i)
            mask[static_cast<unsigned char>(pattern[i])] |= uint64_t{1} << i;
    }
    uint64_t operator[](unsigned char c) const { return mask[c]; }
};

// Masks of a pattern of 65 to 128 symbols as interleaved 128-bit pairs.
struct PairCharMaskTable {
    uint64_t words[512];

    template <class Sym>
    explicit PairCharMaskTable(std::span<const Sym> pattern) {
        std::memset(words, 0, sizeof(words));
        for (size_t i = 0; i < pattern.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(pattern[i]);
            words[2 * c + (i >> 6)] |= uint64_t{1} << (i & 63);
        }
    }
    uint64_t low(unsigned char c) const { return words[2 * c]; }
    uint64_t high(unsigned char c) const { return words[2 * c + 1]; }
};

// Masks of a pattern of any positive length in blocks of 64 positions, block-major.
class BlockCharMaskTable {
  public:
    template <class Sym>
    explicit BlockCharMaskTable(std::span<const Sym> pattern)
        : blocks_((pattern.size() + 63) / 64),
          words_(static_cast<uint64_t*>(std::calloc(blocks_ * 256, sizeof(uint64_t)))) {
        if (!words_) throw std::bad_alloc();
        for (size_t i = 0; i < pattern.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(pattern[i]);
            words_[(i >> 6) * 256 + c] |= uint64_t{1} << (i & 63);
        }
    }
    BlockCharMaskTable(const BlockCharMaskTable&) = delete;
    BlockCharMaskTable& operator=(const BlockCharMaskTable&) = delete;
    ~BlockCharMaskTable() { std::free(words_); }

    size_t blocks() const { return blocks_; }
    uint64_t get(size_t block, unsigned char c) const { return words_[block * 256 + c]; }
    const uint64_t* entry_ptr(size_t block, unsigned char c) const {
        return words_ + block * 256 + c;
    }

  private:
    size_t blocks_;
    uint64_t* words_;
};

// True when every value is below 256, so the sequence can be narrowed to bytes exactly.
inline bool fits_in_bytes(std::span<const uint32_t> seq) {
    for (uint32_t v : seq)
        if (v >= 256) return false;
    return true;
}

// A scalar-value sequence cut to bytes (precondition: fits_in_bytes); 256 symbols inline.
class NarrowedBytes {
  public:
    explicit NarrowedBytes(std::span<const uint32_t> seq) : size_(seq.size()) {
        if (size_ > sizeof(inline_)) {
            heap_ = static_cast<unsigned char*>(std::malloc(size_));
            if (!heap_) throw std::bad_alloc();
        }
        unsigned char* out = data();
        for (size_t i = 0; i < size_; ++i) out[i] = static_cast<unsigned char>(seq[i]);
    }
    NarrowedBytes(const NarrowedBytes&) = delete;
    NarrowedBytes& operator=(const NarrowedBytes&) = delete;
    ~NarrowedBytes() { std::free(heap_); }

    unsigned char* data() { return heap_ ? heap_ : inline_; }
    const unsigned char* data() const { return heap_ ? heap_ : inline_; }
    std::span<const unsigned char> view() const { return {data(), size_}; }

  private:
    unsigned char inline_[256];
    unsigned char* heap_ = nullptr;
    size_t size_;
};

}  // namespace qx
