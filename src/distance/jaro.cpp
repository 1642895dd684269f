#include "jaro.hpp"

#include <algorithm>
#include <bit>
#include <span>
#include <vector>

#include "../char_masks.hpp"
#include "../hashing.hpp"
#include "../small_vector.hpp"

namespace qx {

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr double kBoostThreshold = 0.7;
constexpr size_t kMaxPrefix = 4;

// Match window: positions i and j may match when |i - j| <= w.
inline size_t match_window(size_t len1, size_t len2) {
    size_t maxlen = std::max(len1, len2);
    return maxlen < 2 ? 0 : maxlen / 2 - 1;
}

// Final Jaro formula, evaluated in this order: M/len1, + M/len2, (M - t)/M, (y + z)/3.
inline double jaro_formula(size_t matches, size_t transpositions, size_t len1, size_t len2) {
    if (matches == 0) return 0.0;
    double m = static_cast<double>(matches);
    double x = m / static_cast<double>(len1);
    double y = x + m / static_cast<double>(len2);
    double z = (m - static_cast<double>(transpositions)) / m;
    return (y + z) / 3.0;
}

// Mask words of one or two 64-bit halves, with the few bit operations the matcher needs.
template <class W>
struct WordOps;

template <>
struct WordOps<uint64_t> {
    static uint64_t low(size_t k) { return low_bits(k); }  // low_bits(0) == 0
    static size_t lowest(uint64_t w) { return static_cast<size_t>(std::countr_zero(w)); }
    static uint64_t bit(size_t i) { return uint64_t{1} << i; }
};

template <>
struct WordOps<u128> {
    static u128 low(size_t k) { return k >= 128 ? ~u128{0} : (u128{1} << k) - 1; }
    static size_t lowest(u128 w) {
        uint64_t lo = static_cast<uint64_t>(w);
        if (lo) return static_cast<size_t>(std::countr_zero(lo));
        return 64 + static_cast<size_t>(std::countr_zero(static_cast<uint64_t>(w >> 64)));
    }
    static u128 bit(size_t i) { return u128{1} << i; }
};

// Texts of at most 64 (W = uint64_t) or 128 (W = u128) symbols, flags in one word each.
// mask_of(symbol) gives the positions of s1 holding that symbol. s2 drives the scan and takes
// the lowest free position of s1 inside its window: the same flags as the s1-driven scan.
template <class W, class Sym, class MaskOf>
double jaro_word_scan(std::span<const Sym> a, std::span<const Sym> b, const MaskOf& mask_of) {
    using Ops = WordOps<W>;
    const size_t len1 = a.size(), len2 = b.size();
    const size_t w = match_window(len1, len2);

    W flags1 = 0, flags2 = 0;
    const size_t limit = std::min(len2, len1 + w);
    for (size_t j = 0; j < limit; ++j) {
        size_t lo = j > w ? j - w : 0;
        size_t hi = std::min(j + w + 1, len1);
        W candidates = mask_of(b[j]) & ~flags1 & Ops::low(hi) & ~Ops::low(lo);
        if (candidates) {
            flags1 |= candidates & (~candidates + 1);
            flags2 |= Ops::bit(j);
        }
    }
    if (!flags1) return 0.0;

    size_t matches = 0, mismatched_pairs = 0;
    while (flags1) {
        size_t i = Ops::lowest(flags1);
        size_t j = Ops::lowest(flags2);
        mismatched_pairs += a[i] != b[j];
        flags1 &= flags1 - 1;
        flags2 &= flags2 - 1;
        ++matches;
    }
    return jaro_formula(matches, mismatched_pairs / 2, len1, len2);
}

// Byte texts of at most 64 or 128 symbols. The byte table is cleared only at the entries the
// two texts use (no 2 KiB / 4 KiB fill).
template <class W>
double jaro_byte_word(std::span<const unsigned char> a, std::span<const unsigned char> b) {
    W table[256];
    for (unsigned char c : a) table[c] = 0;
    for (unsigned char c : b) table[c] = 0;
    for (size_t i = 0; i < a.size(); ++i) table[a[i]] |= WordOps<W>::bit(i);
    return jaro_word_scan<W>(a, b, [&table](unsigned char c) { return table[c]; });
}

// Masks of a decoded text of at most 64 symbols, keyed by code point in an inline
// open-addressing map of 128 slots (seeded hashing; at most half full). Slot occupancy is a
// 128-bit set, so nothing else needs clearing.
class SymbolMasks64 {
  public:
    explicit SymbolMasks64(std::span<const uint32_t> text) : seed_(hash_seed()) {
        for (size_t i = 0; i < text.size(); ++i) {
            size_t slot = slot_of(text[i]);
            if (!used(slot)) {
                used_[slot / 64] |= uint64_t{1} << (slot % 64);
                keys_[slot] = text[i];
                masks_[slot] = 0;
            }
            masks_[slot] |= uint64_t{1} << i;
        }
    }
    uint64_t operator()(uint32_t v) const {
        size_t slot = slot_of(v);
        return used(slot) ? masks_[slot] : 0;
    }

  private:
    static constexpr size_t kSlots = 128;
    bool used(size_t slot) const { return (used_[slot / 64] >> (slot % 64)) & 1; }
    // The first free slot or the slot holding v, probing linearly from v's hash.
    size_t slot_of(uint32_t v) const {
        size_t slot = hash_mix(v, seed_) & (kSlots - 1);
        while (used(slot) && keys_[slot] != v) slot = (slot + 1) & (kSlots - 1);
        return slot;
    }
    uint64_t seed_;
    uint64_t used_[2] = {0, 0};
    uint32_t keys_[kSlots];
    uint64_t masks_[kSlots];
};

// Block form: the pattern's masks in 64-position blocks. row_of(symbol) points at the mask of
// block 0 for that symbol, the mask of block k lying k * stride words further. The scanned text
// only takes part up to position plen + w - 1; no later one can fall in a window. For each
// scanned symbol the lowest free candidate is searched word by word from the window's first word.
template <class Sym, class RowOf>
double jaro_block_scan(std::span<const Sym> pattern, std::span<const Sym> text, RowOf row_of,
                       size_t stride, size_t w, size_t len1, size_t len2) {
    const size_t plen = pattern.size();
    const size_t limit = std::min(text.size(), plen + w);

    SmallVector<uint64_t, 8> pflags;
    pflags.resize((plen + 63) / 64);
    SmallVector<uint64_t, 8> tflags;
    tflags.resize((limit + 63) / 64);

    for (size_t j = 0; j < limit; ++j) {
        const size_t lo = j > w ? j - w : 0;
        const size_t hi = std::min(j + w + 1, plen);  // exclusive; hi > lo since j < plen + w
        const size_t first = lo / 64, last = (hi - 1) / 64;
        const uint64_t* row = row_of(text[j]);
        for (size_t k = first; k <= last; ++k) {
            uint64_t candidates = row[k * stride] & ~pflags[k];
            if (k == first) candidates &= ~low_bits(lo % 64);
            if (k == last) candidates &= low_bits((hi - 1) % 64 + 1);
            if (candidates) {
                pflags[k] |= candidates & (~candidates + 1);
                tflags[j / 64] |= uint64_t{1} << (j % 64);
                break;
            }
        }
    }

    size_t matches = 0;
    for (size_t k = 0; k < pflags.size(); ++k) matches += std::popcount(pflags[k]);
    if (matches == 0) return 0.0;

    // Pair the k-th flagged pattern symbol with the k-th flagged text symbol.
    size_t mismatched_pairs = 0;
    size_t tk = 0;
    uint64_t tword = tflags[0];
    for (size_t pk = 0; pk < pflags.size(); ++pk) {
        for (uint64_t pword = pflags[pk]; pword; pword &= pword - 1) {
            while (!tword) tword = tflags[++tk];
            size_t i = pk * 64 + static_cast<size_t>(std::countr_zero(pword));
            size_t j = tk * 64 + static_cast<size_t>(std::countr_zero(tword));
            mismatched_pairs += pattern[i] != text[j];
            tword &= tword - 1;
        }
    }
    return jaro_formula(matches, mismatched_pairs / 2, len1, len2);
}

// Byte texts of which one is longer than 128 symbols. The shorter text (s1 on a tie) is the
// pattern. The jaro value is symmetric, so the roles only decide the scan order.
double jaro_byte_blocks(std::span<const unsigned char> s1, std::span<const unsigned char> s2) {
    const bool swap = s2.size() < s1.size();
    std::span<const unsigned char> pattern = swap ? s2 : s1;
    std::span<const unsigned char> text = swap ? s1 : s2;
    BlockCharMaskTable table(pattern);
    auto row_of = [&table](unsigned char c) { return table.entry_ptr(0, c); };
    return jaro_block_scan(pattern, text, row_of, 256, match_window(s1.size(), s2.size()),
                           s1.size(), s2.size());
}

// Byte symbols (ASCII, or code points narrowed from Latin-1): the form by length.
double jaro_bytes(std::span<const unsigned char> a, std::span<const unsigned char> b) {
    if (a.size() <= 64 && b.size() <= 64) return jaro_byte_word<uint64_t>(a, b);
    if (a.size() <= 128 && b.size() <= 128) return jaro_byte_word<u128>(a, b);
    return jaro_byte_blocks(a, b);
}

// Code points of which some lie above U+00FF, in texts too long for the straightforward scan
// to stay cheap. Each distinct pattern symbol gets a dense code through an open-addressing
// map (seeded hashing); its masks are one row of `blocks` words. Symbols absent from the
// pattern read a zero row. Equal symbols share a row, so the block scan flags the same
// positions as with a table indexed by the symbols themselves.
double jaro_dense_blocks(std::span<const uint32_t> s1, std::span<const uint32_t> s2) {
    const bool swap = s2.size() < s1.size();
    std::span<const uint32_t> pattern = swap ? s2 : s1;
    std::span<const uint32_t> text = swap ? s1 : s2;
    const size_t plen = pattern.size();
    const size_t blocks = (plen + 63) / 64;

    constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // not a Unicode scalar value
    const size_t capacity = std::bit_ceil(2 * plen);
    const size_t slot_mask = capacity - 1;
    std::vector<uint32_t> keys(capacity, kEmpty), codes(capacity);
    auto slot_of = [&](uint32_t v) {
        size_t slot = hash_symbol(v) & slot_mask;
        while (keys[slot] != kEmpty && keys[slot] != v) slot = (slot + 1) & slot_mask;
        return slot;
    };
    uint32_t distinct = 0;
    for (uint32_t v : pattern) {
        size_t slot = slot_of(v);
        if (keys[slot] == kEmpty) {
            keys[slot] = v;
            codes[slot] = distinct++;
        }
    }

    // Row `distinct` stays zero for the symbols the pattern lacks.
    std::vector<uint64_t> words((size_t{distinct} + 1) * blocks, 0);
    for (size_t i = 0; i < plen; ++i)
        words[codes[slot_of(pattern[i])] * blocks + i / 64] |= uint64_t{1} << (i % 64);
    const uint64_t* absent_row = words.data() + size_t{distinct} * blocks;
    auto row_of = [&](uint32_t v) {
        size_t slot = slot_of(v);
        return keys[slot] == kEmpty ? absent_row : words.data() + codes[slot] * blocks;
    };
    return jaro_block_scan(pattern, text, row_of, 1, match_window(s1.size(), s2.size()), s1.size(),
                           s2.size());
}

// At least one text is not ASCII: both are decoded. Latin-1 pairs are narrowed to bytes and
// take the byte forms; other pairs take the one-word form (masks keyed by code point) up to 64
// symbols each and the dense-code block form beyond.
double jaro_decoded(Utf8 t1, Utf8 t2) {
    SymbolSeq a(t1), b(t2);
    if (fits_in_bytes(a.view()) && fits_in_bytes(b.view())) {
        NarrowedBytes na(a.view()), nb(b.view());
        return jaro_bytes(na.view(), nb.view());
    }
    if (a.size() <= 64 && b.size() <= 64)
        return jaro_word_scan<uint64_t>(a.view(), b.view(), SymbolMasks64(a.view()));
    return jaro_dense_blocks(a.view(), b.view());
}

// Number of leading symbols shared by the two texts, at most four.
size_t winkler_prefix(Utf8 s1, Utf8 s2) {
    const auto* p1 = reinterpret_cast<const unsigned char*>(s1.data());
    const auto* p2 = reinterpret_cast<const unsigned char*>(s2.data());
    const auto* e1 = p1 + s1.size();
    const auto* e2 = p2 + s2.size();
    size_t shared = 0;
    while (shared < kMaxPrefix && p1 < e1 && p2 < e2) {
        if (*p1 < 0x80 && *p2 < 0x80) {  // ASCII symbols compare as raw bytes
            if (*p1++ != *p2++) break;
        } else if (decode_one(p1) != decode_one(p2)) {
            break;
        }
        ++shared;
    }
    return shared;
}

double jaro_winkler_core(Utf8 s1, Utf8 s2, double prefix_weight) {
    if (same_bytes(s1, s2)) return 1.0;
    if (s1.empty() || s2.empty()) return 0.0;
    const double j = jaro_core(s1, s2);
    if (j < kBoostThreshold) return j;
    const double shared = static_cast<double>(winkler_prefix(s1, s2));
    return j + (1.0 - j) * (prefix_weight * shared);
}

}  // namespace

double jaro_core(Utf8 s1, Utf8 s2) {
    if (same_bytes(s1, s2)) return 1.0;
    if (s1.empty() || s2.empty()) return 0.0;
    if (is_ascii(s1) && is_ascii(s2)) return jaro_bytes(bytes_of(s1), bytes_of(s2));
    return jaro_decoded(s1, s2);
}

double jaro_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return cut_similarity(jaro_core(s1, s2), cutoff);
}
double jaro_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return distance_from_similarity(jaro_core(s1, s2), cutoff);
}
double jaro_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return jaro_similarity(s1, s2, cutoff);
}
double jaro_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return jaro_distance(s1, s2, cutoff);
}

double jaro_winkler_similarity(Utf8 s1, Utf8 s2, double prefix_weight, FloatCutoff cutoff) {
    return cut_similarity(jaro_winkler_core(s1, s2, prefix_weight), cutoff);
}
double jaro_winkler_distance(Utf8 s1, Utf8 s2, double prefix_weight, FloatCutoff cutoff) {
    return distance_from_similarity(jaro_winkler_core(s1, s2, prefix_weight), cutoff);
}
double jaro_winkler_normalized_similarity(Utf8 s1, Utf8 s2, double prefix_weight,
                                          FloatCutoff cutoff) {
    return jaro_winkler_similarity(s1, s2, prefix_weight, cutoff);
}
double jaro_winkler_normalized_distance(Utf8 s1, Utf8 s2, double prefix_weight,
                                        FloatCutoff cutoff) {
    return jaro_winkler_distance(s1, s2, prefix_weight, cutoff);
}

}  // namespace qx
