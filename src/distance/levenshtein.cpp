#include "levenshtein.hpp"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>

#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "../symbol_masks.hpp"
#include "../word_masks.hpp"
#include "edit_forms.hpp"

namespace qx {

namespace {

// Text positions between two polls for interruption.
constexpr size_t kPollSteps = size_t{1} << 14;

// Lower bound of the final distance after a prefix of the text: one more text symbol
// changes the last-row value by at most one. True when the final distance exceeds `max`.
inline bool cannot_reach(uint64_t d, size_t remaining, uint64_t max) {
    return d > max + remaining;
}

// Hyyrö 2003 over one 64-bit word: a pattern of 1 to 64 symbols (its masks), any text.
template <bool Bounded, CodeUnit U, CodeUnit T>
uint64_t single_word(const WordMasks<U>& pm, size_t m, std::span<const T> text, uint64_t max) {
    const size_t n = text.size();
    uint64_t vp = ~uint64_t{0};
    uint64_t vn = 0;
    uint64_t d = m;
    const uint64_t last = uint64_t{1} << (m - 1);
    for (size_t begin = 0; begin < n; begin += kPollSteps) {
        const size_t end = std::min(n, begin + kPollSteps);
        for (size_t j = begin; j < end; ++j) {
            const uint64_t x = pm.word(text[j]);
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
                if (cannot_reach(d, n - 1 - j, max)) return max + 1;
            }
        }
        if (end < n) poll_interrupt();
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

// The masks of a block group: the word of block g (0 <= g < G) for symbol id k is
// words[k * stride + g], the stride the same for every group of a call.
struct GroupMasks {
    const uint64_t* words;
    size_t stride;
};

// Runs G consecutive blocks over the whole text (given as the offsets id * stride of its
// positions' symbol ids) as
// a wavefront: in step t, block g works on text position t - g, so the G dependency chains
// overlap. Block g takes the carries block g - 1 produced one step earlier; block 0 reads
// `carry` at position p and the last block overwrites position p later (G - 1 steps on), in
// place. `out_mask` selects the bit whose carries leave the group's last block. Carries are
// one byte per text position: 1 for +1, 2 for -1, 0 for no change.
template <size_t G>
void block_group(GroupMasks pm, uint64_t out_mask, const uint32_t* offsets, size_t len,
                 unsigned char* carry) {
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
        const uint64_t eq = pm.words[offsets[p] + g];
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
        while (step < len) {
            const size_t end = std::min(len, step + kPollSteps);
            for (; step < end; ++step)
                [&]<size_t... I>(std::index_sequence<I...>) {
                    (run(Index<G - 1 - I>{}, top, step - (G - 1 - I)), ...);
                }(std::make_index_sequence<G>{});
            poll_interrupt();
        }
    };
    for (; step < G - 1 && step < steps; ++step) edge_step(std::make_index_sequence<G>{});
    if (top_bit)
        full_steps(std::true_type{});
    else
        full_steps(std::false_type{});
    for (; step < steps; ++step) edge_step(std::make_index_sequence<G>{});
}

// What the block kernel needs of a pattern of more than 64 symbols: its length and number of
// distinct symbols, and either its whole rows (the row of id k at rows + k * blocks) or, when
// the map keeps none, the symbol id of each position.
struct BlockPattern {
    size_t length;
    size_t symbols;
    const uint64_t* rows;
    const uint32_t* position_ids;
};

// Hyyrö 2003 over blocks of 64 pattern symbols, every block for every text symbol, without
// a band. Blocks are processed in groups over the whole text (see block_group); between
// groups, the horizontal carries are kept per text position. The carries leaving the last
// block are the steps of the bottom row, whose sum gives the distance. Without whole rows, the
// masks of each group are set from the positions it covers (at most 64 * G words), and cleared
// after it: memory stays linear in the pattern's length.
uint64_t blocks(const BlockPattern& p, const uint32_t* ids, size_t n) {
    constexpr size_t kGroup = 4;
    const size_t nb = (p.length + 63) / 64;
    // Each position's row offset, computed once for all groups.
    const size_t stride = p.rows ? nb : kGroup;
    if ((p.symbols + 1) * stride > UINT32_MAX) throw std::bad_alloc();
    SmallVector<uint32_t, 256> offsets;
    offsets.resize(n);
    for (size_t j = 0; j < n; ++j) offsets[j] = static_cast<uint32_t>(ids[j] * stride);
    const uint64_t last_mask = uint64_t{1} << ((p.length - 1) % 64);
    SmallVector<unsigned char, 1024> carry;
    carry.resize(n);
    // The first row increases by one at every text position.
    std::fill(carry.begin(), carry.end(), 1);
    SmallVector<uint64_t, 1> group;
    if (!p.rows) group.resize((p.symbols + 1) * kGroup);
    for (size_t w0 = 0; w0 < nb; w0 += kGroup) {
        const size_t g = std::min(kGroup, nb - w0);
        const uint64_t mask = w0 + g == nb ? last_mask : uint64_t{1} << 63;
        const size_t first = 64 * w0, stop = std::min(p.length, 64 * (w0 + g));
        GroupMasks pm{group.data(), kGroup};
        if (p.rows) {
            pm = {p.rows + w0, nb};
        } else {
            for (size_t i = first; i < stop; ++i)
                group[p.position_ids[i] * kGroup + (i / 64 - w0)] |= uint64_t{1} << (i % 64);
        }
        switch (g) {
            case 4:
                block_group<4>(pm, mask, offsets.data(), n, carry.data());
                break;
            case 3:
                block_group<3>(pm, mask, offsets.data(), n, carry.data());
                break;
            case 2:
                block_group<2>(pm, mask, offsets.data(), n, carry.data());
                break;
            default:
                block_group<1>(pm, mask, offsets.data(), n, carry.data());
                break;
        }
        if (!p.rows)
            for (size_t i = first; i < stop; ++i)
                group[p.position_ids[i] * kGroup + (i / 64 - w0)] = 0;
    }
    uint64_t up = 0, down = 0;
    for (unsigned char c : carry) {
        up += c & 1;
        down += c >> 1;
    }
    return p.length + up - down;
}

// An upper bound of the distance from whole rows of the pattern's masks and the text's symbol
// ids: the length difference plus the mismatches of the positions the two texts share when
// aligned at their starts, or at their ends, whichever is fewer.
uint64_t aligned_bound(const uint64_t* rows, size_t m, const uint32_t* ids, size_t n) {
    const size_t nb = (m + 63) / 64, shared = std::min(m, n);
    auto matches = [&](size_t i, size_t j) -> uint64_t {
        return (rows[ids[j] * nb + i / 64] >> (i % 64)) & 1;
    };
    uint64_t head = 0, tail = 0;
    for (size_t t = 0; t < shared; ++t) {
        head += matches(t, t);
        tail += matches(m - 1 - t, n - 1 - t);
    }
    return (m > n ? m - n : n - m) + shared - std::max(head, tail);
}

// Rows of the band of a bound k beside the rows of the pattern: the band pays when it covers
// at most about two thirds of the blocks.
inline bool band_pays(size_t m, size_t n, uint64_t k) {
    const uint64_t diff = m > n ? m - n : n - m;
    if (k >= m) return false;
    const uint64_t height = 2 * k - diff + 1;  // k >= diff
    return 3 * (height / 64 + 2) <= 2 * ((m + 63) / 64);
}

// False when the distance is known to exceed k after a text prefix, from the active blocks'
// values (each block's bottom row value and its vertical steps): a path of cost at most k runs
// inside the band, where the values are exact, and crosses the current column at some row i;
// its cost is at least that cell's value plus the difference of the remaining lengths,
// |remaining - (m - i)|.
bool within_reach(const uint64_t* score, const uint64_t* vp, const uint64_t* vn, size_t first,
                  size_t last, size_t m, size_t remaining, uint64_t k) {
    const int64_t diagonal_row = static_cast<int64_t>(m) - static_cast<int64_t>(remaining);
    const int64_t limit = static_cast<int64_t>(k);
    for (size_t b = first; b <= last; ++b) {
        const int64_t top = static_cast<int64_t>(64 * b) + 1;
        const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(m), top + 63);
        int64_t value = static_cast<int64_t>(score[b]);
        for (int64_t row = bottom; row >= top; --row) {
            const int64_t gap = row > diagonal_row ? row - diagonal_row : diagonal_row - row;
            if (value + gap <= limit) return true;
            const unsigned r = static_cast<unsigned>(row - top);
            value -= static_cast<int64_t>((vp[b] >> r) & 1);
            value += static_cast<int64_t>((vn[b] >> r) & 1);
        }
    }
    return false;
}

// Hyyrö 2003 over blocks of 64 pattern symbols (whole rows), restricted to the diagonal band of
// the cells a path of cost at most k can pass through (Ukkonen): cell (i, J) with
// J - i in [max(-k, n - m - k), min(k, n - m + k)]. Precondition: |n - m| <= k. Text position
// by text position, the blocks that meet the band are updated top to bottom. A block entering
// at the bottom starts from the values its upper neighbour implies (each row one more than the
// row above), a block below one that left the band at the top takes a horizontal step of +1:
// both are upper bounds of the true values, so every value stays an upper bound, and the cells
// of a path of cost at most k inside the band are exact. The result is the distance when it is
// at most k, and some value above k otherwise. Each block keeps the value of its bottom row.
uint64_t banded_blocks(const uint64_t* rows, size_t m, const uint32_t* ids, size_t n, uint64_t k) {
    const size_t nb = (m + 63) / 64;
    const int64_t diff = static_cast<int64_t>(n) - static_cast<int64_t>(m);
    const int64_t kk = static_cast<int64_t>(k);
    const int64_t lo_off = std::max(-kk, diff - kk), hi_off = std::min(kk, diff + kk);
    SmallVector<uint64_t, 48> state;
    state.resize(3 * nb);
    uint64_t* vp = state.data();
    uint64_t* vn = vp + nb;
    uint64_t* score = vn + nb;
    const uint64_t last_bit = uint64_t{1} << ((m - 1) % 64);
    auto rows_in = [&](size_t b) { return std::min<size_t>(64, m - 64 * b); };
    size_t first = 0, last = 0;
    vp[0] = ~uint64_t{0};
    vn[0] = 0;
    score[0] = rows_in(0);
    for (size_t j = 0; j < n; ++j) {
        if ((j & (kPollSteps - 1)) == kPollSteps - 1) poll_interrupt();
        const int64_t col = static_cast<int64_t>(j) + 1;
        const int64_t row_lo = std::max<int64_t>(1, col - hi_off);
        const int64_t row_hi = std::min<int64_t>(static_cast<int64_t>(m), col - lo_off);
        const size_t want_last = static_cast<size_t>(row_hi - 1) / 64;
        while (last < want_last) {
            ++last;
            vp[last] = ~uint64_t{0};
            vn[last] = 0;
            score[last] = score[last - 1] + rows_in(last);
        }
        first = std::max(first, static_cast<size_t>(row_lo - 1) / 64);
        const uint64_t* row = rows + size_t{ids[j]} * nb;
        uint64_t hp_c = 1, hn_c = 0;
        for (size_t b = first; b <= last; ++b) {
            const uint64_t out = b + 1 == nb ? last_bit : uint64_t{1} << 63;
            block_step<false>(row[b], vp[b], vn[b], hp_c, hn_c, out);
            score[b] = score[b] + hp_c - hn_c;
        }
        if ((j & 31) == 31 && !within_reach(score, vp, vn, first, last, m, n - 1 - j, k))
            return k + 1;
    }
    return score[nb - 1];
}

// Symbol ids of a pattern's positions, kept only when its map has no whole rows.
template <CodeUnit U>
void sparse_position_ids(const SymbolMasks<U>& pm, std::span<const U> pattern,
                         SmallVector<uint32_t, 1>& out) {
    if (pattern.size() <= 64 || pm.dense()) return;
    out.resize(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) out[i] = pm.id(pattern[i]);
}

// The distance of a prepared pattern (1 to 64 symbols, or more) and a text (at least one
// symbol) whose lengths differ by at most `max`; above `max` only some value above it.
template <CodeUnit U, CodeUnit T>
uint64_t scan(const WordMasks<U>& pm, size_t m, std::span<const T> text, uint64_t max) {
    return max < std::max(m, text.size()) ? single_word<true>(pm, m, text, max)
                                          : single_word<false>(pm, m, text, max);
}

template <CodeUnit U, CodeUnit T>
uint64_t scan(const SymbolMasks<U>& pm, const uint32_t* position_ids, std::span<const T> text,
              uint64_t max) {
    const size_t m = pm.length(), n = text.size();
    SmallVector<uint32_t, 256> ids;
    ids.resize(n);
    for (size_t j = 0; j < n; ++j) ids[j] = pm.id(text[j]);
    BlockPattern p{m, pm.symbols(), pm.dense() ? pm.dense_row(0) : nullptr, position_ids};
    // A map without whole rows (many symbols): whole rows for this call while they cost at most
    // 64 bytes per symbol of the two texts, so that the band applies.
    SmallVector<uint64_t, 1> local_rows;
    const size_t nb = (m + 63) / 64;
    if (!p.rows && (p.symbols + 1) * nb <= 8 * (m + n)) {
        local_rows.resize((p.symbols + 1) * nb);
        for (size_t i = 0; i < m; ++i)
            local_rows[position_ids[i] * nb + i / 64] |= uint64_t{1} << (i % 64);
        p.rows = local_rows.data();
    }
    if (p.rows) {
        const uint64_t k = std::min(max, aligned_bound(p.rows, m, ids.data(), n));
        if (band_pays(m, n, k)) return banded_blocks(p.rows, m, ids.data(), n, k);
    }
    return blocks(p, ids.data(), n);
}

// The shorter text a first (|a| <= |b|): trims the common affix, then prepares the rest of a
// and scans the rest of b.
template <CodeUnit A, CodeUnit B>
uint64_t ordered_distance(std::span<const A> a, std::span<const B> b, uint64_t max) {
    const Affix f = common_affix(a, b);
    const size_t core = a.size() - f.prefix - f.suffix;
    if (core == 0) return b.size() - a.size();
    a = a.subspan(f.prefix, core);
    b = b.subspan(f.prefix, b.size() - f.prefix - f.suffix);
    if (b.size() - a.size() > max) return max + 1;
    if (a.size() <= WordMasks<A>::kMaxLength) {
        const WordMasks<A> pm(a);
        return scan(pm, a.size(), b, max);
    }
    const SymbolMasks<A> pm(a);
    SmallVector<uint32_t, 1> position_ids;
    sparse_position_ids(pm, a, position_ids);
    return scan(pm, position_ids.data(), b, max);
}

// The pair under Levenshtein: a kernel that stops past its bound.
struct LevenshteinPair {
    static constexpr bool kBounded = true;
    Text s1, s2;

    uint64_t maximum() const { return std::max(s1.length, s2.length); }
    uint64_t distance(uint64_t max) const { return levenshtein(s1, s2, max); }
    bool settled_when_identical() const { return false; }
    std::optional<uint64_t> settled_similarity() const { return std::nullopt; }
};

// A prepared query and one choice.
struct LevenshteinQueryPair {
    static constexpr bool kBounded = true;
    const LevenshteinQuery& query;
    Text choice;

    uint64_t maximum() const { return std::max<uint64_t>(query.length(), choice.length); }
    uint64_t distance(uint64_t max) const { return query.bounded(choice, max); }
    bool settled_when_identical() const { return false; }
    std::optional<uint64_t> settled_similarity() const { return std::nullopt; }
};

using PairForms = EditForms<LevenshteinPair>;
using QueryForms = EditForms<LevenshteinQueryPair>;

}  // namespace

uint64_t levenshtein(Text s1, Text s2, uint64_t max) {
    return visit(s1, s2, [max](auto a, auto b) -> uint64_t {
        return a.size() <= b.size() ? ordered_distance(a, b, max) : ordered_distance(b, a, max);
    });
}

uint64_t levenshtein_distance(Text s1, Text s2, IntCutoff cutoff) {
    return PairForms::distance({s1, s2}, cutoff);
}

uint64_t levenshtein_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return PairForms::similarity({s1, s2}, cutoff);
}

double levenshtein_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return PairForms::normalized_distance({s1, s2}, cutoff);
}

double levenshtein_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return PairForms::normalized_similarity({s1, s2}, cutoff);
}

// ---------------------------------------------------------------------------------------------
// Prepared query: the masks of the whole query (nothing is trimmed: the affix depends on the
// choice), then the scan of each choice.

namespace {

template <CodeUnit U>
struct PreparedPattern {
    size_t length;
    std::optional<WordMasks<U>> word;     // queries of at most 64 symbols
    std::optional<SymbolMasks<U>> masks;  // longer ones
    SmallVector<uint32_t, 1> position_ids;

    explicit PreparedPattern(std::span<const U> query) : length(query.size()) {
        if (length <= WordMasks<U>::kMaxLength) {
            word.emplace(query);
        } else {
            masks.emplace(query);
            sparse_position_ids(*masks, query, position_ids);
        }
    }

    template <CodeUnit T>
    uint64_t scan(std::span<const T> text, uint64_t max) const {
        if (word) return qx::scan(*word, length, text, max);
        return qx::scan(*masks, position_ids.data(), text, max);
    }
};

using AnyPattern =
    std::variant<PreparedPattern<uint8_t>, PreparedPattern<uint16_t>, PreparedPattern<uint32_t>>;

AnyPattern prepare(Text query) {
    switch (query.width) {
        case 1:
            return AnyPattern(std::in_place_index<0>, query.units<uint8_t>());
        case 2:
            return AnyPattern(std::in_place_index<1>, query.units<uint16_t>());
        default:
            return AnyPattern(std::in_place_index<2>, query.units<uint32_t>());
    }
}

}  // namespace

struct LevenshteinQuery::State {
    size_t length;
    AnyPattern pattern;

    explicit State(Text query) : length(query.length), pattern(prepare(query)) {}
};

LevenshteinQuery::LevenshteinQuery(Text query) : state_(std::make_unique<State>(query)) {}
LevenshteinQuery::~LevenshteinQuery() = default;
LevenshteinQuery::LevenshteinQuery(LevenshteinQuery&&) noexcept = default;
LevenshteinQuery& LevenshteinQuery::operator=(LevenshteinQuery&&) noexcept = default;

size_t LevenshteinQuery::length() const {
    return state_->length;
}

uint64_t LevenshteinQuery::bounded(Text choice, uint64_t max) const {
    const size_t m = state_->length, n = choice.length;
    if (m == 0) return n;
    if (n == 0) return m;
    if ((m > n ? m - n : n - m) > max) return max + 1;
    return std::visit(
        [&](const auto& p) {
            return visit(choice, [&](auto text) { return p.scan(text, max); });
        },
        state_->pattern);
}

uint64_t LevenshteinQuery::distance(Text choice, IntCutoff cutoff) const {
    return QueryForms::distance({*this, choice}, cutoff);
}

uint64_t LevenshteinQuery::similarity(Text choice, IntCutoff cutoff) const {
    return QueryForms::similarity({*this, choice}, cutoff);
}

double LevenshteinQuery::normalized_distance(Text choice, FloatCutoff cutoff) const {
    return QueryForms::normalized_distance({*this, choice}, cutoff);
}

double LevenshteinQuery::normalized_similarity(Text choice, FloatCutoff cutoff) const {
    return QueryForms::normalized_similarity({*this, choice}, cutoff);
}

}  // namespace qx
