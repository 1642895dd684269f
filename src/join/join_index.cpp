#include "join_index.hpp"

#include <algorithm>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qx::join {

namespace {

constexpr uint64_t kBase = 0x100000001b3ULL * 2 + 1;  // odd: multiplication is invertible
constexpr uint64_t kUnreachable = std::numeric_limits<uint64_t>::max();

inline uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Segment k of m of a text of n symbols: the first m - n % m segments are n / m long, the
// others one longer.
struct Segment {
    size_t start, length;
};
inline Segment segment_of(size_t n, size_t m, size_t k) {
    const size_t q = n / m, r = n % m, shorter = m - r;
    return {k * q + (k > shorter ? k - shorter : 0), q + (k >= shorter ? 1 : 0)};
}

template <class T>
size_t next_power_of_two(T n) {
    size_t p = 16;
    while (p < n) p *= 2;
    return p;
}

}  // namespace

template <class Limit>
LengthPlan::LengthPlan(std::span<const Text> probe, std::span<const Text> indexed, bool self,
                       Limit limit) {
    ids_.resize(indexed.size());
    for (size_t j = 0; j < indexed.size(); ++j) ids_[j] = static_cast<uint32_t>(j);
    std::stable_sort(ids_.begin(), ids_.end(), [&](uint32_t a, uint32_t b) {
        return indexed[a].length < indexed[b].length;
    });
    for (size_t k = 0; k < ids_.size();) {
        size_t e = k;
        const size_t n = indexed[ids_[k]].length;
        while (e < ids_.size() && indexed[ids_[e]].length == n) ++e;
        groups_.push_back({n, k, e});
        k = e;
    }
    std::vector<size_t> lengths(probe.size());
    for (size_t i = 0; i < probe.size(); ++i) lengths[i] = probe[i].length;
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    for (size_t n : lengths) {
        const size_t begin = partners_.size();
        for (size_t g = 0; g < groups_.size(); ++g) {
            if (self && groups_[g].length > n) break;
            const EditLimits l = limit(n, groups_[g].length);
            if (l.levenshtein >= 0)
                partners_.push_back({static_cast<uint32_t>(g), l.levenshtein, l.counts, l.counts_summed});
        }
        by_probe_length_.emplace(n, std::make_pair(begin, partners_.size()));
    }
}

std::span<const LengthPlan::Partner> LengthPlan::partners(size_t probe_length) const {
    auto it = by_probe_length_.find(probe_length);
    if (it == by_probe_length_.end()) return {};
    return {partners_.data() + it->second.first, it->second.second - it->second.first};
}

void append_ids(const uint32_t* ids, size_t count, bool same_side, uint32_t probe,
                std::vector<uint32_t>& out) {
    if (!same_side) {
        out.insert(out.end(), ids, ids + count);
        return;
    }
    for (size_t k = 0; k < count && ids[k] < probe; ++k) out.push_back(ids[k]);
}

// ---------------------------------------------------------------------------------------------

LengthBandSource::LengthBandSource(std::span<const Text> probe, std::span<const Text> indexed,
                                   bool self, const Measure& measure)
    : probe_(probe), indexed_(indexed), self_(self), measure_(measure),
      by_counts_(measure.filter() == FilterKind::LengthOnly),
      plan_(probe, indexed, self, [&](size_t a, size_t b) {
          EditLimits l{0, 0, false};
          if (by_counts_ && !measure.lengths_may_meet(a, b)) l.levenshtein = -1;
          return l;
      }) {
    if (by_counts_) {
        counts_.resize(indexed.size());
        for (size_t j = 0; j < indexed.size(); ++j) counts_[j] = count_symbols_of(indexed[j]);
    }
}

void LengthBandSource::candidates(size_t probe, std::vector<uint32_t>& out,
                                  ProbeScratch& /*scratch*/) const {
    const size_t n = probe_[probe].length;
    const auto id = static_cast<uint32_t>(probe);
    const SymbolCounts counts = by_counts_ ? count_symbols_of(probe_[probe]) : SymbolCounts{};
    for (const LengthPlan::Partner& p : plan_.partners(n)) {
        const LengthPlan::Group& g = plan_.groups()[p.group];
        const uint32_t* ids = plan_.ids().data() + g.begin;
        const size_t count = g.end - g.begin;
        const bool same_side = self_ && g.length == n;
        if (!by_counts_) {
            append_ids(ids, count, same_side, id, out);
            continue;
        }
        const size_t shorter = std::min(n, g.length);
        for (size_t k = 0; k < count; ++k) {
            const uint32_t j = ids[k];
            if (same_side && j >= id) break;
            const size_t common = common_symbols_bound(counts, counts_[j], shorter);
            if (measure_.lengths_may_meet(n, g.length, common)) out.push_back(j);
        }
    }
}

size_t common_symbols_bound(const SymbolCounts& a, const SymbolCounts& b, size_t shorter) {
    size_t common = 0;
    for (int k = 0; k < 16; ++k) {
        for (int shift = 0; shift <= 4; shift += 4) {
            const unsigned x = (a.packed[k] >> shift) & 15, y = (b.packed[k] >> shift) & 15;
            if (x == 15 && y == 15) return shorter;
            common += x == 15 ? y : (y == 15 ? x : std::min(x, y));
        }
    }
    return common;
}

SymbolCounts count_symbols_of(Text t) {
    uint8_t bucket[32] = {};
    visit(t, [&](auto units) {
        for (auto u : units) {
            uint8_t& b = bucket[u & 31];
            b = static_cast<uint8_t>(b + (b != 15));
        }
    });
    SymbolCounts c;
    for (int k = 0; k < 16; ++k) c.packed[k] = static_cast<uint8_t>(bucket[k] | bucket[k + 16] << 4);
    return c;
}

bool counts_allow(const SymbolCounts& a, const SymbolCounts& b, int64_t limit, bool summed) {
#if defined(__SSE2__)
    // Every x86-64 processor has SSE2: nibbles apart, saturating differences, summed by psadbw.
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.packed));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.packed));
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i xl = _mm_and_si128(x, low), xh = _mm_and_si128(_mm_srli_epi16(x, 4), low);
    const __m128i yl = _mm_and_si128(y, low), yh = _mm_and_si128(_mm_srli_epi16(y, 4), low);
    const __m128i zero = _mm_setzero_si128();
    const __m128i ps = _mm_sad_epu8(_mm_add_epi8(_mm_subs_epu8(xl, yl), _mm_subs_epu8(xh, yh)), zero);
    const __m128i ns = _mm_sad_epu8(_mm_add_epi8(_mm_subs_epu8(yl, xl), _mm_subs_epu8(yh, xh)), zero);
    const unsigned p = static_cast<unsigned>(_mm_cvtsi128_si32(ps) + _mm_extract_epi16(ps, 4));
    const unsigned n = static_cast<unsigned>(_mm_cvtsi128_si32(ns) + _mm_extract_epi16(ns, 4));
    return static_cast<int64_t>(summed ? p + n : std::max(p, n)) <= limit;
#else
    return counts_allow_reference(a, b, limit, summed);
#endif
}

bool counts_allow_reference(const SymbolCounts& a, const SymbolCounts& b, int64_t limit,
                            bool summed) {
    unsigned p = 0, n = 0;
    for (int k = 0; k < 16; ++k) {
        const unsigned x = a.packed[k], y = b.packed[k];
        const unsigned xl = x & 15, xh = x >> 4, yl = y & 15, yh = y >> 4;
        p += (xl > yl ? xl - yl : 0) + (xh > yh ? xh - yh : 0);
        n += (yl > xl ? yl - xl : 0) + (yh > xh ? yh - xh : 0);
    }
    return static_cast<int64_t>(summed ? p + n : std::max(p, n)) <= limit;
}

// Pair mode needs C(m, 2) keys per text; beyond this many segments single mode is used.
constexpr uint32_t kMaxPairSegments = 8;

uint64_t EditPartitionIndex::segment_key(size_t length, size_t segment, uint64_t hash) {
    return mix(mix(hash) ^ (length * 0x9e3779b97f4a7c15ULL) ^ (segment * 0xc2b2ae3d27d4eb4fULL));
}

uint64_t EditPartitionIndex::pair_key(uint64_t first, uint64_t second) {
    const uint64_t key = mix(first ^ (second * 0x2545f4914f6cdd1dULL + 0x632be59bd9b4e019ULL));
    return key ? key : 1;
}

const EditPartitionIndex::Slot* EditPartitionIndex::find(uint64_t key) const {
    const size_t mask = table_.size() - 1;
    for (size_t i = key & mask;; i = (i + 1) & mask) {
        const Slot& s = table_[i];
        if (s.key == key) return &s;
        if (s.key == 0) return nullptr;
    }
}

EditPartitionIndex::EditPartitionIndex(std::span<const Text> probe, std::span<const Text> indexed,
                                       bool self, const Measure& measure)
    : probe_(probe), self_(self),
      plan_(probe, indexed, self, [&](size_t a, size_t b) { return measure.edit_limits(a, b); }) {
    const auto& groups = plan_.groups();
    // The partition of a group serves the largest limit any probe length brings to it.
    std::vector<int64_t> tau(groups.size(), -1);
    std::vector<size_t> lengths(probe.size());
    for (size_t i = 0; i < probe.size(); ++i) lengths[i] = probe[i].length;
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    for (size_t n : lengths)
        for (const LengthPlan::Partner& p : plan_.partners(n))
            tau[p.group] = std::max(tau[p.group], p.limit);

    counts_.resize(indexed.size());
    for (size_t j = 0; j < indexed.size(); ++j) counts_[j] = count_symbols_of(indexed[j]);

    layouts_.resize(groups.size());
    std::vector<std::pair<uint64_t, uint32_t>> entries;
    std::vector<uint64_t> hashes;
    for (size_t g = 0; g < groups.size(); ++g) {
        const size_t n = groups[g].length;
        Layout& layout = layouts_[g];
        if (tau[g] < 0) continue;  // no probe can pair with this length
        const auto t = static_cast<uint64_t>(tau[g]);
        if (t + 2 <= n && t + 2 <= kMaxPairSegments) {
            layout = {Mode::Pairs, static_cast<uint32_t>(t + 2)};
        } else if (t + 1 <= n) {
            layout = {Mode::Single, static_cast<uint32_t>(t + 1)};
        } else {
            layout.mode = Mode::Unfiltered;
            continue;
        }
        const size_t m = layout.segments;
        for (size_t k = groups[g].begin; k < groups[g].end; ++k) {
            const uint32_t id = plan_.ids()[k];
            const Text text = indexed[id];
            hashes.clear();
            for (size_t s = 0; s < m; ++s) {
                const Segment seg = segment_of(n, m, s);
                uint64_t h = 0;
                for (size_t c = 0; c < seg.length; ++c) h = h * kBase + text.at(seg.start + c) + 1;
                hashes.push_back(segment_key(n, s, h));
            }
            if (layout.mode == Mode::Single) {
                for (uint64_t h : hashes) entries.emplace_back(h ? h : 1, id);
            } else {
                for (size_t a = 0; a + 1 < m; ++a)
                    for (size_t b = a + 1; b < m; ++b)
                        entries.emplace_back(pair_key(hashes[a], hashes[b]), id);
            }
        }
    }
    if (entries.size() >= std::numeric_limits<uint32_t>::max()) throw std::bad_alloc();
    std::sort(entries.begin(), entries.end());
    size_t distinct = 0;
    for (size_t k = 0; k < entries.size(); ++k)
        distinct += (k == 0 || entries[k].first != entries[k - 1].first);
    table_.assign(next_power_of_two(2 * distinct), Slot{0, 0, 0});
    present_.assign(next_power_of_two(distinct / 4 + 1), 0);  // 16 bits per key or more
    present_mask_ = present_.size() - 1;
    postings_.resize(entries.size());
    posting_counts_.resize(entries.size());
    const size_t mask = table_.size() - 1;
    for (size_t k = 0; k < entries.size();) {
        size_t e = k;
        while (e < entries.size() && entries[e].first == entries[k].first) {
            postings_[e] = entries[e].second;
            posting_counts_[e] = counts_[entries[e].second];
            ++e;
        }
        const uint64_t bit = entries[k].first >> 40;
        present_[(bit >> 6) & present_mask_] |= uint64_t{1} << (bit & 63);
        size_t i = entries[k].first & mask;
        while (table_[i].key != 0) i = (i + 1) & mask;
        table_[i] = {entries[k].first, static_cast<uint32_t>(k), static_cast<uint32_t>(e - k)};
        k = e;
    }
}

void EditPartitionIndex::propose(const uint32_t* ids, const SymbolCounts* counts, size_t count,
                                 bool same_side, uint32_t probe, const SymbolCounts& probe_counts,
                                 const LengthPlan::Partner& partner,
                                 std::vector<uint32_t>& out) const {
    for (size_t k = 0; k < count; ++k) {
        const uint32_t j = ids[k];
        if (same_side && j >= probe) break;
        const SymbolCounts& c = counts ? counts[k] : counts_[j];
        if (counts_allow(probe_counts, c, partner.counts, partner.summed)) out.push_back(j);
    }
}

void EditPartitionIndex::candidates(size_t probe, std::vector<uint32_t>& out,
                                    ProbeScratch& scratch) const {
    const Text r = probe_[probe];
    const size_t n = r.length;
    auto partners = plan_.partners(n);
    if (partners.empty()) return;
    std::vector<uint64_t>& hash = scratch.prefix_hash;
    std::vector<uint64_t>& power = scratch.powers;
    hash.resize(n + 1);
    power.resize(n + 1);
    hash[0] = 0;
    power[0] = 1;
    visit(r, [&](auto units) {
        for (size_t j = 0; j < n; ++j) {
            hash[j + 1] = hash[j] * kBase + units[j] + 1;
            power[j + 1] = power[j] * kBase;
        }
    });
    const SymbolCounts counts = count_symbols_of(r);
    const auto id = static_cast<uint32_t>(probe);
    const int64_t rn = static_cast<int64_t>(n);
    auto lookup = [&](const LengthPlan::Group& g, size_t k, int64_t at, int64_t len) {
        const uint64_t h = hash[static_cast<size_t>(at + len)] -
                           hash[static_cast<size_t>(at)] * power[static_cast<size_t>(len)];
        return segment_key(g.length, k, h);
    };
    // Most keys are in no text: the presence bits (small enough to stay mostly in cache) answer
    // those, and the memory of the others is fetched for all keys of the probe at once.
    std::vector<ProbeScratch::Lookup>& lookups = scratch.lookups;
    lookups.clear();
    uint32_t partner_index = 0;
    auto defer = [&](uint64_t key) {
        __builtin_prefetch(present_word(key));
        lookups.push_back({key, partner_index});
    };
    for (; partner_index < partners.size(); ++partner_index) {
        const LengthPlan::Partner& p = partners[partner_index];
        const LengthPlan::Group& g = plan_.groups()[p.group];
        const Layout& layout = layouts_[p.group];
        const bool same_side = self_ && g.length == n;
        const uint32_t* ids = plan_.ids().data();
        if (layout.mode == Mode::Unfiltered) {
            propose(ids + g.begin, nullptr, g.end - g.begin, same_side, id, counts, p, out);
            continue;
        }
        const int64_t t = p.limit;
        const int64_t diff = rn - static_cast<int64_t>(g.length);
        const auto m = static_cast<int64_t>(layout.segments);
        if (layout.mode == Mode::Single) {
            for (int64_t k = 0; k <= std::min(t, m - 1); ++k) {
                const Segment seg = segment_of(g.length, layout.segments, static_cast<size_t>(k));
                const auto len = static_cast<int64_t>(seg.length);
                const int64_t lo = std::max(-k, diff - (t - k));
                const int64_t hi = std::min(k, diff + (t - k));
                for (int64_t shift = lo; shift <= hi; ++shift) {
                    const int64_t at = static_cast<int64_t>(seg.start) + shift;
                    if (at < 0 || at + len > rn) continue;
                    const uint64_t key = lookup(g, static_cast<size_t>(k), at, len);
                    defer(key ? key : 1);
                }
            }
            continue;
        }
        for (int64_t k1 = 0; k1 + 1 < m; ++k1) {
            const Segment seg1 = segment_of(g.length, layout.segments, static_cast<size_t>(k1));
            const auto len1 = static_cast<int64_t>(seg1.length);
            for (int64_t k2 = k1 + 1; k2 < m; ++k2) {
                const int64_t gap = k2 - k1 - 1;
                if (k1 + gap > t) break;
                const Segment seg2 = segment_of(g.length, layout.segments, static_cast<size_t>(k2));
                const auto len2 = static_cast<int64_t>(seg2.length);
                for (int64_t s1 = -(t - gap); s1 <= t - gap; ++s1) {
                    const int64_t before = std::max(s1 < 0 ? -s1 : s1, k1);
                    if (before + gap > t) continue;
                    const int64_t at1 = static_cast<int64_t>(seg1.start) + s1;
                    if (at1 < 0 || at1 + len1 > rn) continue;
                    const uint64_t key1 = lookup(g, static_cast<size_t>(k1), at1, len1);
                    const int64_t rest = t - before - gap;
                    for (int64_t s2 = diff - rest; s2 <= diff + rest; ++s2) {
                        const int64_t between = std::max(s2 > s1 ? s2 - s1 : s1 - s2, gap);
                        const int64_t after = s2 > diff ? s2 - diff : diff - s2;
                        if (before + between + after > t) continue;
                        const int64_t at2 = static_cast<int64_t>(seg2.start) + s2;
                        if (at2 < 0 || at2 + len2 > rn) continue;
                        const uint64_t key2 = lookup(g, static_cast<size_t>(k2), at2, len2);
                        defer(pair_key(key1, key2));
                    }
                }
            }
        }
    }
    size_t kept = 0;
    for (const ProbeScratch::Lookup& l : lookups) {
        if (!maybe_present(l.key)) continue;
        __builtin_prefetch(&table_[l.key & (table_.size() - 1)]);
        lookups[kept++] = l;
    }
    size_t found = 0;
    for (size_t k = 0; k < kept; ++k) {
        const Slot* slot = find(lookups[k].key);
        if (!slot) continue;
        __builtin_prefetch(&postings_[slot->begin]);
        __builtin_prefetch(&posting_counts_[slot->begin]);
        // The slot's address stands in for the key from here on.
        lookups[found++] = {reinterpret_cast<uintptr_t>(slot), lookups[k].partner};
    }
    for (size_t k = 0; k < found; ++k) {
        const Slot* slot = reinterpret_cast<const Slot*>(static_cast<uintptr_t>(lookups[k].key));
        const LengthPlan::Partner& p = partners[lookups[k].partner];
        const bool same_side = self_ && plan_.groups()[p.group].length == n;
        propose(postings_.data() + slot->begin, posting_counts_.data() + slot->begin, slot->count,
                same_side, id, counts, p, out);
    }
}

// ---------------------------------------------------------------------------------------------

uint64_t TokenPrefixIndex::needed(uint64_t n1, uint64_t n2) const {
    if (n1 < small_limit_ && n2 < small_limit_) return table_[n1 * small_limit_ + n2];
    return measure_.min_overlap(n1, n2);
}

TokenPrefixIndex::TokenPrefixIndex(const TokenBags& bags, size_t probe_count, bool self,
                                   const Measure& measure)
    : bags_(bags), measure_(measure), offset_(self ? 0 : probe_count),
      indexed_count_(self ? probe_count : bags.size() - probe_count), self_(self) {
    uint64_t largest = 0;
    uint32_t ranks = 0;
    for (size_t b = 0; b < bags.size(); ++b) {
        auto bag = bags.bag(b);
        largest = std::max<uint64_t>(largest, bag.size());
        if (!bag.empty()) ranks = std::max(ranks, bag.back() + 1);
    }
    if (largest < 256) {
        small_limit_ = largest + 1;
        table_.assign(small_limit_ * small_limit_, 0);
        for (uint64_t a = 1; a < small_limit_; ++a)
            for (uint64_t b = 1; b < small_limit_; ++b)
                table_[a * small_limit_ + b] = static_cast<uint32_t>(measure.min_overlap(a, b));
    }
    auto distinct_sizes = [&](size_t begin, size_t count) {
        std::vector<uint64_t> sizes;
        for (size_t b = begin; b < begin + count; ++b)
            if (!bags.bag(b).empty()) sizes.push_back(bags.bag(b).size());
        std::sort(sizes.begin(), sizes.end());
        sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
        return sizes;
    };
    const std::vector<uint64_t> probe_sizes = distinct_sizes(0, probe_count);
    const std::vector<uint64_t> indexed_sizes = distinct_sizes(offset_, indexed_count_);
    // Fewest shared elements a bag of size n needs with any partner size.
    auto fewest = [&](uint64_t n, const std::vector<uint64_t>& partners, bool probe_side) {
        uint64_t best = kUnreachable;
        for (uint64_t m : partners) {
            const uint64_t o = probe_side ? needed(n, m) : needed(m, n);
            if (o <= std::min(n, m)) best = std::min(best, o);
        }
        return best;
    };
    std::unordered_map<uint64_t, uint64_t> indexed_fewest, probe_fewest;
    for (uint64_t n : indexed_sizes) indexed_fewest[n] = fewest(n, probe_sizes, false);
    for (uint64_t n : probe_sizes) probe_fewest[n] = fewest(n, indexed_sizes, true);

    posting_offsets_.assign(static_cast<size_t>(ranks) + 1, 0);
    std::vector<uint64_t> prefix(indexed_count_, 0);
    for (size_t j = 0; j < indexed_count_; ++j) {
        auto bag = indexed_bag(j);
        if (bag.empty()) {
            unfiltered_.push_back(static_cast<uint32_t>(j));
            continue;
        }
        const uint64_t o = indexed_fewest[bag.size()];
        if (o == kUnreachable) continue;  // only probes that pair with every bag reach it
        if (o == 0) {
            unfiltered_.push_back(static_cast<uint32_t>(j));
            continue;
        }
        prefix[j] = bag.size() - o + 1;
        for (size_t k = 0; k < prefix[j]; ++k) ++posting_offsets_[bag[k] + 1];
    }
    for (size_t r = 0; r < ranks; ++r) posting_offsets_[r + 1] += posting_offsets_[r];
    postings_.resize(posting_offsets_[ranks]);
    std::vector<size_t> fill(posting_offsets_.begin(), posting_offsets_.end() - 1);
    for (size_t j = 0; j < indexed_count_; ++j) {
        auto bag = indexed_bag(j);
        for (size_t k = 0; k < prefix[j]; ++k) postings_[fill[bag[k]]++] = static_cast<uint32_t>(j);
    }

    probe_prefix_.resize(probe_count);
    for (size_t i = 0; i < probe_count; ++i) {
        const size_t n = bags.bag(i).size();
        if (n == 0) {
            probe_prefix_[i] = 0;  // pairs with every bag
            continue;
        }
        const uint64_t o = probe_fewest[n];
        probe_prefix_[i] = o == kUnreachable ? kUnreachable : (o == 0 ? 0 : n - o + 1);
    }
}

void TokenPrefixIndex::candidates(size_t probe, std::vector<uint32_t>& out,
                                  ProbeScratch& /*scratch*/) const {
    const auto id = static_cast<uint32_t>(probe);
    const uint64_t prefix = probe_prefix_[probe];
    const size_t every = self_ ? probe : indexed_count_;
    if (prefix == 0) {
        for (size_t j = 0; j < every; ++j) out.push_back(static_cast<uint32_t>(j));
        return;
    }
    append_ids(unfiltered_.data(), unfiltered_.size(), self_, id, out);
    if (prefix == kUnreachable) return;
    auto bag = bags_.bag(probe);
    const uint64_t n = bag.size();
    for (size_t k = 0; k < prefix; ++k) {
        const uint32_t* ids = postings_.data() + posting_offsets_[bag[k]];
        const size_t count = posting_offsets_[bag[k] + 1] - posting_offsets_[bag[k]];
        for (size_t c = 0; c < count; ++c) {
            const uint32_t j = ids[c];
            if (self_ && j >= id) break;
            const uint64_t m = indexed_bag(j).size();
            if (needed(n, m) <= std::min(n, m)) out.push_back(j);
        }
    }
}

}  // namespace qx::join
