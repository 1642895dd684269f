// Length of the longest common subsequence: bit-parallel over 64-bit words for byte
// symbols (Hyyrö's recurrence). Text that is not pure ASCII is relabelled with dense byte
// ids and runs the same recurrence; a two-row dynamic programme over scalar values remains
// for patterns of more than 255 distinct symbols.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "utf8_bridge.hpp"

namespace qx {

// A sequence of dense symbol ids, one byte each; room for 256 inline (every text of up to 64
// scalar values), heap beyond.
class IdSeq {
  public:
    IdSeq() = default;
    IdSeq(const IdSeq&) = delete;
    IdSeq& operator=(const IdSeq&) = delete;
    ~IdSeq();

    // Room for at least `n` ids; the previous contents are dropped.
    unsigned char* prepare(size_t n);
    void set_size(size_t n) { size_ = n; }

    const unsigned char* data() const { return heap_ ? heap_ : inline_; }
    size_t size() const { return size_; }
    std::span<const unsigned char> view() const { return {data(), size_}; }

  private:
    static constexpr size_t kInline = 256;
    unsigned char inline_[kInline];
    unsigned char* heap_ = nullptr;
    size_t heap_capacity_ = 0;
    size_t size_ = 0;
};

// Dense ids for the scalar values of one text, the pattern: its distinct symbols get ids
// 0 .. count() - 1 in order of first appearance, and every symbol of another text that the
// pattern lacks gets the one id count(). The relabelling is injective on the pattern's
// symbols and never makes a pattern symbol equal to a foreign one, so it leaves the LCS of
// the pattern with any text unchanged. Values below 256, and those of the 256-value page of the
// pattern's first wider symbol (one script block, say Cyrillic), are looked up in direct
// tables; other values in an inline open-addressing table under the process-wide seeded hash.
class DenseIds {
  public:
    static constexpr size_t kMaxIds = 255;

    DenseIds();
    DenseIds(const DenseIds&) = delete;
    DenseIds& operator=(const DenseIds&) = delete;

    // Decodes `pattern` and writes its ids to `out`; false (and `out` unusable) when the
    // pattern has more than 255 distinct symbols. Call once per object.
    bool map_pattern(Utf8 pattern, IdSeq& out);
    // Decodes `text` and writes its ids to `out`, count() for symbols not in the pattern.
    void map_text(Utf8 text, IdSeq& out) const;

    size_t count() const { return count_; }
    // Number of id values that can occur: the pattern's ids and the "no match" id.
    size_t alphabet() const { return count_ + 1; }

  private:
    static constexpr unsigned char kAbsent = 0xFF;  // never a pattern id (those stop at 254)
    static constexpr uint32_t kEmptyKey = 0xFFFFFFFFu;
    static constexpr size_t kMaxSlots = 512;
    static constexpr uint32_t kNoPage = 0xFFFFFFFFu;

    unsigned char add_wide(uint32_t v, size_t pattern_bytes);
    unsigned char find_wide(uint32_t v) const;

    unsigned char low_[256];   // id of each scalar value below 256, kAbsent when none
    unsigned char page_[256];  // id of each value of page page_number_ (v >> 8 == page_number_)
    uint32_t page_number_ = kNoPage;
    uint32_t keys_[kMaxSlots];
    unsigned char wide_ids_[kMaxSlots];
    size_t slot_mask_ = 0;  // slots - 1; 0 while no wide symbol has been added
    size_t count_ = 0;
};

// LCS of two byte sequences; s1 is the pattern whose masks are built, s2 is streamed.
uint64_t lcs_bytes(std::span<const unsigned char> s1, std::span<const unsigned char> s2);

// LCS of two id sequences whose values are below `alphabet` (at most 256); the pattern's
// masks are built over those ids only.
uint64_t lcs_ids(std::span<const unsigned char> pattern, std::span<const unsigned char> text,
                 size_t alphabet);

// LCS of two scalar-value sequences (dynamic programme; per-thread rows for short inputs).
uint64_t lcs_symbols(std::span<const uint32_t> s1, std::span<const uint32_t> s2);

// LCS of two texts compared as scalar values, of len1 and len2 symbols: on dense ids when
// either text has at most 255 distinct symbols, else by the dynamic programme.
uint64_t lcs_unicode(Utf8 s1, Utf8 s2, size_t len1, size_t len2);

// LCS of two texts: bytes when both are ASCII, otherwise scalar values.
uint64_t lcs_length(Utf8 s1, Utf8 s2);

// The dynamic programme on the calling thread's partial-ratio rows, which are separate from
// those of lcs_symbols and have no size limit. `outer` is streamed, `inner` (the needle)
// spans the rows; the outer sequence may be the shorter one.
// When `profile` is given, profile[i] receives the LCS of `inner` against outer[0..i]
// (outer.size() entries). With `backward`, both sequences are read from their last symbol,
// so profile[i] is the LCS against the last i + 1 symbols of `outer`.
uint64_t lcs_symbols_window(std::span<const uint32_t> outer, std::span<const uint32_t> inner,
                            uint64_t* profile = nullptr, bool backward = false);

}  // namespace qx
