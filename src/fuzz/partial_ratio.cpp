#include "partial_ratio.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "../char_masks.hpp"
#include "../hashing.hpp"
#include "../lcs_core.hpp"
#include "../small_vector.hpp"

// Window search of the partial ratio. The needle is the shorter text; windows of the
// haystack are scored with (2 * LCS) * 100 / (needle length + window length) and the best
// score wins: the leading windows (prefixes shorter than the needle), the full-length windows
// and the trailing windows (suffixes shorter than the needle), or only the full-length
// windows for byte needles of 129 symbols or more.
//
// A window counts only when its boundary symbol (the last one; the first one for trailing
// windows) occurs in the needle; for long needles the first full-length window counts
// regardless. A window that fails the test is dominated by a neighbour that is searched as
// well: its LCS is no larger and its divisor no larger (the window one step to the left for
// full-length and leading windows, the longest leading window for the first full-length
// window, the one a symbol shorter for trailing windows). So the result is the best score
// over all windows, and the searches below skip any window whose LCS provably cannot beat
// the best score so far.

namespace qx {

namespace {

inline double window_score(uint64_t lcs, uint64_t total) {
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(total);
}

// The best window so far, kept as the exact fraction lcs / total. A window's score is
// 200 * lcs / total rounded once, and rounding never reverses an order, so the best score is
// the rounded best fraction; comparing fractions needs no division.
struct Best {
    uint64_t lcs = 0;
    uint64_t total = 1;

    void offer(uint64_t l, uint64_t t) {
        if (static_cast<unsigned __int128>(l) * total > static_cast<unsigned __int128>(lcs) * t) {
            lcs = l;
            total = t;
        }
    }
    // Smallest LCS that beats the best in a window whose score divides by `t`.
    uint64_t to_beat(uint64_t t) const {
        if (((lcs | t) >> 32) == 0) return lcs * t / total + 1;
        return static_cast<uint64_t>(static_cast<unsigned __int128>(lcs) * t / total) + 1;
    }
    double score() const { return window_score(lcs, total); }
};

// Full-length windows: start = 0 .. n - m of a haystack of n symbols. `engine.lcs_at(start)`
// gives the LCS of the needle against a window; `sym(i)` is the histogram slot of haystack
// symbol i, `need[slot]` the number of times the slot's symbol occurs in the needle (0 for
// symbols outside it), `win` a zeroed array of as many slots. Only windows that can beat
// the best score are scored.
//
// Bounds on a window's LCS: the multiset intersection of its symbols with the needle's;
// the bound of the window before it when its last symbol is not in the needle (it then has
// no more in common with the needle than that window); and, from any window with an LCS of
// at most u, u + d for the windows d positions away.

// Few windows: one pass from left to right.
template <class Engine, class Sym>
void scan_in_order(Engine& engine, Sym sym, const uint32_t* need, uint32_t* win, size_t n, size_t m,
                   Best& best) {
    const uint64_t total = 2 * m;
    uint64_t to_beat = best.to_beat(total);
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
                to_beat = best.to_beat(total);
                if (to_beat > m) return;
            }
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

// Many windows: every window first gets its intersection bound; then stretches of windows
// are split in halves. Knowing bounds ua and ub for the windows at a and b, a window s
// between them has an LCS of at most min(ua + s - a, ub + b - s), so a stretch in which no
// window can reach the LCS that beats the best score is dropped unscored; otherwise its
// middle window is scored and both halves are searched, the more promising one first.
template <class Engine, class Sym>
void scan_by_halves(Engine& engine, Sym sym, const uint32_t* need, uint32_t* win, size_t n,
                    size_t m, Best& best) {
    const uint64_t total = 2 * m;
    uint64_t to_beat = best.to_beat(total);
    const size_t count = n - m + 1;
    SmallVector<uint64_t, 128> ub;
    ub.resize(count);
    uint64_t bound = 0;
    for (size_t i = 0; i < m; ++i) {
        size_t c = sym(i);
        bound += win[c] < need[c];
        ++win[c];
    }
    ub[0] = bound;
    for (size_t s = 1; s < count; ++s) {
        size_t out = sym(s - 1), in = sym(s + m - 1);
        --win[out];
        bound -= win[out] < need[out];
        bound += win[in] < need[in];
        ++win[in];
        ub[s] = need[in] != 0 ? bound : std::min(bound, ub[s - 1]);
    }

    // Scores window s when its bound allows a better score; its bound becomes exact.
    auto score = [&](size_t s) {
        if (ub[s] < to_beat) return;
        uint64_t lcs = engine.lcs_at(s);
        ub[s] = lcs;
        if (lcs >= to_beat) {
            best.offer(lcs, total);
            to_beat = best.to_beat(total);
        }
    };
    score(0);
    score(count - 1);

    struct Stretch {
        size_t a, b;  // windows a and b have bounds; a + 1 .. b - 1 are to be searched
    };
    Stretch stack[2 * 64 + 2];  // at most one pending half per level, and 64 levels at most
    size_t depth = 0;
    stack[depth++] = {0, count - 1};
    while (depth > 0 && to_beat <= m) {
        Stretch st = stack[--depth];
        if (st.b - st.a < 2) continue;
        const uint64_t ua = ub[st.a], ubb = ub[st.b];
        // The two cones meet at most (ua + ub + b - a) / 2 high.
        if (ua + ubb + (st.b - st.a) < 2 * to_beat) continue;
        const size_t mid = st.a + (st.b - st.a) / 2;
        uint64_t left_max = 0, right_max = 0;
        for (size_t s = st.a + 1; s < st.b; ++s) {
            uint64_t u = std::min({ub[s], ua + (s - st.a), ubb + (st.b - s)});
            ub[s] = u;
            uint64_t& side = s <= mid ? left_max : right_max;
            side = std::max(side, u);
        }
        if (std::max(left_max, right_max) < to_beat) continue;
        score(mid);
        if (left_max >= right_max) {
            stack[depth++] = {mid, st.b};
            stack[depth++] = {st.a, mid};
        } else {
            stack[depth++] = {st.a, mid};
            stack[depth++] = {mid, st.b};
        }
    }
}

template <class Engine, class Sym>
void scan_full_windows(Engine& engine, Sym sym, const uint32_t* need, uint32_t* win, size_t n,
                       size_t m, Best& best) {
    const uint64_t total = 2 * m;
    if (best.to_beat(total) > m) return;
    if (n == m) {
        best.offer(engine.lcs_at(0), total);
    } else if (n - m < 64) {
        scan_in_order(engine, sym, need, win, n, m, best);
    } else {
        scan_by_halves(engine, sym, need, win, n, m, best);
    }
}

// ---------------------------------------------------------------------------------------
// Byte symbols.

// Needle of 1 to 64 * W bytes: forward masks for leading and full windows, masks of the
// reversed needle for trailing windows, and the symbol counts of the needle. The symbols are
// ASCII bytes (alphabet 0) or dense ids below `alphabet`.
template <size_t W>
struct ShortNeedle {
    uint64_t fwd[W][256];
    uint64_t rev[W][256];
    uint32_t need[256];
    uint32_t win[256];
    uint64_t top_mask;  // positions of the last word in use
    unsigned top_bit;   // the needle's last position within the last word
    size_t m;
    const unsigned char* hay;

    ShortNeedle(std::span<const unsigned char> needle, std::span<const unsigned char> haystack,
                size_t alphabet)
        : top_mask(low_bits(needle.size() - 64 * (W - 1))),
          top_bit(static_cast<unsigned>(needle.size() - 1 - 64 * (W - 1))),
          m(needle.size()),
          hay(haystack.data()) {
        // Only the entries of needle and haystack symbols are ever read: for ids those below
        // the alphabet size, for short byte texts those of their bytes.
        if (alphabet != 0) {
            for (size_t w = 0; w < W; ++w) {
                std::memset(fwd[w], 0, alphabet * sizeof(uint64_t));
                std::memset(rev[w], 0, alphabet * sizeof(uint64_t));
            }
            std::memset(need, 0, alphabet * sizeof(uint32_t));
            std::memset(win, 0, alphabet * sizeof(uint32_t));
        } else if (needle.size() + haystack.size() < 96) {
            for (std::span<const unsigned char> text : {needle, haystack}) {
                for (unsigned char c : text) {
                    for (size_t w = 0; w < W; ++w) fwd[w][c] = rev[w][c] = 0;
                    need[c] = win[c] = 0;
                }
            }
        } else {
            std::memset(fwd, 0, sizeof(fwd));
            std::memset(rev, 0, sizeof(rev));
            std::memset(need, 0, sizeof(need));
            std::memset(win, 0, sizeof(win));
        }
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

    // One text byte; returns the carry out of the needle's last position, which is 1
    // exactly when the step lengthens the LCS.
    uint64_t advance(State& st, const uint64_t (*tab)[256], unsigned char c) const {
        uint64_t a, u, sum;
        if constexpr (W == 1) {
            a = st.s[0];
            u = a & tab[0][c];
            sum = a + u;
            st.s[0] = sum | (a - u);
        } else {
            uint64_t s0 = st.s[0];
            uint64_t u0 = s0 & tab[0][c];
            uint64_t sum0 = s0 + u0;
            uint64_t carry = sum0 < s0;
            st.s[0] = sum0 | (s0 - u0);
            a = st.s[1];
            u = a & tab[1][c];
            sum = a + u + carry;
            st.s[1] = sum | (a - u);
        }
        // Carry out of each bit: both addends set, or either set and the sum bit clear.
        uint64_t carries = (a & u) | ((a | u) & ~sum);
        return (carries >> top_bit) & 1;
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
            // For an equal LCS the shorter window scores higher, so only growth counts.
            if (advance(lead, fwd, hay[i])) best.offer(++lead_lcs, i + 1 + m);
            if (advance(trail, rev, hay[n - 1 - i])) best.offer(++trail_lcs, i + 1 + m);
        }
    }
};

template <size_t W>
double search_short_needle(std::span<const unsigned char> needle,
                           std::span<const unsigned char> hay, size_t alphabet) {
    ShortNeedle<W> nd(needle, hay, alphabet);
    Best best;
    nd.edges(hay.size(), best);
    scan_full_windows(
        nd, [&](size_t i) { return static_cast<size_t>(hay[i]); }, nd.need, nd.win, hay.size(),
        needle.size(), best);
    return best.score();
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
    return best.score();
}

bool contains(std::span<const unsigned char> hay, std::span<const unsigned char> needle) {
    std::string_view h(reinterpret_cast<const char*>(hay.data()), hay.size());
    std::string_view n(reinterpret_cast<const char*>(needle.data()), needle.size());
    return h.find(n) != std::string_view::npos;
}

double search_bytes(std::span<const unsigned char> needle, std::span<const unsigned char> hay) {
    // Only a full-length window equal to the needle scores 100.
    if (contains(hay, needle)) return 100.0;
    if (needle.size() <= 64) return search_short_needle<1>(needle, hay, 0);
    if (needle.size() <= 128) return search_short_needle<2>(needle, hay, 0);
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
// Unicode scalar values. Text that is not pure ASCII is searched in full (leading, full-length
// and trailing windows) whatever the needle's length. A needle of at most 255 distinct symbols
// is relabelled with dense byte ids (DenseIds: the haystack's other symbols share one id),
// which leaves every window's LCS unchanged, and searched bit-parallel; a needle with more
// distinct symbols is searched with the dynamic programme on the thread's partial-ratio rows.

// Id needle of 129 symbols or more: forward and reversed masks as rows of w words per id (the
// words of one symbol are adjacent), in one heap array with three state vectors.
class IdBlockNeedle {
  public:
    uint32_t need[256];
    uint32_t win[256];

    IdBlockNeedle(std::span<const unsigned char> needle, std::span<const unsigned char> haystack,
                  size_t alphabet)
        : w_((needle.size() + 63) / 64),
          m_(needle.size()),
          top_mask_(low_bits(m_ - 64 * (w_ - 1))),
          top_bit_(static_cast<unsigned>(m_ - 1 - 64 * (w_ - 1))),
          hay_(haystack.data()),
          words_(new uint64_t[(2 * alphabet + 3) * w_]) {
        fwd_ = words_.get();
        rev_ = fwd_ + alphabet * w_;
        states_ = rev_ + alphabet * w_;
        std::fill_n(fwd_, 2 * alphabet * w_, uint64_t{0});
        std::memset(need, 0, alphabet * sizeof(uint32_t));
        std::memset(win, 0, alphabet * sizeof(uint32_t));
        for (size_t i = 0; i < m_; ++i) {
            const unsigned char c = needle[i];
            fwd_[c * w_ + (i >> 6)] |= uint64_t{1} << (i & 63);
            const size_t r = m_ - 1 - i;
            rev_[c * w_ + (r >> 6)] |= uint64_t{1} << (r & 63);
            ++need[c];
        }
    }

    uint64_t lcs_at(size_t start) {
        uint64_t* s = state(0);
        std::fill_n(s, w_, ~uint64_t{0});
        const unsigned char* p = hay_ + start;
        for (size_t i = 0; i < m_; ++i) advance(s, fwd_, p[i]);
        return count(s);
    }

    // Leading and trailing windows of 1 .. m - 1 symbols, each side streamed once.
    void edges(size_t n, Best& best) {
        uint64_t* lead = state(1);
        uint64_t* trail = state(2);
        std::fill_n(lead, 2 * w_, ~uint64_t{0});
        uint64_t lead_lcs = 0, trail_lcs = 0;
        for (size_t i = 0; i + 1 < m_; ++i) {
            if (advance(lead, fwd_, hay_[i])) best.offer(++lead_lcs, i + 1 + m_);
            if (advance(trail, rev_, hay_[n - 1 - i])) best.offer(++trail_lcs, i + 1 + m_);
        }
    }

  private:
    uint64_t* state(size_t k) { return states_ + k * w_; }

    // One symbol over all words; returns the carry out of the needle's last position, which
    // is 1 exactly when the step lengthens the LCS.
    uint64_t advance(uint64_t* s, const uint64_t* table, unsigned char c) const {
        const uint64_t* row = table + c * w_;
        uint64_t carry = 0;
        const size_t last = w_ - 1;
        for (size_t j = 0; j < last; ++j) {
            const uint64_t sj = s[j];
            const uint64_t u = sj & row[j];
            uint64_t sum = sj + u;
            const uint64_t c1 = sum < sj;
            sum += carry;
            carry = c1 | (sum < carry);
            s[j] = sum | (sj - u);
        }
        const uint64_t a = s[last];
        const uint64_t u = a & row[last];
        const uint64_t sum = a + u + carry;
        s[last] = sum | (a - u);
        // Carry out of each bit: both addends set, or either set and the sum bit clear.
        const uint64_t carries = (a & u) | ((a | u) & ~sum);
        return (carries >> top_bit_) & 1;
    }

    uint64_t count(const uint64_t* s) const {
        uint64_t lcs = 0;
        for (size_t j = 0; j + 1 < w_; ++j) lcs += static_cast<uint64_t>(std::popcount(~s[j]));
        return lcs + static_cast<uint64_t>(std::popcount(~s[w_ - 1] & top_mask_));
    }

    size_t w_;
    size_t m_;
    uint64_t top_mask_;
    unsigned top_bit_;
    const unsigned char* hay_;
    std::unique_ptr<uint64_t[]> words_;
    uint64_t* fwd_ = nullptr;
    uint64_t* rev_ = nullptr;
    uint64_t* states_ = nullptr;  // three vectors of w words: window, leading, trailing
};

double search_id_blocks(std::span<const unsigned char> needle, std::span<const unsigned char> hay,
                        size_t alphabet) {
    IdBlockNeedle nd(needle, hay, alphabet);
    Best best;
    nd.edges(hay.size(), best);
    scan_full_windows(
        nd, [&](size_t i) { return static_cast<size_t>(hay[i]); }, nd.need, nd.win, hay.size(),
        needle.size(), best);
    return best.score();
}

// Full search of an id needle (ids below `alphabet`) in an id haystack.
double search_ids(std::span<const unsigned char> needle, std::span<const unsigned char> hay,
                  size_t alphabet) {
    // Needle ids never equal the haystack's "no match" id, so this finds the needle's
    // symbols exactly.
    if (contains(hay, needle)) return 100.0;
    if (needle.size() <= 64) return search_short_needle<1>(needle, hay, alphabet);
    if (needle.size() <= 128) return search_short_needle<2>(needle, hay, alphabet);
    return search_id_blocks(needle, hay, alphabet);
}

// Needle of more than 255 distinct symbols: the needle's symbols get dense 32-bit ids and
// windows are scored by the dynamic programme.

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
    return best.score();
}

// Full search of `needle` in `hay`, both compared as scalar values.
double search_unicode(Utf8 needle, Utf8 hay) {
    DenseIds ids;
    IdSeq needle_ids, hay_ids;
    if (ids.map_pattern(needle, needle_ids)) {
        ids.map_text(hay, hay_ids);
        return search_ids(needle_ids.view(), hay_ids.view(), ids.alphabet());
    }
    SymbolSeq a(needle), b(hay);
    return search_symbols(a.view(), b.view());
}

double best_unicode(Utf8 s1, Utf8 s2) {
    const size_t len1 = count_symbols(s1), len2 = count_symbols(s2);
    if (len1 > len2) return search_unicode(s2, s1);
    double best = search_unicode(s1, s2);
    if (len1 == len2 && best < 100.0) best = std::max(best, search_unicode(s2, s1));
    return best;
}

}  // namespace

double partial_ratio_best(Utf8 a, Utf8 b) {
    if (same_bytes(a, b)) return 100.0;
    if (a.empty()) return b.empty() ? 100.0 : 0.0;
    if (b.empty()) return 0.0;
    if (is_ascii(a) && is_ascii(b)) return best_bytes(bytes_of(a), bytes_of(b));
    return best_unicode(a, b);
}

double partial_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    // Identical texts are subject to the cutoff as well.
    return cut_similarity(partial_ratio_best(s1, s2), cutoff);
}

}  // namespace qx
