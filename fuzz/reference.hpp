// The plain reference procedure of every measure, over decoded code points: the kernels must
// agree with them bit for bit (soft TF-IDF up to the order of its sum).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace ref {

using Seq = std::vector<uint32_t>;
using IntCut = std::optional<uint64_t>;
using FloatCut = std::optional<double>;

// Text helpers

inline bool all_ascii(const Seq& s) {
    return std::all_of(s.begin(), s.end(), [](uint32_t c) { return c < 0x80; });
}

// Cutoff rules: a distance above the cutoff becomes cutoff + 1 (a float one 1.0), a similarity
// below it 0.
template <class T>
T cut_dist(T d, std::optional<T> c) {
    return c && d > *c ? (std::is_integral_v<T> ? *c + 1 : T{1}) : d;
}
template <class T>
T cut_sim(T s, std::optional<T> c) {
    return c && s < *c ? T{0} : s;
}

inline double div(uint64_t a, uint64_t b) {
    return static_cast<double>(a) / static_cast<double>(b);
}

// Textbook edit distances

inline uint64_t levenshtein(const Seq& a, const Seq& b) {
    std::vector<uint64_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            uint64_t sub = prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            cur[j] = std::min({sub, prev[j] + 1, cur[j - 1] + 1});
        }
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

inline uint64_t lcs(const Seq& a, const Seq& b) {
    std::vector<uint64_t> prev(b.size() + 1, 0), cur(b.size() + 1, 0);
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j)
            cur[j] = a[i - 1] == b[j - 1] ? prev[j - 1] + 1 : std::max(prev[j], cur[j - 1]);
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

// Optimal string alignment (restricted edit distance).
inline uint64_t osa(const Seq& a, const Seq& b) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<uint64_t>> d(n + 1, std::vector<uint64_t>(m + 1));
    for (size_t i = 0; i <= n; ++i) d[i][0] = i;
    for (size_t j = 0; j <= m; ++j) d[0][j] = j;
    for (size_t i = 1; i <= n; ++i) {
        for (size_t j = 1; j <= m; ++j) {
            uint64_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

// Unrestricted Damerau-Levenshtein distance (Lowrance and Wagner, 1975).
inline uint64_t damerau_levenshtein(const Seq& a, const Seq& b) {
    const size_t n = a.size(), m = b.size();
    const uint64_t inf = n + m;
    // d[i + 1][j + 1] is the distance of the prefixes of lengths i and j.
    std::vector<std::vector<uint64_t>> d(n + 2, std::vector<uint64_t>(m + 2, inf));
    for (size_t i = 0; i <= n; ++i) d[i + 1][1] = i;
    for (size_t j = 0; j <= m; ++j) d[1][j + 1] = j;
    std::map<uint32_t, size_t> last_row;
    for (size_t i = 1; i <= n; ++i) {
        size_t last_col = 0;
        for (size_t j = 1; j <= m; ++j) {
            auto it = last_row.find(b[j - 1]);
            size_t k = it == last_row.end() ? 0 : it->second;
            size_t l = last_col;
            uint64_t cost = 1;
            if (a[i - 1] == b[j - 1]) {
                cost = 0;
                last_col = j;
            }
            d[i + 1][j + 1] = std::min({d[i][j] + cost, d[i + 1][j] + 1, d[i][j + 1] + 1,
                                        d[k][l] + (i - k - 1) + 1 + (j - l - 1)});
        }
        last_row[a[i - 1]] = i;
    }
    return d[n + 1][m + 1];
}

inline uint64_t longest_common_substring(const Seq& a, const Seq& b) {
    uint64_t best = 0;
    std::vector<uint64_t> prev(b.size() + 1, 0), cur(b.size() + 1, 0);
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            cur[j] = a[i - 1] == b[j - 1] ? prev[j - 1] + 1 : 0;
            best = std::max(best, cur[j]);
        }
        std::swap(prev, cur);
    }
    return best;
}

// The last few results of a procedure (the fuzzers ask for a pair under many cutoffs).
template <class R, R (*F)(const Seq&, const Seq&)>
inline R cached(const Seq& a, const Seq& b) {
    struct Entry {
        Seq a, b;
        R value;
    };
    static thread_local std::vector<Entry> entries;
    for (const auto& e : entries)
        if (e.a == a && e.b == b) return e.value;
    R value = F(a, b);
    if (entries.size() >= 4) entries.erase(entries.begin());
    entries.push_back({a, b, value});
    return value;
}

inline uint64_t lcs_of(const Seq& a, const Seq& b) {
    return cached<uint64_t, lcs>(a, b);
}

inline size_t common_prefix(const Seq& a, const Seq& b) {
    size_t p = 0;
    while (p < a.size() && p < b.size() && a[p] == b[p]) ++p;
    return p;
}

inline size_t common_suffix(const Seq& a, const Seq& b) {
    return static_cast<size_t>(
        std::mismatch(a.rbegin(), a.rend(), b.rbegin(), b.rend()).first - a.rbegin());
}

// Forms of the edit measures. Every function gets the UTF-8 texts (for the byte-identity
// tests) and their decoded code points.

struct Texts {
    const std::string& s1;
    const std::string& s2;
    const Seq& a;
    const Seq& b;
    bool identical() const { return s1 == s2; }
    uint64_t max_len() const { return std::max(a.size(), b.size()); }
};

// A measure's similarity s of at most m; its distance is m - s.
struct Score {
    uint64_t s, m;
};

// The rules a measure may add: kExact, identical texts take the best normalized value (with
// kExactSimilarity the best similarity too) whatever the cutoff; kBySimilarity, the normalized
// similarity is s / m and the normalized distance 1 minus it (else the other way round).
struct Rules {
    static constexpr bool kExact = false, kExactSimilarity = false, kBySimilarity = false;
};

// The four forms of a measure M (M::score gives its Score).
template <class M>
struct Forms {
    static uint64_t distance(const Texts& t, IntCut c) {
        Score x = M::score(t);
        return cut_dist(x.m - x.s, c);
    }
    static uint64_t similarity(const Texts& t, IntCut c) {
        Score x = M::score(t);
        return M::kExactSimilarity && t.identical() ? x.s : cut_sim(x.s, c);
    }
    static double normalized_distance(const Texts& t, FloatCut c) {
        if (M::kBySimilarity) return cut_dist(1.0 - normalized_similarity(t, {}), c);
        if (M::kExact && t.identical()) return 0.0;
        Score x = M::score(t);
        return x.m == 0 ? 0.0 : cut_dist(div(x.m - x.s, x.m), c);
    }
    static double normalized_similarity(const Texts& t, FloatCut c) {
        if (!M::kBySimilarity) return cut_sim(1.0 - normalized_distance(t, {}), c);
        if (M::kExact && t.identical()) return 1.0;
        Score x = M::score(t);
        return x.m == 0 ? 1.0 : cut_sim(div(x.s, x.m), c);
    }
};

// Levenshtein, OSA and Damerau-Levenshtein: the distance d of at most the longer length.
template <uint64_t (*Raw)(const Seq&, const Seq&)>
struct EditScore : Rules {
    static Score score(const Texts& t) {
        return {t.max_len() - cached<uint64_t, Raw>(t.a, t.b), t.max_len()};
    }
};

using Levenshtein = Forms<EditScore<levenshtein>>;
using Osa = Forms<EditScore<osa>>;
using DamerauLevenshtein = Forms<EditScore<damerau_levenshtein>>;

struct IndelScore : Rules {
    static constexpr bool kExact = true, kExactSimilarity = true;
    static Score score(const Texts& t) { return {2 * lcs_of(t.a, t.b), t.a.size() + t.b.size()}; }
};

struct LcsSeqScore : Rules {
    static constexpr bool kExact = true;
    static Score score(const Texts& t) { return {lcs_of(t.a, t.b), t.max_len()}; }
};

struct LcsStrScore : Rules {
    static constexpr bool kExact = true, kBySimilarity = true;
    static Score score(const Texts& t) {
        return {cached<uint64_t, longest_common_substring>(t.a, t.b), t.max_len()};
    }
};

template <bool Suffix>
struct AffixScore : Rules {
    static Score score(const Texts& t) {
        return {Suffix ? common_suffix(t.a, t.b) : common_prefix(t.a, t.b), t.max_len()};
    }
};

using Indel = Forms<IndelScore>;
using LcsSeq = Forms<LcsSeqScore>;
using LcsStr = Forms<LcsStrScore>;
using Prefix = Forms<AffixScore<false>>;
using Postfix = Forms<AffixScore<true>>;

// Hamming: texts of equal lengths only (none otherwise).
struct HammingScore : Rules {
    static constexpr bool kExact = true;
    static Score score(const Texts& t) {
        uint64_t same = 0;
        for (size_t i = 0; i < t.a.size(); ++i) same += t.a[i] == t.b[i];
        return {same, t.a.size()};
    }
};

struct Hamming {
    using F = Forms<HammingScore>;
    template <class R, class Cut>
    static std::optional<R> if_equal(const Texts& t, R (*form)(const Texts&, Cut), Cut c) {
        return t.a.size() == t.b.size() ? std::optional<R>(form(t, c)) : std::nullopt;
    }
    static auto distance(const Texts& t, IntCut c) { return if_equal(t, F::distance, c); }
    static auto similarity(const Texts& t, IntCut c) { return if_equal(t, F::similarity, c); }
    static auto normalized_distance(const Texts& t, FloatCut c) {
        return if_equal(t, F::normalized_distance, c);
    }
    static auto normalized_similarity(const Texts& t, FloatCut c) {
        return if_equal(t, F::normalized_similarity, c);
    }
};

// Jaro and Jaro-Winkler: the straightforward matching of the textbook definition.

inline double jaro(const Seq& a, const Seq& b) {
    if (a == b) return 1.0;
    if (a.empty() || b.empty()) return 0.0;
    const size_t maxlen = std::max(a.size(), b.size());
    const size_t w = maxlen < 2 ? 0 : maxlen / 2 - 1;
    std::vector<bool> m1(a.size()), m2(b.size());
    uint64_t m = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        size_t lo = i > w ? i - w : 0;
        size_t hi = std::min(b.size() - 1, i + w);
        for (size_t j = lo; j <= hi && j < b.size(); ++j) {
            if (!m2[j] && a[i] == b[j]) {
                m1[i] = m2[j] = true;
                ++m;
                break;
            }
        }
    }
    if (m == 0) return 0.0;
    uint64_t half = 0;
    size_t j = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!m1[i]) continue;
        while (!m2[j]) ++j;
        half += a[i] != b[j];
        ++j;
    }
    const uint64_t t = half / 2;
    const double M = static_cast<double>(m);
    double x = M / static_cast<double>(a.size());
    double y = x + M / static_cast<double>(b.size());
    double z = (M - static_cast<double>(t)) / M;
    return (y + z) / 3.0;
}

// Soft TF-IDF's token measure boosts every Jaro value (boost_from 0).
inline double jaro_winkler(const Seq& a, const Seq& b, double p, double boost_from = 0.7) {
    if (a == b) return 1.0;
    double j = jaro(a, b);
    if (j < boost_from) return j;
    size_t l = std::min<size_t>(common_prefix(a, b), 4);
    return j + (1.0 - j) * (p * static_cast<double>(l));
}

// Ratios

inline double string_ratio(uint64_t l, uint64_t lx, uint64_t ly) {
    return static_cast<double>(2 * l) * 100.0 / static_cast<double>(lx + ly);
}

inline double ratio(const std::string& s1, const std::string& s2, const Seq& a, const Seq& b,
                    FloatCut c) {
    if (s1 == s2) return 100.0;
    if (a.empty() || b.empty()) return 0.0;
    return cut_sim(string_ratio(lcs_of(a, b), a.size(), b.size()), c);
}

inline double q_ratio(const std::string& s1, const std::string& s2, const Seq& a, const Seq& b,
                      FloatCut c) {
    if (a.empty() || b.empty()) return 0.0;
    return ratio(s1, s2, a, b, c);
}

// LCS lengths of one text against many (the window search's hundreds of windows) by the
// bit-vector recurrence, words joined by an explicit carry; fuzz_ratio checks it against lcs().
struct LcsBits {
    explicit LcsBits(const Seq& a) : size_(a.size()), words_((a.size() + 63) / 64) {
        for (size_t i = 0; i < a.size(); ++i) {
            auto& m = masks_[a[i]];
            m.resize(words_, 0);
            m[i / 64] |= uint64_t{1} << (i % 64);
        }
    }
    uint64_t lcs(const uint32_t* b, size_t len) const {
        std::vector<uint64_t> v(words_, ~uint64_t{0});
        for (size_t j = 0; j < len; ++j) {
            auto found = masks_.find(b[j]);
            if (found == masks_.end()) continue;
            uint64_t carry = 0;
            for (size_t k = 0; k < words_; ++k) {
                const uint64_t u = v[k] & found->second[k];
                const uint64_t t = v[k] + u;
                const uint64_t sum = t + carry;
                carry = (t < v[k]) | (sum < t);
                v[k] = sum | (v[k] - u);
            }
        }
        uint64_t zeros = 0;
        for (size_t i = 0; i < size_; ++i) zeros += (v[i / 64] >> (i % 64) & 1) == 0;
        return zeros;
    }
    size_t size_, words_;
    std::map<uint32_t, std::vector<uint64_t>> masks_;
};

// Partial ratio: the best ratio of the needle against the windows of the haystack, each
// window scored only when its filter symbol occurs in the needle.
inline double window_search(const Seq& needle, const Seq& hay, bool bytes) {
    const size_t m = needle.size(), n = hay.size();
    auto in_needle = [&](uint32_t c) {
        return std::find(needle.begin(), needle.end(), c) != needle.end();
    };
    const LcsBits bits(needle);
    auto score = [&](size_t begin, size_t end) {
        return string_ratio(bits.lcs(hay.data() + begin, end - begin), m, end - begin);
    };
    // The windows are scored until one scores 100.
    double best = 0.0;
    auto consider = [&](size_t begin, size_t end, bool scored) {
        if (scored && best < 100.0) best = std::max(best, score(begin, end));
    };
    if (bytes && m >= 129) {
        // Long byte needles: full-length windows only; the first one is always scored.
        for (size_t start = 0; start + m <= n; ++start)
            consider(start, start + m, start == 0 || in_needle(hay[start + m - 1]));
        return best;
    }
    for (size_t i = 1; i < m; ++i) consider(0, i, in_needle(hay[i - 1]));
    for (size_t start = 0; start + m < n; ++start)
        consider(start, start + m, in_needle(hay[start + m - 1]));
    for (size_t start = n - m; start < n; ++start) consider(start, n, in_needle(hay[start]));
    return best;
}

// Steps before the cutoff: the window score of the token ratios.
inline double partial_best_raw(const Seq& a, const Seq& b) {
    if (a == b) return 100.0;
    if (a.empty()) return b.empty() ? 100.0 : 0.0;
    if (b.empty()) return 0.0;
    const bool bytes = all_ascii(a) && all_ascii(b);
    const bool first_is_needle = a.size() <= b.size();
    const Seq& needle = first_is_needle ? a : b;
    const Seq& hay = first_is_needle ? b : a;
    double best = window_search(needle, hay, bytes);
    if (a.size() == b.size() && best < 100.0) best = std::max(best, window_search(b, a, bytes));
    return best;
}

inline double partial_best(const Seq& a, const Seq& b) {
    return cached<double, partial_best_raw>(a, b);
}

inline double partial_ratio(const Seq& a, const Seq& b, FloatCut c) {
    return cut_sim(partial_best(a, b), c);
}

// Words and the token ratios

inline bool white_space(uint32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

using Words = std::vector<Seq>;

inline Words split(const Seq& s) {
    Words out;
    Seq word;
    for (uint32_t c : s) {
        if (white_space(c)) {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) out.push_back(std::move(word));
    return out;
}

// Code point order of valid UTF-8 is its byte order.
inline Words sorted(Words w) {
    std::sort(w.begin(), w.end());
    return w;
}

inline Words distinct(const Words& w) {
    Words s = sorted(w);
    s.erase(std::unique(s.begin(), s.end()), s.end());
    return s;
}

inline Seq join(const Words& w) {
    Seq out;
    for (size_t i = 0; i < w.size(); ++i) {
        if (i) out.push_back(' ');
        out.insert(out.end(), w[i].begin(), w[i].end());
    }
    return out;
}

inline bool contains(const Words& sorted_set, const Seq& w) {
    return std::binary_search(sorted_set.begin(), sorted_set.end(), w);
}

inline double normalized_score(uint64_t d, uint64_t t) {
    if (t == 0) return 100.0;
    return 100.0 - static_cast<double>(d) * 100.0 / static_cast<double>(t);
}

inline double token_sort_ratio(const std::string& s1, const std::string& s2, const Seq& a,
                               const Seq& b, FloatCut c) {
    if (s1 == s2) return 100.0;
    Words w1 = sorted(split(a)), w2 = sorted(split(b));
    if (w1 == w2) return 100.0;
    Seq j1 = join(w1), j2 = join(w2);
    if (j1.empty() != j2.empty()) return 0.0;
    return cut_sim(string_ratio(lcs_of(j1, j2), j1.size(), j2.size()), c);
}

struct SetParts {
    // early: the result of an early return (100.0 or 0.0), if any
    std::optional<double> early;
    Words shared, first_only, second_only;
};

// Steps 1 to 4 of the token set ratio.
inline SetParts set_parts(const std::string& s1, const std::string& s2, const Seq& a,
                          const Seq& b) {
    SetParts p;
    if (s1 == s2) return {100.0, {}, {}, {}};
    if (s1.empty() || s2.empty()) return {0.0, {}, {}, {}};
    Words w1 = split(a), w2 = split(b);
    if (w1.empty() && w2.empty()) return {100.0, {}, {}, {}};
    if (w1.empty() || w2.empty()) return {0.0, {}, {}, {}};
    Words d1 = distinct(w1), d2 = distinct(w2);
    if (d1 == d2) return {100.0, {}, {}, {}};
    for (const auto& w : d1) (contains(d2, w) ? p.shared : p.first_only).push_back(w);
    for (const auto& w : d2)
        if (!contains(d1, w)) p.second_only.push_back(w);
    if (!p.shared.empty() && (p.first_only.empty() || p.second_only.empty())) p.early = 100.0;
    return p;
}

// Steps 6 to 11 of the token set ratio with the cutoff c.
inline double set_score(const SetParts& p, double c) {
    Seq x = join(p.first_only), y = join(p.second_only);
    const uint64_t first_len = x.size(), second_len = y.size();
    const uint64_t shared_len = join(p.shared).size();
    uint64_t with_first = shared_len ? shared_len + 1 + first_len : first_len;
    uint64_t with_second = shared_len ? shared_len + 1 + second_len : second_len;
    uint64_t dist = first_len + second_len - 2 * lcs_of(x, y);
    double rest = normalized_score(dist, with_first + with_second);
    if (rest < c) rest = 0.0;
    if (shared_len == 0) return rest;
    double first = normalized_score(first_len + 1, shared_len + with_first);
    double second = normalized_score(second_len + 1, shared_len + with_second);
    if (first < c) first = 0.0;
    if (second < c) second = 0.0;
    return std::max({rest, first, second});
}

inline double token_set_ratio(const std::string& s1, const std::string& s2, const Seq& a,
                              const Seq& b, FloatCut c) {
    SetParts p = set_parts(s1, s2, a, b);
    if (p.early) return *p.early;
    return set_score(p, c ? *c : 0.0);
}

inline double token_ratio(const std::string& s1, const std::string& s2, const Seq& a, const Seq& b,
                          FloatCut c) {
    SetParts p = set_parts(s1, s2, a, b);
    if (p.early) return *p.early;
    Seq j1 = join(sorted(split(a))), j2 = join(sorted(split(b)));
    double sorted_score = string_ratio(lcs_of(j1, j2), j1.size(), j2.size());
    double final_score = std::max(sorted_score, set_score(p, 0.0));
    return cut_sim(final_score, c);
}

inline bool share_a_word(const Words& d1, const Words& d2) {
    return std::any_of(d1.begin(), d1.end(), [&](const Seq& w) { return contains(d2, w); });
}

inline double partial_token_sort_ratio(const std::string& s1, const std::string& s2, const Seq& a,
                                       const Seq& b, FloatCut c) {
    if (s1 == s2) return 100.0;
    Words w1 = sorted(split(a)), w2 = sorted(split(b));
    if (w1 == w2) return 100.0;
    return cut_sim(partial_best(join(w1), join(w2)), c);
}

inline double partial_token_set_ratio(const std::string& s1, const std::string& s2, const Seq& a,
                                      const Seq& b, FloatCut c) {
    if (s1 == s2) return 100.0;
    Words d1 = distinct(split(a)), d2 = distinct(split(b));
    if (d1 == d2) return 100.0;
    if (d1.empty() || d2.empty()) return 0.0;
    if (share_a_word(d1, d2)) return 100.0;
    return cut_sim(partial_best(join(d1), join(d2)), c);
}

inline double partial_token_ratio(const std::string& s1, const std::string& s2, const Seq& a,
                                  const Seq& b, FloatCut c) {
    if (s1 == s2) return 100.0;
    Words w1 = split(a), w2 = split(b);
    Words d1 = distinct(w1), d2 = distinct(w2);
    if (share_a_word(d1, d2)) return 100.0;
    double best = partial_best(join(sorted(w1)), join(sorted(w2)));
    if (w1.size() != d1.size() || w2.size() != d2.size())
        best = std::max(best, partial_best(join(d1), join(d2)));
    return cut_sim(best, c);
}

inline double w_ratio(const std::string& s1, const std::string& s2, const Seq& a, const Seq& b,
                      FloatCut cutoff) {
    if (s1.empty() || s2.empty()) return 0.0;
    const double c = cutoff ? *cutoff : 0.0;
    auto max2 = [](double x, double y) { return x < y ? y : x; };  // y NaN: x is kept
    const double len1 = static_cast<double>(a.size()), len2 = static_cast<double>(b.size());
    const double length_ratio = std::max(len1, len2) / std::min(len1, len2);
    double best = ratio(s1, s2, a, b, c);
    if (length_ratio < 1.5) {
        double t = token_ratio(s1, s2, a, b, max2(best, c) / 0.95);
        best = max2(best, t * 0.95);
    } else {
        double weight = length_ratio > 8.0 ? 0.6 : 0.9;
        double p = partial_ratio(a, b, max2(best, c) / weight);
        best = max2(best, weight * p);
        weight = weight * 0.95;
        double q = partial_token_ratio(s1, s2, a, b, max2(best, c) / weight);
        best = max2(best, weight * q);
    }
    return best < c ? 0.0 : best;
}

// Multiset overlap measures, cosine, soft TF-IDF

inline std::map<Seq, uint64_t> counts(const Words& w) {
    std::map<Seq, uint64_t> out;
    for (const auto& x : w) ++out[x];
    return out;
}

// The size of the intersection of two multisets.
inline uint64_t shared(const std::map<Seq, uint64_t>& ca, const std::map<Seq, uint64_t>& cb) {
    uint64_t n = 0;
    for (auto& [w, k] : ca)
        if (cb.count(w)) n += std::min(k, cb.at(w));
    return n;
}

struct Overlap {
    uint64_t n_a = 0, n_b = 0, inter = 0, uni = 0;
    bool both_empty = false;
};

inline Overlap overlap_counts(const Seq& a, const Seq& b) {
    Words wa = split(a), wb = split(b);
    uint64_t inter = shared(counts(wa), counts(wb));
    return {wa.size(), wb.size(), inter, wa.size() + wb.size() - inter, wa.empty() && wb.empty()};
}

inline double jaccard(const Overlap& o, double, double) {
    return o.uni == 0 ? 0.0 : div(o.inter, o.uni);
}
inline double sorensen_dice(const Overlap& o, double, double) {
    double i = static_cast<double>(o.inter);
    return o.n_a + o.n_b == 0 ? 0.0 : (i + i) / static_cast<double>(o.n_a + o.n_b);
}
inline double tversky(const Overlap& o, double alpha, double beta) {
    double i = static_cast<double>(o.inter);
    double d = ((alpha * static_cast<double>(o.n_a - o.inter)) + i) +
               (beta * static_cast<double>(o.n_b - o.inter));
    return d == 0.0 ? 0.0 : i / d;
}
inline double overlap_coefficient(const Overlap& o, double, double) {
    uint64_t mn = std::min(o.n_a, o.n_b);
    return mn == 0 ? 0.0 : div(o.inter, mn);
}

template <double (*F)(const Overlap&, double, double)>
inline double set_similarity(const Seq& a, const Seq& b, double alpha, double beta, FloatCut c) {
    Overlap o = overlap_counts(a, b);
    if (o.both_empty) return 1.0;
    return cut_sim(F(o, alpha, beta), c);
}

template <double (*F)(const Overlap&, double, double)>
inline double set_distance(const Seq& a, const Seq& b, double alpha, double beta, FloatCut c) {
    return cut_dist(1.0 - set_similarity<F>(a, b, alpha, beta, {}), c);
}

inline Words cosine_tokens(const Seq& s, bool use_words, uint64_t n) {
    if (use_words) return split(s);
    if (s.size() < n) return {s};
    Words out;
    for (size_t i = 0; i + n <= s.size(); ++i)
        out.emplace_back(s.begin() + static_cast<ptrdiff_t>(i),
                         s.begin() + static_cast<ptrdiff_t>(i + n));
    return out;
}

inline double cosine_similarity(const Seq& a, const Seq& b, bool use_words, uint64_t n,
                                FloatCut c) {
    Words ta = cosine_tokens(a, use_words, n), tb = cosine_tokens(b, use_words, n);
    if (ta.empty()) return tb.empty() ? 1.0 : 0.0;
    if (tb.empty()) return 0.0;
    double inter = static_cast<double>(shared(counts(ta), counts(tb)));
    double p = static_cast<double>(ta.size()) * static_cast<double>(tb.size());
    double sim = p == 0.0 ? 0.0 : inter / std::sqrt(p);
    return cut_sim(sim, c);
}

inline double cosine_distance(const Seq& a, const Seq& b, bool use_words, uint64_t n, FloatCut c) {
    return cut_dist(1.0 - cosine_similarity(a, b, use_words, n, {}), c);
}

inline double soft_tfidf_token(const Seq& a, const Seq& b) {
    return jaro_winkler(a, b, 0.1, 0.0);
}

// `ambiguous` is set when a tie between partners of different counts leaves the result to
// the visiting order of the maps.
inline double soft_tfidf_similarity(const Seq& a, const Seq& b, double threshold, FloatCut c,
                                    bool& ambiguous) {
    ambiguous = false;
    Words wa = split(a), wb = split(b);
    if (wa.empty()) return wb.empty() ? 1.0 : 0.0;
    if (wb.empty()) return 0.0;
    auto ca = counts(wa), cb = counts(wb);
    double sq1 = 0.0, sq2 = 0.0;
    for (auto& [w, k] : ca) sq1 += static_cast<double>(k) * static_cast<double>(k);
    for (auto& [w, k] : cb) sq2 += static_cast<double>(k) * static_cast<double>(k);
    const double n1 = std::sqrt(sq1), n2 = std::sqrt(sq2);
    double total = 0.0;
    for (auto& [x, kx] : ca) {
        double best = 0.0, best_count = 0.0;
        for (auto& [y, ky] : cb) {
            double s = soft_tfidf_token(x, y);
            if (s >= threshold && s == best && static_cast<double>(ky) != best_count)
                ambiguous = true;
            if (s >= threshold && s > best) {
                best = s;
                best_count = static_cast<double>(ky);
            }
        }
        if (best > 0.0) total = total + best * ((best_count / n2) * (static_cast<double>(kx) / n1));
    }
    return cut_sim(total, c);
}

// Smith-Waterman and Needleman-Wunsch over the full matrix, row by row.

// A NaN operand gives way to the other; of equal operands (zeros of both signs) the second.
inline double max_num(double x, double y) {
    return x > y || std::isnan(y) ? x : y;
}

struct AlignParams {
    double match, mismatch, gap;
};

// The local score is the largest cell of the matrix (textbook Smith-Waterman), wherever
// it lies; the global one the last cell.
inline double align_score(const Seq& a, const Seq& b, AlignParams p, bool local) {
    if (local && (a.empty() || b.empty())) return 0.0;
    if (a.empty()) return -(static_cast<double>(b.size()) * p.gap);
    if (b.empty()) return -(static_cast<double>(a.size()) * p.gap);
    std::vector<std::vector<double>> h(a.size() + 1, std::vector<double>(b.size() + 1, 0.0));
    for (size_t i = 0; !local && i <= a.size(); ++i) h[i][0] = p.gap * -static_cast<double>(i);
    for (size_t j = 0; !local && j <= b.size(); ++j) h[0][j] = -(static_cast<double>(j) * p.gap);
    double best = 0.0;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            double s = a[i - 1] == b[j - 1] ? p.match : p.mismatch;
            h[i][j] =
                max_num(max_num(h[i - 1][j - 1] + s, h[i - 1][j] - p.gap), h[i][j - 1] - p.gap);
            if (local) h[i][j] = max_num(h[i][j], 0.0);
            best = std::max(best, h[i][j]);
        }
    return local ? best : h[a.size()][b.size()];
}

inline double smith_waterman_score(const Seq& a, const Seq& b, AlignParams p, FloatCut c) {
    return cut_sim(align_score(a, b, p, true), c);
}

inline double needleman_wunsch_score(const Seq& a, const Seq& b, AlignParams p, FloatCut c) {
    double s = align_score(a, b, p, false);
    return c && s < *c ? -std::numeric_limits<double>::max() : s;
}

inline double smith_waterman_normalized(const Seq& a, const Seq& b, AlignParams p, FloatCut c) {
    if (a.empty()) return b.empty() ? 1.0 : 0.0;
    if (b.empty()) return 0.0;
    double score = align_score(a, b, p, true);
    double denominator = p.match * static_cast<double>(std::min(a.size(), b.size()));
    double value = denominator > 0.0 ? score / denominator : 0.0;
    return cut_sim(std::clamp(value, 0.0, 1.0), c);
}

inline double needleman_wunsch_normalized(const Seq& a, const Seq& b, AlignParams p, FloatCut c) {
    const size_t maxlen = std::max(a.size(), b.size());
    if (maxlen == 0) return 1.0;
    double score = align_score(a, b, p, false);
    double maximum = p.match * static_cast<double>(maxlen);
    double value =
        maximum == 0.0 ? 1.0 : (p.gap * static_cast<double>(maxlen) + score) / (maximum + maximum);
    return cut_sim(std::clamp(value, 0.0, 1.0), c);
}

}  // namespace ref
