#include "jaro.hpp"

#include <algorithm>
#include <bit>
#include <optional>
#include <span>
#include <variant>

#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "../symbol_masks.hpp"
#include "../word_masks.hpp"

namespace qx {

namespace {

__extension__ typedef unsigned __int128 u128;

constexpr double kBoostThreshold = 0.7;
constexpr size_t kMaxPrefix = 4;

// Low k bits set, 0 <= k <= 64.
inline uint64_t low_bits(size_t k) {
    return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1;
}

// Match window: positions i and j may match when |i - j| <= w.
inline size_t match_window(size_t len1, size_t len2) {
    size_t maxlen = std::max(len1, len2);
    return maxlen < 2 ? 0 : maxlen / 2 - 1;
}

// Final Jaro formula, evaluated in this order: M/len1, + M/len2, (M - t)/M, (y + z)/3. The sum
// of the first two terms is commutative, so the roles of the two texts may be exchanged.
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
    static uint64_t low(size_t k) { return low_bits(k); }
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
// mask_of(symbol) gives the positions of the pattern holding that symbol. The text drives the
// scan and takes the lowest free pattern position inside its window: the same flags as the
// pattern-driven scan.
template <class W, class P, class T, class MaskOf>
double jaro_word_scan(std::span<const P> pattern, std::span<const T> text, const MaskOf& mask_of) {
    using Ops = WordOps<W>;
    const size_t len1 = pattern.size(), len2 = text.size();
    const size_t w = match_window(len1, len2);

    W flags1 = 0, flags2 = 0;
    const size_t limit = std::min(len2, len1 + w);
    for (size_t j = 0; j < limit; ++j) {
        size_t lo = j > w ? j - w : 0;
        size_t hi = std::min(j + w + 1, len1);
        W candidates = mask_of(text[j]) & ~flags1 & Ops::low(hi) & ~Ops::low(lo);
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
        mismatched_pairs += pattern[i] != text[j];
        flags1 &= flags1 - 1;
        flags2 &= flags2 - 1;
        ++matches;
    }
    return jaro_formula(matches, mismatched_pairs / 2, len1, len2);
}

// Block form: the pattern's masks in 64-position blocks; reader.row(symbol) gives the blocks
// of a symbol's mask. The scanned text only takes part up to position plen + w - 1; no later
// one can fall in a window. For each scanned symbol the lowest free candidate is searched
// word by word from the window's first word.
template <class P, class T, class Reader>
double jaro_block_scan(std::span<const P> pattern, std::span<const T> text, Reader& reader) {
    const size_t plen = pattern.size();
    const size_t w = match_window(plen, text.size());
    const size_t limit = std::min(text.size(), plen + w);

    SmallVector<uint64_t, 8> pflags;
    pflags.resize((plen + 63) / 64);
    SmallVector<uint64_t, 8> tflags;
    tflags.resize((limit + 63) / 64);

    PollBudget budget;
    for (size_t j = 0; j < limit; ++j) {
        const size_t lo = j > w ? j - w : 0;
        const size_t hi = std::min(j + w + 1, plen);  // exclusive; hi > lo since j < plen + w
        const size_t first = lo / 64, last = (hi - 1) / 64;
        const uint64_t* row = reader.row(text[j]);
        size_t k = first;
        for (; k <= last; ++k) {
            uint64_t candidates = row[k] & ~pflags[k];
            if (k == first) candidates &= ~low_bits(lo % 64);
            if (k == last) candidates &= low_bits((hi - 1) % 64 + 1);
            if (candidates) {
                pflags[k] |= candidates & (~candidates + 1);
                tflags[j / 64] |= uint64_t{1} << (j % 64);
                break;
            }
        }
        budget.spend(k - first + 1);
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
    return jaro_formula(matches, mismatched_pairs / 2, plen, text.size());
}

// A pattern of at most 64 symbols as block rows of one word, for the block scan.
template <CodeUnit P>
struct WordRows {
    const WordMasks<P>& masks;
    uint64_t shown = 0;

    template <CodeUnit S>
    const uint64_t* row(S symbol) {
        shown = masks.word(symbol);
        return &shown;
    }
};

// Jaro of a prepared pattern of at most 64 symbols and a text, both non-empty. The value is
// symmetric: the roles only decide the scan order.
template <CodeUnit P, CodeUnit T>
double jaro_scan(const WordMasks<P>& pm, std::span<const P> pattern, std::span<const T> text) {
    const auto mask_of = [&pm](T c) { return pm.word(c); };
    if (text.size() <= 64) return jaro_word_scan<uint64_t>(pattern, text, mask_of);
    if (text.size() <= 128)
        return jaro_word_scan<u128>(pattern, text, [&pm](T c) { return u128{pm.word(c)}; });
    WordRows<P> rows{pm};
    return jaro_block_scan(pattern, text, rows);
}

// The same for a longer pattern.
template <CodeUnit P, CodeUnit T>
double jaro_scan(const SymbolMasks<P>& pm, std::span<const P> pattern, std::span<const T> text) {
    if (pattern.size() <= 128 && text.size() <= 128) {
        // At most 129 ids: the map keeps whole rows of two words.
        return jaro_word_scan<u128>(pattern, text, [&pm](T c) {
            const uint64_t* row = pm.dense_row(pm.id(c));
            return static_cast<u128>(row[0]) | static_cast<u128>(row[1]) << 64;
        });
    }
    typename SymbolMasks<P>::Reader reader(pm);
    return jaro_block_scan(pattern, text, reader);
}

// Prepares the pattern's masks, then scans the text.
template <CodeUnit P, CodeUnit T>
double prepare_and_scan(std::span<const P> pattern, std::span<const T> text) {
    if (pattern.size() <= WordMasks<P>::kMaxLength) {
        const WordMasks<P> pm(pattern);
        return jaro_scan(pm, pattern, text);
    }
    const SymbolMasks<P> pm(pattern);
    return jaro_scan(pm, pattern, text);
}

template <CodeUnit A, CodeUnit B>
bool same_symbols(std::span<const A> a, std::span<const B> b) {
    return a.size() == b.size() && common_prefix(a, b) == a.size();
}

// Number of leading symbols shared by the two texts, at most four.
template <CodeUnit A, CodeUnit B>
size_t winkler_prefix(std::span<const A> a, std::span<const B> b) {
    const size_t n = std::min({kMaxPrefix, a.size(), b.size()});
    size_t shared = 0;
    while (shared < n && a[shared] == b[shared]) ++shared;
    return shared;
}

inline double winkler_boost(double j, size_t shared, double prefix_weight) {
    if (j < kBoostThreshold) return j;
    return j + (1.0 - j) * (prefix_weight * static_cast<double>(shared));
}

// Jaro of two texts: the shorter (s1 on a tie) is the pattern.
template <CodeUnit A, CodeUnit B>
double jaro_spans(std::span<const A> a, std::span<const B> b) {
    if (same_symbols(a, b)) return 1.0;
    if (a.empty() || b.empty()) return 0.0;
    return b.size() < a.size() ? prepare_and_scan(b, a) : prepare_and_scan(a, b);
}

double jaro_winkler_core(Text s1, Text s2, double prefix_weight) {
    return visit(s1, s2, [prefix_weight](auto a, auto b) {
        if (same_symbols(a, b)) return 1.0;
        if (a.empty() || b.empty()) return 0.0;
        return winkler_boost(jaro_spans(a, b), winkler_prefix(a, b), prefix_weight);
    });
}

}  // namespace

double jaro_core(Text s1, Text s2) {
    return visit(s1, s2, [](auto a, auto b) { return jaro_spans(a, b); });
}

double jaro_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return cut_similarity(jaro_core(s1, s2), cutoff);
}
double jaro_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return distance_from_similarity(jaro_core(s1, s2), cutoff);
}
double jaro_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return jaro_similarity(s1, s2, cutoff);
}
double jaro_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return jaro_distance(s1, s2, cutoff);
}

double jaro_winkler_similarity(Text s1, Text s2, double prefix_weight, FloatCutoff cutoff) {
    return cut_similarity(jaro_winkler_core(s1, s2, prefix_weight), cutoff);
}
double jaro_winkler_distance(Text s1, Text s2, double prefix_weight, FloatCutoff cutoff) {
    return distance_from_similarity(jaro_winkler_core(s1, s2, prefix_weight), cutoff);
}
double jaro_winkler_normalized_similarity(Text s1, Text s2, double prefix_weight,
                                          FloatCutoff cutoff) {
    return jaro_winkler_similarity(s1, s2, prefix_weight, cutoff);
}
double jaro_winkler_normalized_distance(Text s1, Text s2, double prefix_weight,
                                        FloatCutoff cutoff) {
    return jaro_winkler_distance(s1, s2, prefix_weight, cutoff);
}

// ---------------------------------------------------------------------------------------------
// Prepared query: a copy of the query and its masks; each choice is scanned against them.

namespace {

template <CodeUnit U>
struct PreparedJaro {
    SmallVector<U, 64> units;
    std::optional<WordMasks<U>> word;     // queries of at most 64 symbols
    std::optional<SymbolMasks<U>> masks;  // longer ones

    explicit PreparedJaro(std::span<const U> query) : units(copy(query)) {
        if (query.size() <= WordMasks<U>::kMaxLength)
            word.emplace(view());
        else
            masks.emplace(view());
    }

    std::span<const U> view() const { return {units.data(), units.size()}; }

    static SmallVector<U, 64> copy(std::span<const U> query) {
        SmallVector<U, 64> out;
        out.append(query.data(), query.size());
        return out;
    }

    template <CodeUnit T>
    double core(std::span<const T> choice) const {
        const std::span<const U> q = view();
        if (same_symbols(q, choice)) return 1.0;
        if (q.empty() || choice.empty()) return 0.0;
        return word ? jaro_scan(*word, q, choice) : jaro_scan(*masks, q, choice);
    }
};

using AnyJaro = std::variant<PreparedJaro<uint8_t>, PreparedJaro<uint16_t>, PreparedJaro<uint32_t>>;

AnyJaro prepare_jaro(Text query) {
    switch (query.width) {
        case 1:
            return AnyJaro(std::in_place_index<0>, query.units<uint8_t>());
        case 2:
            return AnyJaro(std::in_place_index<1>, query.units<uint16_t>());
        default:
            return AnyJaro(std::in_place_index<2>, query.units<uint32_t>());
    }
}

}  // namespace

struct JaroQuery::State {
    AnyJaro prepared;
    explicit State(Text query) : prepared(prepare_jaro(query)) {}
};

JaroQuery::JaroQuery(Text query) : state_(std::make_unique<State>(query)) {}
JaroQuery::~JaroQuery() = default;
JaroQuery::JaroQuery(JaroQuery&&) noexcept = default;
JaroQuery& JaroQuery::operator=(JaroQuery&&) noexcept = default;

size_t JaroQuery::length() const {
    return std::visit([](const auto& p) { return p.units.size(); }, state_->prepared);
}

double JaroQuery::core(Text choice) const {
    return std::visit(
        [&](const auto& p) { return visit(choice, [&](auto c) { return p.core(c); }); },
        state_->prepared);
}

double JaroQuery::winkler_core(Text choice, double prefix_weight) const {
    return std::visit(
        [&](const auto& p) {
            return visit(choice, [&](auto c) {
                const double j = p.core(c);
                if (j == 1.0 && same_symbols(p.view(), c)) return 1.0;
                if (p.units.empty() || c.empty()) return j;
                return winkler_boost(j, winkler_prefix(p.view(), c), prefix_weight);
            });
        },
        state_->prepared);
}

double JaroQuery::similarity(Text choice, FloatCutoff cutoff) const {
    return cut_similarity(core(choice), cutoff);
}
double JaroQuery::distance(Text choice, FloatCutoff cutoff) const {
    return distance_from_similarity(core(choice), cutoff);
}
double JaroQuery::normalized_similarity(Text choice, FloatCutoff cutoff) const {
    return similarity(choice, cutoff);
}
double JaroQuery::normalized_distance(Text choice, FloatCutoff cutoff) const {
    return distance(choice, cutoff);
}

double JaroQuery::winkler_similarity(Text choice, double prefix_weight, FloatCutoff cutoff) const {
    return cut_similarity(winkler_core(choice, prefix_weight), cutoff);
}
double JaroQuery::winkler_distance(Text choice, double prefix_weight, FloatCutoff cutoff) const {
    return distance_from_similarity(winkler_core(choice, prefix_weight), cutoff);
}
double JaroQuery::winkler_normalized_similarity(Text choice, double prefix_weight,
                                                FloatCutoff cutoff) const {
    return winkler_similarity(choice, prefix_weight, cutoff);
}
double JaroQuery::winkler_normalized_distance(Text choice, double prefix_weight,
                                              FloatCutoff cutoff) const {
    return winkler_distance(choice, prefix_weight, cutoff);
}

}  // namespace qx
