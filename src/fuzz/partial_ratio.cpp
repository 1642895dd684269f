#include "partial_ratio.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include <string_view>
#include <type_traits>

#include "../interrupt.hpp"
#include "../lcs_step.hpp"
#include "../small_vector.hpp"
#include "../symbol_masks.hpp"

// Window search of the partial ratio. The needle is the shorter text; windows of the
// haystack are scored with (2 * LCS) * 100 / (needle length + window length) and the best
// score wins: the leading windows (prefixes shorter than the needle), the full-length windows
// and the trailing windows (suffixes shorter than the needle), or only the full-length
// windows for needles of 129 symbols or more when both texts are ASCII.
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

constexpr uint64_t low_bits(size_t k) {
    return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1;
}

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
// Needles. Every symbol has the dense id the needle's mask map gives it (0 for symbols the
// needle lacks): the haystack is read as ids once, and the window filter and the intersection
// bounds count ids. Two needle engines score windows bit-parallel, whatever the alphabet.

// The haystack as needle ids; `need[id]` is the number of needle positions holding the id.
template <CodeUnit A, CodeUnit B>
struct IdView {
    SmallVector<uint32_t, 256> hay;
    SmallVector<uint32_t, 129> need;
    SmallVector<uint32_t, 129> win;  // zeroed, as many slots as `need`

    IdView(const SymbolMasks<A>& masks, std::span<const A> needle, std::span<const B> haystack) {
        const size_t n = haystack.size();
        hay.resize(n);
        for (size_t begin = 0; begin < n; begin += PollBudget::kCells) {
            const size_t end = std::min(n, begin + PollBudget::kCells);
            for (size_t i = begin; i < end; ++i) hay[i] = masks.id(haystack[i]);
            if (end < n) poll_interrupt();
        }
        need.resize(masks.symbols() + 1);
        win.resize(masks.symbols() + 1);
        for (A c : needle) ++need[masks.id(c)];
    }

    auto sym() const {
        return [h = hay.data()](size_t i) { return static_cast<size_t>(h[i]); };
    }
};

// Needle of 1 to 64 * W symbols: forward masks for leading and full windows and masks of the
// reversed needle for trailing windows, each a row of W words per id, on the stack.
template <size_t W>
struct ShortNeedle {
    static constexpr size_t kIds = 64 * W + 1;
    uint64_t fwd[kIds][W];
    uint64_t rev[kIds][W];
    uint64_t top_mask;  // positions of the last word in use
    unsigned top_bit;   // the needle's last position within the last word
    size_t m;
    const uint32_t* hay;
    PollBudget budget;

    template <CodeUnit A>
    ShortNeedle(const SymbolMasks<A>& masks, std::span<const A> needle, const uint32_t* hay_ids)
        : top_mask(low_bits(needle.size() - 64 * (W - 1))),
          top_bit(static_cast<unsigned>(needle.size() - 1 - 64 * (W - 1))),
          m(needle.size()),
          hay(hay_ids) {
        const size_t ids = masks.symbols() + 1;
        std::memset(fwd, 0, ids * sizeof(fwd[0]));
        std::memset(rev, 0, ids * sizeof(rev[0]));
        for (size_t i = 0; i < m; ++i) {
            const uint32_t c = masks.id(needle[i]);
            fwd[c][i >> 6] |= uint64_t{1} << (i & 63);
            const size_t r = m - 1 - i;
            rev[c][r >> 6] |= uint64_t{1} << (r & 63);
        }
    }

    struct State {
        uint64_t s[W];
        State() { std::fill_n(s, W, ~uint64_t{0}); }
    };

    // One haystack symbol; returns the carry out of the needle's last position, which is 1
    // exactly when the step lengthens the LCS.
    uint64_t advance(State& st, const uint64_t (*tab)[W], uint32_t c) const {
        uint64_t carry = 0;
        if constexpr (W > 1) lcs_step_words<W - 1>(st.s, tab[c], carry);
        return lcs_step_last(st.s[W - 1], tab[c][W - 1], carry, top_bit);
    }

    uint64_t count(const State& st) const {
        if constexpr (W == 1) {
            return static_cast<uint64_t>(std::popcount(~st.s[0] & top_mask));
        } else {
            return static_cast<uint64_t>(std::popcount(~st.s[0]) +
                                         std::popcount(~st.s[1] & top_mask));
        }
    }

    uint64_t lcs_at(size_t start) {
        budget.spend(m);
        State st;
        const uint32_t* p = hay + start;
        for (size_t i = 0; i < m; ++i) advance(st, fwd, p[i]);
        return count(st);
    }

    // Leading windows (haystack prefixes of 1 .. m - 1 symbols) and trailing windows
    // (haystack suffixes of 1 .. m - 1 symbols), each streamed once.
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

// One step over the w words of `s` with the mask row `row`; returns 1 when it lengthens the LCS.
inline uint64_t advance_words(uint64_t* s, const uint64_t* row, size_t w, unsigned top_bit) {
    uint64_t carry = 0;
    lcs_step_words<0>(s, row, carry, w - 1);
    return lcs_step_last(s[w - 1], row[w - 1], carry, top_bit);
}

inline uint64_t count_words(const uint64_t* s, size_t w, uint64_t top_mask) {
    uint64_t lcs = 0;
    for (size_t j = 0; j + 1 < w; ++j) lcs += static_cast<uint64_t>(std::popcount(~s[j]));
    return lcs + static_cast<uint64_t>(std::popcount(~s[w - 1] & top_mask));
}

// Needle of 129 symbols or more. While the rows of all ids cost little memory, forward and
// reversed rows are laid out per id and the haystack is read as ids; otherwise the rows come
// from the needle's mask map (whole or assembled from the sparse form, so that memory stays
// linear in the needle's length) and from one of the reversed needle, and the haystack is read
// as symbols.
template <CodeUnit A, CodeUnit B>
class LongNeedle {
  public:
    static constexpr size_t kTableWords = size_t{1} << 16;

    LongNeedle(const SymbolMasks<A>& masks, std::span<const A> needle, std::span<const B> haystack,
               const uint32_t* hay_ids)
        : reader_(masks),
          w_(masks.blocks()),
          m_(masks.length()),
          top_mask_(low_bits(m_ - 64 * (w_ - 1))),
          top_bit_(static_cast<unsigned>(m_ - 1 - 64 * (w_ - 1))),
          hay_(haystack),
          hay_ids_(hay_ids) {
        state_.resize(w_);
        const size_t ids = masks.symbols() + 1;
        if (ids * w_ <= kTableWords) {
            tables_.resize(2 * ids * w_);
            uint64_t* fwd = tables_.data();
            uint64_t* rev = fwd + ids * w_;
            for (size_t i = 0; i < m_; ++i) {
                const uint32_t c = masks.id(needle[i]);
                fwd[c * w_ + (i >> 6)] |= uint64_t{1} << (i & 63);
                const size_t r = m_ - 1 - i;
                rev[c * w_ + (r >> 6)] |= uint64_t{1} << (r & 63);
            }
            rev_ = rev;
        }
    }

    uint64_t lcs_at(size_t start) {
        poll_interrupt();
        uint64_t* s = state_.data();
        std::fill_n(s, w_, ~uint64_t{0});
        if (rev_) {
            const uint32_t* p = hay_ids_ + start;
            for (size_t i = 0; i < m_; ++i)
                advance_words(s, tables_.data() + p[i] * w_, w_, top_bit_);
        } else {
            const B* p = hay_.data() + start;
            for (size_t i = 0; i < m_; ++i) advance_words(s, reader_.row(p[i]), w_, top_bit_);
        }
        return count_words(s, w_, top_mask_);
    }

    // Leading and trailing windows of 1 .. m - 1 symbols, each side streamed once.
    void edges(std::span<const A> needle, Best& best) {
        SmallVector<uint64_t, 64> lead, trail;
        lead.resize(w_);
        trail.resize(w_);
        std::fill_n(lead.data(), w_, ~uint64_t{0});
        std::fill_n(trail.data(), w_, ~uint64_t{0});
        const size_t n = hay_.size();
        uint64_t lead_lcs = 0, trail_lcs = 0;
        auto stream = [&](auto forward_row, auto backward_row) {
            for (size_t i = 0; i + 1 < m_; ++i) {
                if ((i & 255) == 255) poll_interrupt();
                if (advance_words(lead.data(), forward_row(i), w_, top_bit_))
                    best.offer(++lead_lcs, i + 1 + m_);
                if (advance_words(trail.data(), backward_row(n - 1 - i), w_, top_bit_))
                    best.offer(++trail_lcs, i + 1 + m_);
            }
        };
        if (rev_) {
            stream([&](size_t i) { return tables_.data() + hay_ids_[i] * w_; },
                   [&](size_t i) { return rev_ + hay_ids_[i] * w_; });
            return;
        }
        SmallVector<A, 256> reversed;
        reversed.resize(m_);
        std::reverse_copy(needle.begin(), needle.end(), reversed.data());
        const SymbolMasks<A> back_masks(std::span<const A>(reversed.data(), m_));
        typename SymbolMasks<A>::Reader back(back_masks);
        stream([&](size_t i) { return reader_.row(hay_[i]); },
               [&](size_t i) { return back.row(hay_[i]); });
    }

  private:
    typename SymbolMasks<A>::Reader reader_;
    size_t w_;
    size_t m_;
    uint64_t top_mask_;
    unsigned top_bit_;
    std::span<const B> hay_;
    const uint32_t* hay_ids_;
    SmallVector<uint64_t, 64> state_;
    SmallVector<uint64_t, 8> tables_;  // forward rows per id, then reversed rows per id
    const uint64_t* rev_ = nullptr;    // set when the tables are in use
};

template <CodeUnit A, CodeUnit B>
bool contains(std::span<const B> hay, std::span<const A> needle) {
    if constexpr (std::is_same_v<A, B>) {
        if constexpr (sizeof(A) == 1) {
            std::string_view h(reinterpret_cast<const char*>(hay.data()), hay.size());
            std::string_view nd(reinterpret_cast<const char*>(needle.data()), needle.size());
            return h.find(nd) != std::string_view::npos;
        } else {
            return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
        }
    } else {
        return std::search(hay.begin(), hay.end(), needle.begin(), needle.end(),
                           [](B x, A y) { return uint32_t{x} == uint32_t{y}; }) != hay.end();
    }
}

// The best window score of `needle` in `hay` (m <= n). With `full_only` (ASCII needles of 129
// symbols or more) only full-length windows are searched.
template <CodeUnit A, CodeUnit B>
double search_windows(std::span<const A> needle, std::span<const B> hay, bool full_only) {
    // Only a full-length window equal to the needle scores 100.
    if (contains(hay, needle)) return 100.0;
    const size_t m = needle.size(), n = hay.size();
    const SymbolMasks<A> masks(needle);
    IdView<A, B> ids(masks, needle, hay);
    Best best;
    if (m <= 128) {
        auto run = [&](auto& nd) {
            nd.edges(n, best);
            scan_full_windows(nd, ids.sym(), ids.need.data(), ids.win.data(), n, m, best);
        };
        if (m <= 64) {
            ShortNeedle<1> nd(masks, needle, ids.hay.data());
            run(nd);
        } else {
            ShortNeedle<2> nd(masks, needle, ids.hay.data());
            run(nd);
        }
        return best.score();
    }
    LongNeedle<A, B> nd(masks, needle, hay, ids.hay.data());
    if (!full_only) nd.edges(needle, best);
    scan_full_windows(nd, ids.sym(), ids.need.data(), ids.win.data(), n, m, best);
    return best.score();
}

// No code point above U+007F.
template <CodeUnit T>
bool all_ascii(std::span<const T> s) {
    T acc = 0;
    for (T c : s) acc |= c;
    return acc < 0x80;
}

template <CodeUnit A, CodeUnit B>
double best_window(std::span<const A> s1, std::span<const B> s2) {
    const size_t m = std::min(s1.size(), s2.size());
    // ASCII needles of 129 symbols or more: full-length windows only. A text of the needle's
    // length then has one window, the whole other text, which scores the same in both
    // directions.
    const bool full_only = m > 128 && all_ascii(s1) && all_ascii(s2);
    if (s1.size() > s2.size()) return search_windows(s2, s1, full_only);
    double best = search_windows(s1, s2, full_only);
    if (s1.size() == s2.size() && best < 100.0 && !full_only)
        best = std::max(best, search_windows(s2, s1, full_only));
    return best;
}

}  // namespace

double partial_ratio_best(Text a, Text b) {
    if (same_text(a, b)) return 100.0;
    if (a.empty()) return b.empty() ? 100.0 : 0.0;
    if (b.empty()) return 0.0;
    return visit(a, b, [](auto x, auto y) { return best_window(x, y); });
}

double partial_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    // Identical texts are subject to the cutoff as well.
    return cut_similarity(partial_ratio_best(s1, s2), cutoff);
}

}  // namespace qx
