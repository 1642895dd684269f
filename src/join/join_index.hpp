// Candidate sources of the similarity join: for one probe text, the ids of the indexed texts
// that may pair with it. Each source only removes pairs it proves cannot meet the cutoff; the
// join's driver scores every candidate with the measure's kernel. In a self-join (the probe
// side is the indexed side) each unordered pair is proposed from one of its two texts only.
// No Python here.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "../text.hpp"
#include "join_measures.hpp"
#include "join_tokens.hpp"

namespace qx::join {

// Per-thread scratch of a probe.
struct ProbeScratch {
    std::vector<uint64_t> prefix_hash;  // polynomial hashes of the probe's prefixes
    std::vector<uint64_t> powers;
    // Keys of one probe, looked up together: their memory is fetched ahead of the lookups.
    struct Lookup {
        uint64_t key;
        uint32_t partner;  // index into the probe length's partners
    };
    std::vector<Lookup> lookups;
};

// The indexed texts grouped by length, and for each probe length the groups it may pair with
// and the Levenshtein limit of such pairs (0 for length-only and unfiltered measures).
class LengthPlan {
  public:
    struct Group {
        size_t length;
        size_t begin, end;  // range of ids() with this length, ids ascending
    };
    struct Partner {
        uint32_t group;
        int64_t limit;   // Levenshtein limit (0 for the length-only sources)
        int64_t counts;  // EditLimits::counts
        bool summed;
    };

    // limit(probe_length, indexed_length) gives EditLimits; levenshtein < 0 rules the pair out.
    template <class Limit>
    LengthPlan(std::span<const Text> probe, std::span<const Text> indexed, bool self, Limit limit);

    const std::vector<Group>& groups() const { return groups_; }
    const std::vector<uint32_t>& ids() const { return ids_; }
    std::span<const Partner> partners(size_t probe_length) const;

  private:
    std::vector<Group> groups_;
    std::vector<uint32_t> ids_;
    std::unordered_map<size_t, std::pair<size_t, size_t>> by_probe_length_;
    std::vector<Partner> partners_;
};

// Appends `ids[begin, end)` (ascending) to `out`, in a self-join only those below `probe`.
void append_ids(const uint32_t* ids, size_t count, bool same_side, uint32_t probe,
                std::vector<uint32_t>& out);

// Symbol counts of a text in 32 buckets (code point mod 32), four bits each saturating at 15,
// two buckets per byte. Merging symbols into buckets and saturating both only lower the
// excesses P and N of two texts, so the bounds of EditLimits hold for the bucket counts too.
struct SymbolCounts {
    uint8_t packed[16];  // bucket k in the low nibble of byte k, bucket k + 16 in the high one
};
SymbolCounts count_symbols_of(Text t);
// False when the counts rule out a distance within `limit`: max(P, N) > limit, or P + N > limit
// when `summed`.
bool counts_allow(const SymbolCounts& a, const SymbolCounts& b, int64_t limit, bool summed);
// The same, one bucket at a time (the reference of the vector form).
bool counts_allow_reference(const SymbolCounts& a, const SymbolCounts& b, int64_t limit,
                            bool summed);

// Upper bound of the size of the multiset intersection of the symbols of two texts, from their
// bucket counts: a bucket below 15 holds its exact count, and merging symbols into a bucket
// only raises the sum of the minima. `shorter` when both buckets of some kind are saturated.
size_t common_symbols_bound(const SymbolCounts& a, const SymbolCounts& b, size_t shorter);

// Every pair whose lengths the measure allows (all lengths for measures without a filter); for
// Jaro and Jaro-Winkler also the symbols two texts have in common bound the score.
class LengthBandSource {
  public:
    LengthBandSource(std::span<const Text> probe, std::span<const Text> indexed, bool self,
                     const Measure& measure);
    void candidates(size_t probe, std::vector<uint32_t>& out, ProbeScratch& scratch) const;

  private:
    std::span<const Text> probe_;
    std::span<const Text> indexed_;
    bool self_;
    const Measure& measure_;
    bool by_counts_;
    LengthPlan plan_;
    std::vector<SymbolCounts> counts_;  // per indexed id, when by_counts_
};

// Partition (segment) filter for a bound on the Levenshtein distance, after Li, Deng, Wang and
// Feng, "Pass-Join" (VLDB 2011), with its multi-match-aware choice of positions. Each indexed
// text of length n is cut into m segments, the first m - n % m of them n / m symbols long and
// the others one longer; tau is the largest limit of any pair its length takes part in.
//
// Fix a probe r, an indexed s with lev(r, s) = E <= t <= tau, D = |r| - |s|, and an optimal
// alignment. Charge each edit to one segment of s: an edit inside a segment to it, an insertion
// between two segments to the one before it (before the first segment: to the first). At most
// E segments are charged, and a segment that is not is copied into r unchanged, shifted by the
// insertions minus the deletions before it.
//
// Single mode, m = tau + 1. Let e_j be the edits charged to segment j and h(k) = e_0 + ... +
// e_k - k. Then h(-1) = 1 and h(m - 1) = E - (m - 1) <= 0, so there is a smallest k with
// h(k) <= 0; as h(k - 1) >= 1, e_k = 0 and exactly k edits lie before segment k and at most
// t - k after it (hence k <= t). Its shift obeys |shift| <= k and |D - shift| <= t - k.
//
// Pair mode, m = tau + 2 (looked up two segments at once, far more selective). At least two
// segments are uncharged; let k1 < k2 be the first two, shifted by s1 and s2. Every segment
// before k1 and between k1 and k2 carries an edit, so the edits before k1 (E_b), between the
// two (E_m) and after k2 (E_a) satisfy E_b >= max(|s1|, k1), E_m >= max(|s2 - s1|, k2 - k1 - 1),
// E_a >= |D - s2| and E_b + E_m + E_a <= t. The probe looks up every (k1, k2, s1, s2) that
// satisfies these bounds.
//
// An indel distance bound is a Levenshtein bound (a substitution is an insertion and a
// deletion), and so is twice an OSA or Damerau-Levenshtein bound (a transposition is two
// substitutions); join_measures.cpp converts every measure's cutoff to such a limit. Before a
// candidate is proposed its symbol counts are checked against the measure's count bound.
class EditPartitionIndex {
  public:
    EditPartitionIndex(std::span<const Text> probe, std::span<const Text> indexed, bool self,
                       const Measure& measure);
    void candidates(size_t probe, std::vector<uint32_t>& out, ProbeScratch& scratch) const;

  private:
    enum class Mode : uint8_t { Unused, Unfiltered, Single, Pairs };
    struct Layout {
        Mode mode = Mode::Unused;
        uint32_t segments = 0;
    };
    struct Slot {
        uint64_t key;  // 0: free
        uint32_t begin;
        uint32_t count;
    };
    static uint64_t segment_key(size_t length, size_t segment, uint64_t hash);
    static uint64_t pair_key(uint64_t first, uint64_t second);
    bool maybe_present(uint64_t key) const {
        const uint64_t bit = key >> 40;
        return (present_[(bit >> 6) & present_mask_] >> (bit & 63)) & 1;
    }
    const uint64_t* present_word(uint64_t key) const {
        return &present_[((key >> 40) >> 6) & present_mask_];
    }
    const Slot* find(uint64_t key) const;
    // Proposes ids[k] when its counts (counts[k], or by id when counts is null) allow it.
    void propose(const uint32_t* ids, const SymbolCounts* counts, size_t count, bool same_side,
                 uint32_t probe, const SymbolCounts& probe_counts,
                 const LengthPlan::Partner& partner, std::vector<uint32_t>& out) const;

    std::span<const Text> probe_;
    bool self_;
    LengthPlan plan_;
    std::vector<Layout> layouts_;  // per group
    std::vector<Slot> table_;
    std::vector<uint64_t> present_;  // bit (key >> 40) mod its size: some key may be in the table
    size_t present_mask_ = 0;
    // The ids under each key and their symbol counts, side by side: a lookup reads both in order.
    std::vector<uint32_t> postings_;
    std::vector<SymbolCounts> posting_counts_;
    std::vector<SymbolCounts> counts_;  // per indexed id, for unfiltered groups
};

// Prefix filter over token bags (Chaudhuri, Ganti and Kaushik 2006; Bayardo, Ma and Srikant
// 2007). Two bags that share at least o elements share one among the first |x| - o + 1
// elements of x and the first |y| - o + 1 of y, all bags being sorted in one global order:
// otherwise the o shared elements would all come after both prefixes, leaving x at most
// |x| - (|x| - o + 1) = o - 1 places for them. Each bag's prefix is taken for the fewest
// shared elements any partner size needs (Measure::min_overlap), which only lengthens it. Bags
// that need no shared element, and empty bags (whose scores are special cases), pair with
// every bag.
class TokenPrefixIndex {
  public:
    // bags: the probe side's bags first, then (unless self) the indexed side's.
    TokenPrefixIndex(const TokenBags& bags, size_t probe_count, bool self, const Measure& measure);
    void candidates(size_t probe, std::vector<uint32_t>& out, ProbeScratch& scratch) const;

  private:
    uint64_t needed(uint64_t n1, uint64_t n2) const;
    std::span<const uint32_t> indexed_bag(size_t j) const { return bags_.bag(offset_ + j); }

    const TokenBags& bags_;
    const Measure& measure_;
    size_t offset_;  // bag index of indexed id 0
    size_t indexed_count_;
    bool self_;
    uint64_t small_limit_ = 0;              // sizes below this are tabulated
    std::vector<uint32_t> table_;           // needed(n1, n2) for small sizes
    std::vector<uint64_t> probe_prefix_;    // per probe: prefix length, 0 = pairs with all
    std::vector<uint32_t> unfiltered_;      // indexed ids that pair with every probe
    std::vector<size_t> posting_offsets_;   // per rank
    std::vector<uint32_t> postings_;
};

}  // namespace qx::join
