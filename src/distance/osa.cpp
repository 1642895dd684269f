#include "osa.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>

#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "../symbol_masks.hpp"
#include "../word_masks.hpp"
#include "edit_forms.hpp"

namespace qx {

namespace {

// Long texts are scanned in slices of kSlice symbols with an interrupt poll between them.
constexpr size_t kSlice = size_t{1} << 16;

inline uint64_t low_bits(size_t n) {
    return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
}

// Hyyrö's bit-parallel OSA recurrence (2003) over one 64-bit word: a pattern of 1 to 64
// symbols (its masks), any text.
template <class Masks, CodeUnit T>
uint64_t osa_word(const Masks& pm, size_t m, std::span<const T> text) {
    uint64_t vp = low_bits(m);
    uint64_t vn = 0, d0 = 0, pm_old = 0;
    const uint64_t last = uint64_t{1} << (m - 1);
    uint64_t dist = m;
    for (size_t at = 0; at < text.size(); at += kSlice) {
        if (at) poll_interrupt();
        for (const T c : text.subspan(at, std::min(kSlice, text.size() - at))) {
            const uint64_t x = pm.word(c);
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

// Masks of a pattern of at most kTinyLength symbols, found by comparing with each pattern
// symbol: for short pairs this costs less than clearing and filling a table.
template <CodeUnit U>
class TinyMasks {
  public:
    static constexpr size_t kTinyLength = 16;

    explicit TinyMasks(std::span<const U> pattern) : pattern_(pattern) {}

    template <CodeUnit S>
    uint64_t word(S symbol) const {
        uint64_t x = 0;
        for (size_t i = 0; i < pattern_.size(); ++i)
            x |= static_cast<uint64_t>(uint32_t{pattern_[i]} == uint32_t{symbol}) << i;
        return x;
    }

  private:
    std::span<const U> pattern_;
};

// The same recurrence on one 128-bit vector for 65 <= m <= 128 (two-word rows of the map),
// held as a low word (positions 0-63) and a high word (64-127); additions and shifts carry
// from the low into the high word. Written out on the two words, which compiles to tighter
// code than unsigned __int128.
template <CodeUnit U, CodeUnit T>
uint64_t osa_pair(const SymbolMasks<U>& pm, std::span<const T> text) {
    const size_t m = pm.length();
    const uint64_t* rows = pm.dense_row(0);
    uint64_t vp_lo = ~uint64_t{0}, vp_hi = low_bits(m - 64);
    uint64_t vn_lo = 0, vn_hi = 0, d0_lo = 0, d0_hi = 0, pm_lo = 0, pm_hi = 0;
    const uint64_t last = uint64_t{1} << (m - 65);
    uint64_t dist = m;
    for (size_t at = 0; at < text.size(); at += kSlice) {
        if (at) poll_interrupt();
        for (const T c : text.subspan(at, std::min(kSlice, text.size() - at))) {
            const uint64_t* row = rows + 2 * size_t{pm.id(c)};
            const uint64_t x_lo = row[0], x_hi = row[1];
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

// The same recurrence over blocks of 64 pattern positions, for any pattern length. Each state
// vector has a sentinel record at index 0 standing below block 0, so block w lives at index
// w + 1.
template <CodeUnit U, CodeUnit T>
uint64_t osa_blocks(const SymbolMasks<U>& pm, std::span<const T> text) {
    const size_t n = pm.blocks();
    const size_t m = pm.length();
    const unsigned h = static_cast<unsigned>((m - 1) % 64);
    constexpr BlockState kStart{~uint64_t{0}, 0, 0, 0};

    SmallVector<BlockState, 8> store_a, store_b;
    store_a.resize(n + 1);
    store_b.resize(n + 1);
    std::fill(store_a.begin(), store_a.end(), kStart);
    std::fill(store_b.begin(), store_b.end(), kStart);
    BlockState* prev = store_a.data();
    BlockState* cur = store_b.data();

    typename SymbolMasks<U>::Reader reader(pm);
    uint64_t dist = m;
    PollBudget budget;
    for (const T c : text) {
        budget.spend(n);
        const uint64_t* row = reader.row(c);
        uint64_t hp_in = 1, hn_in = 0;
        uint64_t hp_last = 0, hn_last = 0;
        for (size_t w = 0; w < n; ++w) {
            const BlockState& old = prev[w + 1];
            const BlockState& below = prev[w];
            const BlockState& below_new = cur[w];
            const uint64_t x = row[w];
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

// The shorter text a first (|a| <= |b|, a taken first on equal lengths). The common prefix and
// suffix leave the distance unchanged: they are trimmed, then the rest of a is prepared and
// the rest of b scanned.
template <CodeUnit A, CodeUnit B>
uint64_t ordered_distance(std::span<const A> a, std::span<const B> b) {
    const Affix f = common_affix(a, b);
    const size_t m = a.size() - f.prefix - f.suffix;
    if (m == 0) return b.size() - a.size();
    a = a.subspan(f.prefix, m);
    b = b.subspan(f.prefix, b.size() - f.prefix - f.suffix);
    if (m <= TinyMasks<A>::kTinyLength && b.size() <= 2 * TinyMasks<A>::kTinyLength) {
        const TinyMasks<A> pm(a);
        return osa_word(pm, m, b);
    }
    if (m <= WordMasks<A>::kMaxLength) {
        const WordMasks<A> pm(a);
        return osa_word(pm, m, b);
    }
    const SymbolMasks<A> pm(a);
    if (m <= 128 && pm.dense()) return osa_pair(pm, b);
    return osa_blocks(pm, b);
}

}  // namespace

uint64_t osa_plain_distance(Text s1, Text s2) {
    return visit(s1, s2, [](auto a, auto b) -> uint64_t {
        return a.size() <= b.size() ? ordered_distance(a, b) : ordered_distance(b, a);
    });
}

using Forms = EditDistanceForms<osa_plain_distance>;

uint64_t osa_distance(Text s1, Text s2, IntCutoff cutoff) {
    return Forms::distance(s1, s2, cutoff);
}
uint64_t osa_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return Forms::similarity(s1, s2, cutoff);
}
double osa_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return Forms::normalized_distance(s1, s2, cutoff);
}
double osa_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return Forms::normalized_similarity(s1, s2, cutoff);
}

}  // namespace qx
