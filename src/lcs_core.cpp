#include "lcs_core.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "char_masks.hpp"
#include "hashing.hpp"

namespace qx {

namespace {

inline uint64_t popcount(uint64_t x) {
    return static_cast<uint64_t>(std::popcount(x));
}

// One step of the recurrence on a single word: S' = (S + u) | (S - u), u = S & match.
inline uint64_t step(uint64_t s, uint64_t match) {
    uint64_t u = s & match;
    return (s + u) | (s - u);
}

// Pattern of 1 to 64 bytes.
uint64_t lcs_one_word(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    CharMaskTable pm(p);
    const size_t m = p.size();
    uint64_t s = low_bits(m);
    for (unsigned char c : t) s = step(s, pm[c]);
    return m - popcount(s & low_bits(m));
}

// Pattern of 65 to 128 bytes: a 128-bit state over two stack tables.
uint64_t lcs_two_words(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    CharMaskTable t0(p.first(64));
    CharMaskTable t1(p.subspan(64));
    const size_t m = p.size();
    uint64_t s0 = ~uint64_t{0}, s1 = ~uint64_t{0};
    for (unsigned char c : t) {
        uint64_t u0 = s0 & t0[c];
        uint64_t u1 = s1 & t1[c];
        uint64_t sum0 = s0 + u0;
        uint64_t carry = sum0 < s0;
        s0 = sum0 | (s0 - u0);
        s1 = (s1 + u1 + carry) | (s1 - u1);
    }
    return popcount(~s0) + (m - 64) - popcount(s1 & low_bits(m - 64));
}

// Pattern of 129 to 192 bytes: a 192-bit state over three stack tables.
uint64_t lcs_three_words(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    CharMaskTable t0(p.first(64));
    CharMaskTable t1(p.subspan(64, 64));
    CharMaskTable t2(p.subspan(128));
    const size_t m = p.size();
    uint64_t s0 = ~uint64_t{0}, s1 = ~uint64_t{0}, s2 = ~uint64_t{0};
    for (unsigned char c : t) {
        uint64_t u0 = s0 & t0[c];
        uint64_t u1 = s1 & t1[c];
        uint64_t u2 = s2 & t2[c];
        uint64_t sum0 = s0 + u0;
        uint64_t carry0 = sum0 < s0;
        uint64_t sum1 = s1 + u1;
        uint64_t carry1 = sum1 < s1;
        sum1 += carry0;
        carry1 |= sum1 < carry0;
        s0 = sum0 | (s0 - u0);
        s1 = sum1 | (s1 - u1);
        s2 = (s2 + u2 + carry1) | (s2 - u2);
    }
    return popcount(~s0) + popcount(~s1) + (m - 128) - popcount(s2 & low_bits(m - 128));
}

// LCS from the final state: the zero bits among the m pattern positions.
inline uint64_t count_zeros(const uint64_t* s, size_t w, size_t m) {
    uint64_t lcs = 0;
    for (size_t j = 0; j < w; ++j) {
        size_t r = std::min<size_t>(m - 64 * j, 64);
        lcs += r - popcount(s[j] & low_bits(r));
    }
    return lcs;
}

// Pattern of 193 bytes or more: block tables and a heap state vector of w words.
uint64_t lcs_blocks(std::span<const unsigned char> p, std::span<const unsigned char> t) {
    BlockCharMaskTable pm(p);
    const size_t w = pm.blocks();
    const size_t m = p.size();
    std::unique_ptr<uint64_t[]> s(new uint64_t[w]);
    std::fill_n(s.get(), w, ~uint64_t{0});
    for (unsigned char c : t) {
        const uint64_t* entry = pm.entry_ptr(0, c);
        uint64_t carry = 0;
        for (size_t j = 0; j < w; ++j, entry += 256) {
            uint64_t sj = s[j];
            uint64_t u = sj & *entry;
            uint64_t sum = sj + u;
            uint64_t c1 = sum < sj;
            sum += carry;
            carry = c1 | (sum < carry);
            s[j] = sum | (sj - u);
        }
    }
    return count_zeros(s.get(), w, m);
}

// One step of the recurrence over a state of `w` words with carries between them; `row`
// holds the text symbol's masks for the w words.
inline void step_words(uint64_t* s, const uint64_t* row, size_t w) {
    uint64_t carry = 0;
    for (size_t j = 0; j < w; ++j) {
        uint64_t sj = s[j];
        uint64_t u = sj & row[j];
        uint64_t sum = sj + u;
        uint64_t c1 = sum < sj;
        sum += carry;
        carry = c1 | (sum < carry);
        s[j] = sum | (sj - u);
    }
}

// Id pattern of 1 to 64 * W symbols: the masks of id c are words W * c .. W * c + W - 1 of a
// stack table of which only the ids in use are cleared.
template <size_t W>
uint64_t lcs_ids_words(std::span<const unsigned char> p, std::span<const unsigned char> t,
                       size_t alphabet) {
    uint64_t pm[256 * W];
    std::memset(pm, 0, alphabet * W * sizeof(uint64_t));
    for (size_t i = 0; i < p.size(); ++i) pm[p[i] * W + (i >> 6)] |= uint64_t{1} << (i & 63);
    uint64_t s[W];
    std::fill_n(s, W, ~uint64_t{0});
    for (unsigned char c : t) {
        if constexpr (W == 1) {
            s[0] = step(s[0], pm[c]);
        } else {
            step_words(s, pm + W * c, W);
        }
    }
    return count_zeros(s, W, p.size());
}

// Id pattern of 193 symbols or more: one heap array holding the masks of each id in use as a
// row of w words (the words of one text symbol are adjacent) and the state vector.
uint64_t lcs_ids_blocks(std::span<const unsigned char> p, std::span<const unsigned char> t,
                        size_t alphabet) {
    const size_t w = (p.size() + 63) / 64;
    std::unique_ptr<uint64_t[]> words(new uint64_t[(alphabet + 1) * w]);
    uint64_t* pm = words.get();
    uint64_t* s = pm + alphabet * w;
    std::fill_n(pm, alphabet * w, uint64_t{0});
    std::fill_n(s, w, ~uint64_t{0});
    for (size_t i = 0; i < p.size(); ++i) pm[p[i] * w + (i >> 6)] |= uint64_t{1} << (i & 63);
    for (unsigned char c : t) step_words(s, pm + w * c, w);
    return count_zeros(s, w, p.size());
}

// A pair of growable counter rows owned by one thread.
struct ThreadRows {
    std::vector<uint64_t> prev;
    std::vector<uint64_t> cur;

    // Sizes both rows to at least `size` counters and zero-fills the first `size`.
    void prepare(size_t size) {
        if (prev.size() < size) {
            prev.resize(size);
            cur.resize(size);
        }
        std::fill_n(prev.data(), size, 0);
        std::fill_n(cur.data(), size, 0);
    }

    void release() {
        std::vector<uint64_t>().swap(prev);
        std::vector<uint64_t>().swap(cur);
    }
};

thread_local ThreadRows lcs_rows;     // lcs_symbols, shorter sequences up to 512 symbols
thread_local ThreadRows window_rows;  // the partial-ratio instance

// Window rows longer than this (128 KiB each) are released after the call: one huge needle
// must not leave its rows allocated for the life of the thread.
constexpr size_t kWindowRowsKept = size_t{1} << 14;

constexpr size_t kThreadRowLimit = 512;

// Two-row dynamic programme: `outer` streamed, `inner` (k symbols) spans the rows, which
// hold k + 1 zeroed counters. With Backward both sequences are read from their ends.
template <bool Backward>
uint64_t lcs_dp(std::span<const uint32_t> outer, std::span<const uint32_t> inner, uint64_t* prev,
                uint64_t* cur, uint64_t* profile) {
    const size_t k = inner.size();
    const size_t n = outer.size();
    const uint32_t* a = inner.data();
    for (size_t i = 0; i < n; ++i) {
        uint32_t b = Backward ? outer[n - 1 - i] : outer[i];
        uint64_t left = 0;
        for (size_t j = 0; j < k; ++j) {
            uint32_t aj = Backward ? a[k - 1 - j] : a[j];
            uint64_t up = prev[j + 1];
            uint64_t v = aj == b ? prev[j] + 1 : (up > left ? up : left);
            cur[j + 1] = v;
            left = v;
        }
        // cur[0] stays zero in both rows, so the exchanged row needs no clearing to be
        // overwritten in the next step.
        std::swap(prev, cur);
        if (profile) profile[i] = prev[k];
    }
    return prev[k];
}

}  // namespace

IdSeq::~IdSeq() {
    std::free(heap_);
}

unsigned char* IdSeq::prepare(size_t n) {
    size_ = 0;
    if (n > kInline && n > heap_capacity_) {
        std::free(heap_);
        heap_ = static_cast<unsigned char*>(std::malloc(n));
        if (!heap_) std::abort();
        heap_capacity_ = n;
    }
    return heap_ ? heap_ : inline_;
}

DenseIds::DenseIds() {
    std::memset(low_, kAbsent, sizeof(low_));
}

unsigned char DenseIds::add_wide(uint32_t v, size_t pattern_bytes) {
    if (slot_mask_ == 0) {
        // A wide symbol takes at least two UTF-8 bytes and at most 255 ids are handed out,
        // so the table is never more than half full.
        size_t slots = std::min(kMaxSlots, std::bit_ceil(std::max<size_t>(pattern_bytes, 16)));
        std::fill_n(keys_, slots, kEmptyKey);
        slot_mask_ = slots - 1;
    }
    size_t slot = hash_symbol(v) & slot_mask_;
    for (;;) {
        uint32_t key = keys_[slot];
        if (key == v) return wide_ids_[slot];
        if (key == kEmptyKey) break;
        slot = (slot + 1) & slot_mask_;
    }
    if (count_ >= kMaxIds) return kAbsent;
    keys_[slot] = v;
    return wide_ids_[slot] = static_cast<unsigned char>(count_++);
}

unsigned char DenseIds::find_wide(uint32_t v) const {
    if (slot_mask_ == 0) return kAbsent;
    size_t slot = hash_symbol(v) & slot_mask_;
    for (;;) {
        uint32_t key = keys_[slot];
        if (key == v) return wide_ids_[slot];
        if (key == kEmptyKey) return kAbsent;
        slot = (slot + 1) & slot_mask_;
    }
}

bool DenseIds::map_pattern(Utf8 pattern, IdSeq& out) {
    // A text has at most as many symbols as bytes.
    unsigned char* o = out.prepare(pattern.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern.data());
    const unsigned char* end = p + pattern.size();
    size_t n = 0;
    size_t count = count_;  // kept in a register: the byte stores below may alias members
    while (p < end) {
        const uint32_t v = decode_one(p);
        unsigned char* entry;
        if (v < 256) {
            entry = &low_[v];
        } else if ((v >> 8) == page_number_) {
            entry = &page_[v & 0xFF];
        } else if (page_number_ == kNoPage) {
            page_number_ = v >> 8;
            std::memset(page_, kAbsent, sizeof(page_));
            entry = &page_[v & 0xFF];
        } else {
            count_ = count;
            const unsigned char id = add_wide(v, pattern.size());
            count = count_;
            if (id == kAbsent) return false;
            o[n++] = id;
            continue;
        }
        // Whether a symbol is new is data-dependent: assign with masks, not a branch. Past 255
        // ids the direct tables hold garbage, and the check at the end rejects the pattern.
        const unsigned char old = *entry;
        const unsigned char fresh = static_cast<unsigned char>(-(old == kAbsent));
        const unsigned char id = static_cast<unsigned char>(old ^ ((old ^ count) & fresh));
        *entry = id;
        count += fresh & 1;
        o[n++] = id;
    }
    count_ = count;
    out.set_size(n);
    return count <= kMaxIds;
}

void DenseIds::map_text(Utf8 text, IdSeq& out) const {
    const unsigned char none = static_cast<unsigned char>(count_);
    unsigned char* o = out.prepare(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = p + text.size();
    size_t n = 0;
    while (p < end) {
        const uint32_t v = decode_one(p);
        const unsigned char id = v < 256                    ? low_[v]
                                 : (v >> 8) == page_number_ ? page_[v & 0xFF]
                                                            : find_wide(v);
        // Pattern ids are below `none`, kAbsent is not.
        o[n++] = id < none ? id : none;
    }
    out.set_size(n);
}

uint64_t lcs_bytes(std::span<const unsigned char> s1, std::span<const unsigned char> s2) {
    const size_t m = s1.size();
    if (m == 0 || s2.empty()) return 0;
    if (m <= 64) return lcs_one_word(s1, s2);
    if (m <= 128) return lcs_two_words(s1, s2);
    if (m <= 192) return lcs_three_words(s1, s2);
    return lcs_blocks(s1, s2);
}

uint64_t lcs_ids(std::span<const unsigned char> pattern, std::span<const unsigned char> text,
                 size_t alphabet) {
    const size_t m = pattern.size();
    if (m == 0 || text.empty()) return 0;
    if (m <= 64) return lcs_ids_words<1>(pattern, text, alphabet);
    if (m <= 128) return lcs_ids_words<2>(pattern, text, alphabet);
    if (m <= 192) return lcs_ids_words<3>(pattern, text, alphabet);
    return lcs_ids_blocks(pattern, text, alphabet);
}

uint64_t lcs_symbols(std::span<const uint32_t> s1, std::span<const uint32_t> s2) {
    if (s1.empty() || s2.empty()) return 0;
    if (s1.size() == s2.size() &&
        std::memcmp(s1.data(), s2.data(), s1.size() * sizeof(uint32_t)) == 0)
        return s1.size();
    std::span<const uint32_t> longer = s1.size() >= s2.size() ? s1 : s2;
    std::span<const uint32_t> shorter = s1.size() >= s2.size() ? s2 : s1;
    const size_t k = shorter.size();
    if (k <= kThreadRowLimit) {
        lcs_rows.prepare(k + 1);
        return lcs_dp<false>(longer, shorter, lcs_rows.prev.data(), lcs_rows.cur.data(), nullptr);
    }
    std::vector<uint64_t> prev(k + 1, 0), cur(k + 1, 0);
    return lcs_dp<false>(longer, shorter, prev.data(), cur.data(), nullptr);
}

uint64_t lcs_unicode(Utf8 s1, Utf8 s2, size_t len1, size_t len2) {
    if (len1 == 0 || len2 == 0) return 0;
    if (same_bytes(s1, s2)) return len1;
    // The shorter text is the pattern (fewer words per streamed symbol); when it has too many
    // distinct symbols for byte ids, the longer one may still have few enough.
    Utf8 pattern = len1 <= len2 ? s1 : s2;
    Utf8 text = len1 <= len2 ? s2 : s1;
    for (int attempt = 0; attempt < 2; ++attempt) {
        DenseIds ids;
        IdSeq p, t;
        if (ids.map_pattern(pattern, p)) {
            ids.map_text(text, t);
            return lcs_ids(p.view(), t.view(), ids.alphabet());
        }
        std::swap(pattern, text);
    }
    SymbolSeq a(s1), b(s2);
    return lcs_symbols(a.view(), b.view());
}

uint64_t lcs_length(Utf8 s1, Utf8 s2) {
    if (s1.empty() || s2.empty()) return 0;
    if (is_ascii(s1) && is_ascii(s2)) return lcs_bytes(bytes_of(s1), bytes_of(s2));
    return lcs_unicode(s1, s2, count_symbols(s1), count_symbols(s2));
}

uint64_t lcs_symbols_window(std::span<const uint32_t> outer, std::span<const uint32_t> inner,
                            uint64_t* profile, bool backward) {
    window_rows.prepare(inner.size() + 1);
    uint64_t* prev = window_rows.prev.data();
    uint64_t* cur = window_rows.cur.data();
    const uint64_t lcs = backward ? lcs_dp<true>(outer, inner, prev, cur, profile)
                                  : lcs_dp<false>(outer, inner, prev, cur, profile);
    if (window_rows.prev.size() > kWindowRowsKept) window_rows.release();
    return lcs;
}

}  // namespace qx
