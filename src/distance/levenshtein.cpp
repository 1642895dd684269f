#include "levenshtein.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <type_traits>
#include <utility>

#include "../char_masks.hpp"
#include "../small_vector.hpp"

namespace qx {

namespace {

constexpr uint64_t kNoLimit = ~uint64_t{0};

using Bytes = std::span<const unsigned char>;
using Scalars = std::span<const uint32_t>;

// Common prefix, then common suffix of the rest, of two byte strings; eight bytes per step.
Affix byte_affix(Bytes a, Bytes b) {
    const size_t n = std::min(a.size(), b.size());
    Affix r;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) break;
    }
    while (i < n && a[i] == b[i]) ++i;
    r.prefix = i;
    const size_t limit = n - i;
    const unsigned char* ea = a.data() + a.size();
    const unsigned char* eb = b.data() + b.size();
    size_t j = 0;
    for (; j + 8 <= limit; j += 8) {
        uint64_t x, y;
        std::memcpy(&x, ea - j - 8, 8);
        std::memcpy(&y, eb - j - 8, 8);
        if (x != y) break;
    }
    while (j < limit && ea[-1 - static_cast<ptrdiff_t>(j)] == eb[-1 - static_cast<ptrdiff_t>(j)])
        ++j;
    r.suffix = j;
    return r;
}

Affix affix_of(Bytes a, Bytes b) {
    return byte_affix(a, b);
}
Affix affix_of(Scalars a, Scalars b) {
    return common_affix(a, b);
}

// Lower bound of the final distance after a prefix of the text: one more text symbol
// changes the last-row value by at most one. True when the final distance exceeds `max`.
inline bool cannot_reach(uint64_t d, size_t remaining, uint64_t max) {
    return d > max + remaining;
}

// Hyyrö 2003 over one 64-bit word: pattern a (1 to 64 symbols below 256), text b.
template <bool Bounded>
uint64_t single_word(Bytes a, Bytes b, uint64_t max) {
    const CharMaskTable pm(a);
    uint64_t vp = ~uint64_t{0};
    uint64_t vn = 0;
    uint64_t d = a.size();
    const uint64_t last = uint64_t{1} << (a.size() - 1);
    size_t remaining = b.size();
    for (unsigned char s : b) {
        const uint64_t x = pm[s];
        const uint64_t d0 = (((x & vp) + vp) ^ vp) | x | vn;
        uint64_t hp = vn | ~(d0 | vp);
        uint64_t hn = d0 & vp;
        d += (hp & last) != 0;
        d -= (hn & last) != 0;
        hp = (hp << 1) | 1;
        hn = hn << 1;
        vp = hn | ~(d0 | hp);
        vn = hp & d0;
        if constexpr (Bounded) {
            --remaining;
            if (cannot_reach(d, remaining, max)) return max + 1;
        }
    }
    return d;
}

// One step of Hyyrö 2003 for one block. On entry hp_c/hn_c hold the horizontal carries
// (0 or 1) coming from the block below at this text position; on exit, the carries leaving
// this block at the bit `out` selects.
template <bool TopBit>
inline void block_step(uint64_t eq, uint64_t& vp, uint64_t& vn, uint64_t& hp_c, uint64_t& hn_c,
                       uint64_t out) {
    const uint64_t x = eq | hn_c;
    const uint64_t d0 = (((x & vp) + vp) ^ vp) | x | vn;
    uint64_t hp = vn | ~(d0 | vp);
    uint64_t hn = d0 & vp;
    uint64_t hp_out, hn_out;
    if constexpr (TopBit) {
        hp_out = hp >> 63;
        hn_out = hn >> 63;
    } else {
        hp_out = (hp & out) != 0;
        hn_out = (hn & out) != 0;
    }
    hp = (hp << 1) | hp_c;
    hn = (hn << 1) | hn_c;
    vp = hn | ~(d0 | hp);
    vn = hp & d0;
    hp_c = hp_out;
    hn_c = hn_out;
}

template <size_t I>
using Index = std::integral_constant<size_t, I>;

// Horizontal carries across one block boundary, one byte per text position: 1 for +1,
// 2 for -1, 0 for no change.
using CarryBytes = SmallVector<unsigned char, 1024>;

// Runs G consecutive blocks, starting at block w0, over the whole text as a wavefront: in
// step t, block g works on text position t - g, so the G dependency chains overlap. Block g
// takes the carries block g - 1 produced one step earlier; block 0 reads `carry` at position
// p and the last block overwrites position p later (G - 1 steps on), in place. `out_mask`
// selects the bit whose carries leave the group's last block.
template <size_t G>
void block_group(const BlockCharMaskTable& pm, size_t w0, uint64_t out_mask, Bytes text,
                 unsigned char* carry) {
    const size_t len = text.size();
    const unsigned char* t = text.data();
    const uint64_t* masks = pm.entry_ptr(w0, 0);
    uint64_t vp[G], vn[G], hp_c[G], hn_c[G];
    for (size_t g = 0; g < G; ++g) {
        vp[g] = ~uint64_t{0};
        vn[g] = 0;
        hp_c[g] = hn_c[g] = 0;
    }
    const bool top_bit = out_mask >> 63;
    // Blocks run last to first so that block g + 1 reads the carry of the previous step
    // before block g replaces it.
    auto run = [&]<size_t g, bool TopBit>(Index<g>, std::bool_constant<TopBit>, size_t p) {
        uint64_t hp, hn;
        if constexpr (g == 0) {
            hp = carry[p] & 1;
            hn = carry[p] >> 1;
        } else {
            hp = hp_c[g];
            hn = hn_c[g];
        }
        const uint64_t eq = masks[256 * g + t[p]];
        if constexpr (g + 1 < G) {
            block_step<true>(eq, vp[g], vn[g], hp, hn, 0);
            hp_c[g + 1] = hp;
            hn_c[g + 1] = hn;
        } else {
            block_step<TopBit>(eq, vp[g], vn[g], hp, hn, out_mask);
            carry[p] = static_cast<unsigned char>(hp | (hn << 1));
        }
    };
    const size_t steps = len + G - 1;
    size_t step = 0;
    auto edge_step = [&]<size_t... I>(std::index_sequence<I...>) {
        ((step >= G - 1 - I && step - (G - 1 - I) < len
              ? run(Index<G - 1 - I>{}, std::false_type{}, step - (G - 1 - I))
              : void()),
         ...);
    };
    auto full_steps = [&]<bool TopBit>(std::bool_constant<TopBit> top) {
        for (; step < len; ++step)
            [&]<size_t... I>(std::index_sequence<I...>) {
                (run(Index<G - 1 - I>{}, top, step - (G - 1 - I)), ...);
            }(std::make_index_sequence<G>{});
    };
    for (; step < G - 1 && step < steps; ++step) edge_step(std::make_index_sequence<G>{});
    if (top_bit)
        full_steps(std::true_type{});
    else
        full_steps(std::false_type{});
    for (; step < steps; ++step) edge_step(std::make_index_sequence<G>{});
}

// Hyyrö 2003 over blocks of 64 pattern symbols, every block for every text symbol, without
// a band. Blocks are processed in groups over the whole text (see block_group); between
// groups, the horizontal carries are kept per text position. The carries leaving the last
// block are the steps of the bottom row, whose sum gives the distance.
uint64_t blocks(Bytes a, Bytes b) {
    constexpr size_t kGroup = 3;
    const BlockCharMaskTable pm(a);
    const size_t n = pm.blocks();
    const uint64_t last_mask = uint64_t{1} << ((a.size() - 1) % 64);
    CarryBytes carry;
    carry.resize(b.size());
    // The first row increases by one at every text position.
    std::fill(carry.begin(), carry.end(), 1);
    for (size_t w0 = 0; w0 < n; w0 += kGroup) {
        const size_t g = std::min(kGroup, n - w0);
        const uint64_t mask = w0 + g == n ? last_mask : uint64_t{1} << 63;
        switch (g) {
            case 3:
                block_group<3>(pm, w0, mask, b, carry.data());
                break;
            case 2:
                block_group<2>(pm, w0, mask, b, carry.data());
                break;
            default:
                block_group<1>(pm, w0, mask, b, carry.data());
                break;
        }
    }
    uint64_t up = 0, down = 0;
    for (unsigned char c : carry) {
        up += c & 1;
        down += c >> 1;
    }
    return a.size() + up - down;
}

// Bit-parallel distance of trimmed middle parts, symbols below 256, 1 <= |a| <= |b|.
uint64_t bit_parallel(Bytes a, Bytes b, uint64_t max) {
    const bool bounded = max < b.size();
    if (a.size() <= 64)
        return bounded ? single_word<true>(a, b, max) : single_word<false>(a, b, max);
    return blocks(a, b);
}

// Dynamic-programming row over a (columns) and b (rows), 1 <= |a| <= |b|.
uint64_t dp_row(Scalars a, Scalars b, uint64_t max) {
    const size_t n = a.size();
    SmallVector<uint64_t, 128> store;
    store.resize(n + 1);
    uint64_t* row = store.data();
    for (size_t j = 0; j <= n; ++j) row[j] = j;
    const bool bounded = max < b.size();
    size_t remaining = b.size();
    for (uint32_t t : b) {
        uint64_t diag = row[0];
        row[0] = diag + 1;
        for (size_t j = 1; j <= n; ++j) {
            const uint64_t above = row[j];
            row[j] = a[j - 1] == t ? diag : std::min({row[j - 1], above, diag}) + 1;
            diag = above;
        }
        --remaining;
        if (bounded && cannot_reach(row[n], remaining, max)) return max + 1;
    }
    return row[n];
}

// Orders the pair (shorter first; s1 first on equal lengths) and trims the common affix.
// Returns true with the distance in `d` when a middle part is empty.
template <class Sym>
bool order_and_trim(std::span<const Sym>& a, std::span<const Sym>& b, uint64_t& d) {
    if (a.size() > b.size()) std::swap(a, b);
    const Affix f = affix_of(a, b);
    const size_t core = a.size() - f.prefix - f.suffix;
    if (core == 0) {
        d = b.size() - a.size();
        return true;
    }
    a = a.subspan(f.prefix, core);
    b = b.subspan(f.prefix, b.size() - f.prefix - f.suffix);
    return false;
}

uint64_t ascii_distance(Bytes a, Bytes b, uint64_t max) {
    if (a.empty()) return b.size();
    if (b.empty()) return a.size();
    uint64_t d;
    if (order_and_trim(a, b, d)) return d;
    if (b.size() - a.size() > max) return max + 1;
    return bit_parallel(a, b, max);
}

uint64_t unicode_distance(Utf8 s1, Utf8 s2, uint64_t max) {
    if (s1.empty()) return count_symbols(s2);
    if (s2.empty()) return count_symbols(s1);
    const SymbolSeq q1(s1);
    const SymbolSeq q2(s2);
    Scalars a = q1.view();
    Scalars b = q2.view();
    uint64_t d;
    if (order_and_trim(a, b, d)) return d;
    if (b.size() - a.size() > max) return max + 1;
    if (fits_in_bytes(a) && fits_in_bytes(b)) {
        const NarrowedBytes na(a);
        const NarrowedBytes nb(b);
        return bit_parallel(na.view(), nb.view(), max);
    }
    return dp_row(a, b, max);
}

// Largest distance in [0, m] whose mapped value `keeps` accepts, assuming `keeps` holds for
// small distances and fails for large ones; kNoLimit when it holds up to m, and `none`
// set when it fails already at 0.
template <class Keeps>
uint64_t largest_kept(uint64_t m, Keeps keeps, bool& none) {
    none = false;
    if (keeps(m)) return kNoLimit;
    if (!keeps(0)) {
        none = true;
        return 0;
    }
    uint64_t lo = 0, hi = m;  // keeps(lo), !keeps(hi)
    while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        (keeps(mid) ? lo : hi) = mid;
    }
    return lo;
}

inline size_t longer_length(Utf8 s1, Utf8 s2) {
    return std::max(count_symbols(s1), count_symbols(s2));
}

}  // namespace

uint64_t levenshtein(Utf8 s1, Utf8 s2, uint64_t max) {
    if (same_bytes(s1, s2)) return 0;
    if (is_ascii(s1) && is_ascii(s2)) return ascii_distance(bytes_of(s1), bytes_of(s2), max);
    return unicode_distance(s1, s2, max);
}

uint64_t levenshtein_distance(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    return cut_distance(levenshtein(s1, s2, cutoff ? *cutoff : kNoLimit), cutoff);
}

uint64_t levenshtein_similarity(Utf8 s1, Utf8 s2, IntCutoff cutoff) {
    const uint64_t m = longer_length(s1, s2);
    if (!cutoff) return m - levenshtein(s1, s2);
    if (*cutoff > m) return 0;  // m - d < cutoff for every d
    const uint64_t max = m - *cutoff;
    const uint64_t d = levenshtein(s1, s2, max);
    return d > max ? 0 : m - d;
}

double levenshtein_normalized_distance(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    const uint64_t m = longer_length(s1, s2);
    if (m == 0) return 0.0;
    const double dm = static_cast<double>(m);
    uint64_t max = kNoLimit;
    if (cutoff) {
        const double c = *cutoff;
        bool none;
        max = largest_kept(m, [&](uint64_t d) { return !(static_cast<double>(d) / dm > c); }, none);
        if (none) return 1.0;
    }
    const uint64_t d = levenshtein(s1, s2, max);
    if (d > max) return 1.0;
    return cut_distance(static_cast<double>(d) / dm, cutoff);
}

double levenshtein_normalized_similarity(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    const uint64_t m = longer_length(s1, s2);
    if (m == 0) return similarity_from_distance(0.0, cutoff);
    const double dm = static_cast<double>(m);
    uint64_t max = kNoLimit;
    if (cutoff) {
        const double c = *cutoff;
        bool none;
        max = largest_kept(
            m, [&](uint64_t d) { return !(1.0 - static_cast<double>(d) / dm < c); }, none);
        if (none) return 0.0;
    }
    const uint64_t d = levenshtein(s1, s2, max);
    if (d > max) return 0.0;
    return similarity_from_distance(static_cast<double>(d) / dm, cutoff);
}

}  // namespace qx
