#include "partial_ratio.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "../char_masks.hpp"
#include "../hashing.hpp"
#include "../lcs_core.hpp"
#include "../small_vector.hpp"

// Window search of the partial ratio. The needle is the shorter text; every window of the
// haystack is scored with (2 * LCS) * 100 / (needle length + window length) and the best
// score wins. A window whose boundary symbol does not occur in the needle is dominated by a
// neighbour that is searched as well (its LCS is no larger and its divisor no larger), so the
// search may skip it; the searches below also skip every window whose LCS provably cannot
// beat the best score so far, which never changes the maximum:
//  - the LCS of a full-length window is at most the multiset intersection of its symbols
//    with the needle's (kept up to date in O(1) per shift);
//  - moving a full-length window by d positions changes its LCS by at most d.

namespace qx {

namespace {

inline double window_score(uint64_t lcs, uint64_t total) {
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(total);
}

// Smallest LCS whose score over `total` beats `best`; m + 1 when no LCS up to m does.
uint64_t lcs_to_beat(double best, uint64_t total, uint64_t m) {
    double estimate = best * static_cast<double>(total) / 200.0;
    uint64_t l = estimate <= 0.0 ? 0 : static_cast<uint64_t>(std::min(estimate, double(m)));
    while (l > 0 && window_score(l - 1, total) > best) --l;
    while (l <= m && window_score(l, total) <= best) ++l;
    return l;
}

// Best score so far.
struct Best {
    double score = 0.0;

    void offer(uint64_t lcs, uint64_t total) {
        double s = window_score(lcs, total);
        if (s > score) score = s;
    }
    bool perfect() const { return score >= 100.0; }
};

// Scans the full-length windows start = 0 .. n - m of a haystack of n symbols.
// `engine.lcs_at(start)` gives the LCS of the needle against that window; `sym(i)` is the
// histogram slot of haystack symbol i, `need[slot]` the number of times the slot's symbol
// occurs in the needle (0 for symbols outside it), `win` a zeroed array of as many slots.
// The window at start 0 is always considered; a later window whose last symbol is not in
// the needle is dominated by the window before it.
template <class Engine, class Sym>
void scan_full_windows(Engine& engine, Sym sym, const uint32_t* need, uint32_t* win, size_t n,
                       size_t m, Best& best) {
    const uint64_t total = 2 * m;
    uint64_t to_beat = lcs_to_beat(best.score, total, m);
    if (to_beat > m) return;
    if (n == m) {
        best.offer(engine.lcs_at(0), total);
        return;
    }
    uint64_t bound = 0;  // multiset intersection of the current window with the needle
    for (size_t i = 0; i < m; ++i) {
        size_t c = sym(i);
        bound += win[c] < need[c];
        ++win[c];
    }
    size_t next = 0;  // windows before `next` cannot beat the best score
    for (size_t start = 0;; ++start) {
        if (start >= next && bound >= to_beat && (start == 0 || need[sym(start + m - 1)] != 0)) {
            uint64_t lcs = engine.lcs_at(start);
            if (lcs >= to_beat) {
                best.offer(lcs, total);
                if (best.perfect()) return;
                to_beat = lcs_to_beat(best.score, total, m);
                if (to_beat > m) return;
            }
            // The window d positions further on has an LCS of at most lcs + d.
            next = start + (to_beat > lcs ? to_beat - lcs : 1);
        }
        if (start + m >= n) return;
        size_t out = sym(start), in = sym(start + m);
        --win[out];
        bound -= win[out] < need[out];
        bound += win[in] < need[in];
        ++win[in];
    }
}

// ---------------------------------------------------------------------------------------
// Byte symbols.

// Zeroes the entries of byte-indexed tables that the search can read: those of the needle
// and haystack bytes (the whole table when that is cheaper).
template <class T, size_t N>
void clear_entries(T (&table)[N], std::span<const unsigned char> a,
                   std::span<const unsigned char> b) {
    if (a.size() + b.size() >= N / 2) {
        std::memset(table, 0, sizeof(table));
        return;
    }
    for (unsigned char c : a) table[c] = 0;
    for (unsigned char c : b) table[c] = 0;
}

// Needle of 1 to 64 * W bytes: forward masks for leading and full windows, masks of the
// reversed needle for trailing windows, and the symbol counts of the needle.
template <size_t W>
struct ShortNeedle {
    uint64_t fwd[W][256];
    uint64_t rev[W][256];
    uint32_t need[256];
    uint32_t win[256];
    uint64_t top_mask;  // positions of the last word in use
    size_t m;
    const unsigned char* hay;

    ShortNeedle(std::span<const unsigned char> needle, std::span<const unsigned char> haystack)
        : top_mask(low_bits(needle.size() - 64 * (W - 1))), m(needle.size()), hay(haystack.data()) {
        for (size_t w = 0; w < W; ++w) {
            clear_entries(fwd[w], needle, haystack);
            clear_entries(rev[w], needle, haystack);
        }
        clear_entries(need, needle, haystack);
        clear_entries(win, needle, haystack);
        for (size_t i = 0; i < m; ++i) {
            unsigned char c = needle[i];
            fwd[i >> 6][c] |= uint64_t{1} << (i & 63);
            size_t r = m - 1 - i;
            rev[r >> 6][c] |= uint64_t{1} << (r & 63);
            ++need[c];
        }
    }

    struct State {
        uint64_t s[W];
        State() { std::fill_n(s, W, ~uint64_t{0}); }
    };

    static void advance(State& st, const uint64_t (*tab)[256], unsigned char c) {
        if constexpr (W == 1) {
            uint64_t u = st.s[0] & tab[0][c];
            st.s[0] = (st.s[0] + u) | (st.s[0] - u);
        } else {
            uint64_t s0 = st.s[0], s1 = st.s[1];
            uint64_t u0 = s0 & tab[0][c];
            uint64_t u1 = s1 & tab[1][c];
            uint64_t sum0 = s0 + u0;
            uint64_t carry = sum0 < s0;
            st.s[0] = sum0 | (s0 - u0);
            st.s[1] = (s1 + u1 + carry) | (s1 - u1);
        }
    }

    uint64_t count(const State& st) const {
        if constexpr (W == 1) {
            return static_cast<uint64_t>(std::popcount(~st.s[0] & top_mask));
        } else {
            return static_cast<uint64_t>(std::popcount(~st.s[0]) +
                                         std::popcount(~st.s[1] & top_mask));
        }
    }

    uint64_t lcs_at(size_t start) const {
        State st;
        const unsigned char* p = hay + start;
        for (size_t i = 0; i < m; ++i) advance(st, fwd, p[i]);
        return count(st);
    }

    // Leading windows (haystack prefixes of 1 .. m - 1 bytes) and trailing windows
    // (haystack suffixes of 1 .. m - 1 bytes), each streamed once.
    void edges(size_t n, Best& best) const {
        State lead, trail;
        uint64_t lead_lcs = 0, trail_lcs = 0;
        for (size_t i = 0; i + 1 < m; ++i) {
            advance(lead, fwd, hay[i]);
            advance(trail, rev, hay[n - 1 - i]);
            uint64_t l = count(lead), t = count(trail);
            // For an equal LCS the shorter window scores higher.
            if (l != lead_lcs) best.offer(lead_lcs = l, i + 1 + m);
            if (t != trail_lcs) best.offer(trail_lcs = t, i + 1 + m);
        }
    }
};

template <size_t W>
double search_short_needle(std::span<const unsigned char> needle,
                           std::span<const unsigned char> hay) {
    ShortNeedle<W> nd(needle, hay);
    Best best;
    nd.edges(hay.size(), best);
    scan_full_windows(
        nd, [&](size_t i) { return static_cast<size_t>(hay[i]); }, nd.need, nd.win, hay.size(),
        needle.size(), best);
    return best.score;
}

// Needle of 129 bytes or more: only full-length windows, over block masks.
class LongNeedle {
  public:
    LongNeedle(std::span<const unsigned char> needle, std::span<const unsigned char> haystack)
        : masks_(needle),
          state_(new uint64_t[masks_.blocks()]),
          m_(needle.size()),
          hay_(haystack.data()) {}

    uint64_t lcs_at(size_t start) {
        const size_t w = masks_.blocks();
        uint64_t* s = state_.get();
        std::fill_n(s, w, ~uint64_t{0});
        const unsigned char* p = hay_ + start;
        for (size_t i = 0; i < m_; ++i) {
            const uint64_t* entry = masks_.entry_ptr(0, p[i]);
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
        uint64_t lcs = 0;
        for (size_t j = 0; j < w; ++j) {
            size_t r = std::min<size_t>(m_ - 64 * j, 64);
            lcs += r - static_cast<uint64_t>(std::popcount(s[j] & low_bits(r)));
        }
        return lcs;
    }

  private:
    BlockCharMaskTable masks_;
    std::unique_ptr<uint64_t[]> state_;
    size_t m_;
    const unsigned char* hay_;
};

double search_long_needle(std::span<const unsigned char> needle,
                          std::span<const unsigned char> hay) {
    LongNeedle nd(needle, hay);
    uint32_t need[256] = {};
    uint32_t win[256] = {};
    for (unsigned char c : needle) ++need[c];
    Best best;
    scan_full_windows(
        nd, [&](size_t i) { return static_cast<size_t>(hay[i]); }, need, win, hay.size(),
        needle.size(), best);
    return best.score;
}

bool contains(std::span<const unsigned char> hay, std::span<const unsigned char> needle) {
    std::string_view h(reinterpret_cast<const char*>(hay.data()), hay.size());
    std::string_view n(reinterpret_cast<const char*>(needle.data()), needle.size());
    return h.find(n) != std::string_view::npos;
}

double search_bytes(std::span<const unsigned char> needle, std::span<const unsigned char> hay) {
    // Only a full-length window equal to the needle scores 100.
    if (contains(hay, needle)) return 100.0;
    if (needle.size() <= 64) return search_short_needle<1>(needle, hay);
    if (needle.size() <= 128) return search_short_needle<2>(needle, hay);
    return search_long_needle(needle, hay);
}

double best_bytes(std::span<const unsigned char> s1, std::span<const unsigned char> s2) {
    if (s1.size() > s2.size()) return search_bytes(s2, s1);
    double best = search_bytes(s1, s2);
    // Equal lengths: search the other direction too. A long needle has one window then,
    // the whole other text, which scores the same either way.
    if (s1.size() == s2.size() && best < 100.0 && s1.size() <= 128)
        best = std::max(best, search_bytes(s2, s1));
    return best;
}

// ---------------------------------------------------------------------------------------
// Unicode scalar values: the needle's distinct symbols get dense ids (the haystack's other
// symbols share one extra id), which leaves every LCS unchanged, and windows are scored
// by the dynamic programme on the thread's partial-ratio rows.

// Open-addressing map from the needle's symbols to dense ids.
class SymbolIds {
  public:
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;

    explicit SymbolIds(std::span<const uint32_t> needle) {
        size_t cap = std::bit_ceil(2 * needle.size() + 2);
        keys_.resize(cap);
        ids_.resize(cap);
        std::fill(keys_.begin(), keys_.end(), kEmpty);
        mask_ = cap - 1;
        for (uint32_t v : needle) {
            size_t slot = find_slot(v);
            if (keys_[slot] == kEmpty) {
                keys_[slot] = v;
                ids_[slot] = count_++;
            }
        }
    }

    // Id of `v`, or count() when `v` is not a needle symbol.
    uint32_t id(uint32_t v) const {
        size_t slot = find_slot(v);
        return keys_[slot] == kEmpty ? count_ : ids_[slot];
    }
    uint32_t count() const { return count_; }

  private:
    size_t find_slot(uint32_t v) const {
        size_t slot = hash_symbol(v) & mask_;
        while (keys_[slot] != kEmpty && keys_[slot] != v) slot = (slot + 1) & mask_;
        return slot;
    }

    SmallVector<uint32_t, 128> keys_;
    SmallVector<uint32_t, 128> ids_;
    size_t mask_ = 0;
    uint32_t count_ = 0;
};

struct SymbolWindows {
    std::span<const uint32_t> needle;
    const uint32_t* hay;

    uint64_t lcs_at(size_t start) const {
        return lcs_symbols_window({hay + start, needle.size()}, needle);
    }
};

double search_symbols(std::span<const uint32_t> needle_syms, std::span<const uint32_t> hay_syms) {
    const size_t m = needle_syms.size(), n = hay_syms.size();
    if (std::search(hay_syms.begin(), hay_syms.end(), needle_syms.begin(), needle_syms.end()) !=
        hay_syms.end())
        return 100.0;

    SymbolIds ids(needle_syms);
    SmallVector<uint32_t, 64> needle, hay;
    needle.resize(m);
    hay.resize(n);
    for (size_t i = 0; i < m; ++i) needle[i] = ids.id(needle_syms[i]);
    for (size_t i = 0; i < n; ++i) hay[i] = ids.id(hay_syms[i]);

    Best best;
    std::span<const uint32_t> nv(needle.data(), m);
    if (m > 1) {
        // Leading windows (prefixes) and trailing windows (suffixes) of 1 .. m - 1 symbols.
        SmallVector<uint64_t, 64> profile;
        profile.resize(m - 1);
        for (int side = 0; side < 2; ++side) {
            std::span<const uint32_t> part =
                side == 0 ? std::span<const uint32_t>(hay.data(), m - 1)
                          : std::span<const uint32_t>(hay.data() + n - (m - 1), m - 1);
            lcs_symbols_window(part, nv, profile.data(), side == 1);
            uint64_t last = 0;
            for (size_t i = 0; i + 1 < m; ++i)
                if (profile[i] != last) best.offer(last = profile[i], i + 1 + m);
        }
    }

    SmallVector<uint32_t, 64> need, win;
    need.resize(ids.count() + 1);
    win.resize(ids.count() + 1);
    for (uint32_t c : needle) ++need[c];
    SymbolWindows engine{nv, hay.data()};
    scan_full_windows(
        engine, [&](size_t i) { return static_cast<size_t>(hay[i]); }, need.data(), win.data(), n,
        m, best);
    return best.score;
}

double best_symbols(std::span<const uint32_t> s1, std::span<const uint32_t> s2) {
    if (s1.size() > s2.size()) return search_symbols(s2, s1);
    double best = search_symbols(s1, s2);
    if (s1.size() == s2.size() && best < 100.0) best = std::max(best, search_symbols(s2, s1));
    return best;
}

}  // namespace

double partial_ratio_best(Text a, Text b) {
    if (same_bytes(a, b)) return 100.0;
    if (a.empty()) return b.empty() ? 100.0 : 0.0;
    if (b.empty()) return 0.0;
    if (is_ascii(a) && is_ascii(b)) return best_bytes(bytes_of(a), bytes_of(b));
    SymbolSeq x(a), y(b);
    return best_symbols(x.view(), y.view());
}

double partial_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    // Identical texts are subject to the cutoff as well.
    return cut_similarity(partial_ratio_best(s1, s2), cutoff);
}

}  // namespace qx
