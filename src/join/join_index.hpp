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
        int64_t limit;
    };

    // limit(probe_length, indexed_length) < 0 rules the pair out.
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

// Every pair whose lengths the measure allows (all lengths for measures without a filter).
class LengthBandSource {
  public:
    LengthBandSource(std::span<const Text> probe, std::span<const Text> indexed, bool self,
                     const Measure& measure);
    void candidates(size_t probe, std::vector<uint32_t>& out, ProbeScratch& scratch) const;

  private:
    std::span<const Text> probe_;
    bool self_;
    LengthPlan plan_;
};

// Partition (segment) filter for a bound on the Levenshtein distance, after Li, Deng, Wang and
// Feng, "Pass-Join" (VLDB 2011). Each indexed text of length n is cut into m = tau + 1 segments
// (tau the largest limit of any pair its length takes part in); a probe looks its substrings up
// at the positions where a segment of a text within the limit can lie.
//
// Why no pair within the limit is missed. Let lev(r, s) = E <= t <= tau for probe r and
// indexed s, and fix an optimal alignment. Charge each edit to one segment of s: an edit
// inside a segment to that segment, an insertion between two segments (or at an end) to the
// segment before it (the first segment for one before the text). Let e_j be the edits charged
// to segment j and h(k) = e_0 + ... + e_k - k. Then h(-1) = 1 and h(m - 1) = E - (m - 1) <= 0,
// so there is a smallest k with h(k) <= 0; as h(k - 1) >= 1, e_0 + ... + e_(k-1) >= k and so
// e_k = 0 and exactly k edits lie before segment k, at most t - k after it (hence k <= t).
// Segment k is then copied unchanged into r, shifted by the insertions minus the deletions
// before it: |shift| <= k; and since the lengths differ by D = |r| - |s|, the edits after it
// change the length by D - shift: |D - shift| <= t - k. The probe therefore looks segment k up
// at its start plus every shift in [max(-k, D - (t - k)), min(k, D + (t - k))], for k <= t.
// An indel distance bound is a Levenshtein bound (a substitution is an insertion and a
// deletion), and so is twice an OSA or Damerau-Levenshtein bound (a transposition is two
// substitutions); join_measures.cpp converts every measure's cutoff to such a limit.
class EditPartitionIndex {
  public:
    EditPartitionIndex(std::span<const Text> probe, std::span<const Text> indexed, bool self,
                       const Measure& measure);
    void candidates(size_t probe, std::vector<uint32_t>& out, ProbeScratch& scratch) const;

  private:
    struct Layout {
        bool unfiltered;   // more segments than symbols: every text of the group is a candidate
        uint32_t segments;
    };
    struct Slot {
        uint64_t key;  // 0: free
        uint32_t begin;
        uint32_t count;
    };
    static uint64_t segment_key(size_t length, size_t segment, uint64_t hash);
    const Slot* find(uint64_t key) const;

    std::span<const Text> probe_;
    bool self_;
    LengthPlan plan_;
    std::vector<Layout> layouts_;  // per group
    std::vector<Slot> table_;
    std::vector<uint32_t> postings_;
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
