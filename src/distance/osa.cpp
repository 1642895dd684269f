#include "osa.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <utility>

#include "../char_masks.hpp"
#include "../hashing.hpp"
#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "edit_forms.hpp"

namespace qx {

namespace {

using Bytes = std::span<const unsigned char>;

// Long texts are scanned in slices of kSlice symbols with an interrupt poll between them.
constexpr size_t kSlice = size_t{1} << 16;

// Hyyrö's bit-parallel OSA recurrence (2003) over one 64-bit word, for 1 <= m <= 64.

uint64_t osa_word(size_t m, Bytes text, const CharMaskTable& table) {
    uint64_t vp = low_bits(m);
    uint64_t vn = 0, d0 = 0, pm_old = 0;
    const uint64_t last = uint64_t{1} << (m - 1);
    uint64_t dist = m;
    for (size_t at = 0; at < text.size(); at += kSlice) {
        if (at) poll_interrupt();
        for (unsigned char c : text.subspan(at, std::min(kSlice, text.size() - at))) {
            const uint64_t x = table[c];
            const uint64_t tr = ((x & ~d0) << 1) & pm_old;
            d0 = (((x & vp) + vp) ^ vp) | x | vn | tr;
            uint64_t hp = vn | ~(d0 | vp);
            const uint64_t hn = d0 & vp;
            dist += (hp & last) != 0;
            dist -= (hn & last) != 0;
            hp = (hp << 1) | 1;
            vp = (hn << 1) | ~(d0 | hp);
            vn = hp & d0;
            pm_old = x;
        }
    }
    return dist;
}

// The same recurrence on one 128-bit vector for 65 <= m <= 128, held as a low word (positions
// 0-63) and a high word (64-127); additions and shifts carry from the low into the high word.
// Written out on the two words, which compiles to tighter code than unsigned __int128.
uint64_t osa_pair(size_t m, Bytes text, const PairCharMaskTable& table) {
    uint64_t vp_lo = ~uint64_t{0}, vp_hi = low_bits(m - 64);
    uint64_t vn_lo = 0, vn_hi = 0, d0_lo = 0, d0_hi = 0, pm_lo = 0, pm_hi = 0;
    const uint64_t last = uint64_t{1} << (m - 65);
    uint64_t dist = m;
    for (size_t at = 0; at < text.size(); at += kSlice) {
        if (at) poll_interrupt();
        for (unsigned char c : text.subspan(at, std::min(kSlice, text.size() - at))) {
            const uint64_t x_lo = table.low(c), x_hi = table.high(c);
            const uint64_t t_lo = x_lo & ~d0_lo, t_hi = x_hi & ~d0_hi;
            const uint64_t tr_lo = (t_lo << 1) & pm_lo;
            const uint64_t tr_hi = ((t_hi << 1) | (t_lo >> 63)) & pm_hi;
            const uint64_t sum_lo = (x_lo & vp_lo) + vp_lo;
            const uint64_t sum_hi = (x_hi & vp_hi) + vp_hi + (sum_lo < vp_lo);
            d0_lo = (sum_lo ^ vp_lo) | x_lo | vn_lo | tr_lo;
            d0_hi = (sum_hi ^ vp_hi) | x_hi | vn_hi | tr_hi;
            const uint64_t hp_lo = vn_lo | ~(d0_lo | vp_lo), hp_hi = vn_hi | ~(d0_hi | vp_hi);
            const uint64_t hn_lo = d0_lo & vp_lo, hn_hi = d0_hi & vp_hi;
            dist += (hp_hi & last) != 0;
            dist -= (hn_hi & last) != 0;
            const uint64_t hps_lo = (hp_lo << 1) | 1, hps_hi = (hp_hi << 1) | (hp_lo >> 63);
            const uint64_t hns_lo = hn_lo << 1, hns_hi = (hn_hi << 1) | (hn_lo >> 63);
            vp_lo = hns_lo | ~(d0_lo | hps_lo);
            vp_hi = hns_hi | ~(d0_hi | hps_hi);
            vn_lo = hps_lo & d0_lo;
            vn_hi = hps_hi & d0_hi;
            pm_lo = x_lo;
            pm_hi = x_hi;
        }
    }
    return dist;
}

// The state of one 64-position block at one text position.
struct BlockState {
    uint64_t vp;
    uint64_t vn;
    uint64_t d0;
    uint64_t pm;
};

// The same recurrence over blocks of 64 pattern positions. Each state vector has a sentinel
// record at index 0 standing below block 0, so block w lives at index w + 1.
uint64_t osa_blocks(Bytes pattern, Bytes text) {
    const BlockCharMaskTable table(pattern);
    const size_t n = table.blocks();
    const size_t m = pattern.size();
    const unsigned h = static_cast<unsigned>((m - 1) % 64);
    constexpr BlockState kStart{~uint64_t{0}, 0, 0, 0};

    SmallVector<BlockState, 8> store_a, store_b;
    store_a.resize(n + 1);
    store_b.resize(n + 1);
    std::fill(store_a.begin(), store_a.end(), kStart);
    std::fill(store_b.begin(), store_b.end(), kStart);
    BlockState* prev = store_a.data();
    BlockState* cur = store_b.data();

    uint64_t dist = m;
    PollBudget budget;
    for (unsigned char c : text) {
        budget.spend(n);
        uint64_t hp_in = 1, hn_in = 0;
        uint64_t hp_last = 0, hn_last = 0;
        for (size_t w = 0; w < n; ++w) {
            if (w + 2 < n) __builtin_prefetch(table.entry_ptr(w + 2, c));
            const BlockState& old = prev[w + 1];
            const BlockState& below = prev[w];
            const BlockState& below_new = cur[w];
            const uint64_t x = table.get(w, c);
            const uint64_t tr =
                (((x & ~old.d0) << 1) | ((below_new.pm & ~below.d0) >> 63)) & old.pm;
            const uint64_t y = x | hn_in;
            const uint64_t d0 = (((y & old.vp) + old.vp) ^ old.vp) | y | old.vn | tr;
            uint64_t hp = old.vn | ~(d0 | old.vp);
            uint64_t hn = d0 & old.vp;
            hp_last = hp;
            hn_last = hn;
            const uint64_t hp_out = hp >> 63;
            const uint64_t hn_out = hn >> 63;
            hp = (hp << 1) | hp_in;
            hn = (hn << 1) | hn_in;
            cur[w + 1] = BlockState{hn | ~(d0 | hp), hp & d0, d0, x};
            hp_in = hp_out;
            hn_in = hn_out;
        }
        dist += (hp_last >> h) & 1;
        dist -= (hn_last >> h) & 1;
        std::swap(prev, cur);
    }
    return dist;
}

// Distance of two byte sequences: the shorter is the pattern (the first on equal lengths).
uint64_t osa_bytes(Bytes s1, Bytes s2) {
    Bytes pattern = s1, text = s2;
    if (s2.size() < s1.size()) std::swap(pattern, text);
    const size_t m = pattern.size();
    if (m == 0) return text.size();
    if (m <= 64) {
        const CharMaskTable table(pattern);
        return osa_word(m, text, table);
    }
    if (m <= 128) {
        const PairCharMaskTable table(pattern);
        return osa_pair(m, text, table);
    }
    return osa_blocks(pattern, text);
}

// Three-row dynamic programme over s1 (rows) by s2 (columns), for pairs of more than 256
// distinct code points.
uint64_t osa_rows(std::span<const uint32_t> s1, std::span<const uint32_t> s2) {
    const size_t len1 = s1.size(), len2 = s2.size();
    if (len1 == 0) return len2;
    if (len2 == 0) return len1;
    SmallVector<uint64_t, 128> row_a, row_b, row_c;
    row_a.resize(len2 + 1);
    row_b.resize(len2 + 1);
    row_c.resize(len2 + 1);
    uint64_t* prev2 = row_a.data();
    uint64_t* prev = row_b.data();
    uint64_t* cur = row_c.data();
    for (size_t j = 0; j <= len2; ++j) prev[j] = j;

    PollBudget budget;
    for (size_t i = 1; i <= len1; ++i) {
        budget.spend(len2);
        const uint32_t a = s1[i - 1];
        cur[0] = i;
        for (size_t j = 1; j <= len2; ++j) {
            const uint64_t cost = a != s2[j - 1];
            uint64_t v = std::min({prev[j - 1] + cost, cur[j - 1] + 1, prev[j] + 1});
            if (i >= 2 && j >= 2 && a == s2[j - 2] && s1[i - 2] == s2[j - 1])
                v = std::min(v, prev2[j - 2] + cost);
            cur[j] = v;
        }
        // Every cell of the next row is written before it is read, so no clearing is needed.
        uint64_t* spare = prev2;
        prev2 = prev;
        prev = cur;
        cur = spare;
    }
    return prev[len2];
}

// A non-ASCII pair written as bytes, decoded straight from UTF-8. When every code point is
// below 256 the bytes are the code points themselves (Latin-1 narrowing). Otherwise every
// distinct code point gets a byte code in order of first appearance: the distance depends only
// on which symbols are equal, so the coded pair has the same distance. That fails only when
// the pair has more than 256 distinct symbols.
class ByteForm {
  public:
    ByteForm() = default;
    ByteForm(const ByteForm&) = delete;
    ByteForm& operator=(const ByteForm&) = delete;
    ~ByteForm() { std::free(heap_); }

    bool build(Utf8 s1, Utf8 s2) {
        // The byte length bounds the number of code points.
        const size_t total = s1.size() + s2.size();
        unsigned char* out = inline_;
        if (total > sizeof(inline_)) {
            heap_ = static_cast<unsigned char*>(std::malloc(total));
            if (!heap_) throw std::bad_alloc();
            out = heap_;
        }
        a_ = out;
        b_ = out + s1.size();
        if (narrow(s1, a_, len_a_) && narrow(s2, b_, len_b_)) return true;
        // At most 256 keys are ever inserted, so the table stays at most half full.
        const size_t slots = std::min(std::bit_ceil(2 * total), kSlots);
        std::memset(slots_, 0, slots * sizeof(Slot));
        mask_ = slots - 1;
        return recode(s1, a_, len_a_) && recode(s2, b_, len_b_);
    }
    Bytes first() const { return {a_, len_a_}; }
    Bytes second() const { return {b_, len_b_}; }

  private:
    struct Slot {
        uint32_t key;
        uint32_t code;  // code + 1; 0 marks an empty slot
    };
    static constexpr size_t kSlots = 512;

    static bool narrow(Utf8 t, unsigned char* out, size_t& len) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(t.data());
        const unsigned char* end = p + t.size();
        len = 0;
        while (p < end) {
            const uint32_t v = decode_one(p);
            if (v >= 256) return false;
            out[len++] = static_cast<unsigned char>(v);
        }
        return true;
    }

    bool recode(Utf8 t, unsigned char* out, size_t& len) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(t.data());
        const unsigned char* end = p + t.size();
        len = 0;
        while (p < end) {
            const uint32_t v = decode_one(p);
            size_t h = static_cast<size_t>(hash_symbol(v)) & mask_;
            while (slots_[h].code != 0 && slots_[h].key != v) h = (h + 1) & mask_;
            if (slots_[h].code == 0) {
                if (next_ == 256) return false;
                slots_[h] = Slot{v, ++next_};
            }
            out[len++] = static_cast<unsigned char>(slots_[h].code - 1);
        }
        return true;
    }

    unsigned char inline_[512];  // both texts, up to 512 bytes together
    unsigned char* heap_ = nullptr;
    unsigned char* a_ = nullptr;
    unsigned char* b_ = nullptr;
    size_t len_a_ = 0, len_b_ = 0;
    Slot slots_[kSlots];
    size_t mask_ = 0;
    uint32_t next_ = 0;
};

uint64_t osa_decoded(Utf8 s1, Utf8 s2) {
    ByteForm bytes;
    if (bytes.build(s1, s2)) return osa_bytes(bytes.first(), bytes.second());
    // More than 256 distinct symbols: the quadratic programme over code points.
    const SymbolSeq a(s1), b(s2);
    return osa_rows(a.view(), b.view());
}

}  // namespace

uint64_t osa_plain_distance(Utf8 s1, Utf8 s2) {
    if (same_bytes(s1, s2)) return 0;
    if (is_ascii(s1) && is_ascii(s2)) return osa_bytes(bytes_of(s1), bytes_of(s2));
    return osa_decoded(s1, s2);
}

using Forms = EditForms<osa_plain_distance>;

uint64_t osa_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    return Forms::distance(s1, s2, cutoff);
}
uint64_t osa_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    return Forms::similarity(s1, s2, cutoff);
}
double osa_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return Forms::normalized_distance(s1, s2, cutoff);
}
double osa_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    return Forms::normalized_similarity(s1, s2, cutoff);
}

}  // namespace qx
