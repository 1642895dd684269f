#include "token_ratios.hpp"

#include <algorithm>
#include <limits>

#include "../lcs_core.hpp"
#include "token_scores.hpp"
#include "token_set.hpp"

namespace qx {

namespace {

// The sorted words of both texts and the partition of their distinct words. The word sets
// are taken from the sorted lists by one merge walk, which gives the same sets as hashing and
// leaves the rests sorted for joining.
struct SplitPair {
    bool ascii1 = false, ascii2 = false;  // characters are bytes
    TokenList t1, t2;                     // sorted, duplicates kept
    TokenPartition part;

    bool repeats() const {
        return t1.size() != part.shared.size() + part.first_only.size() ||
               t2.size() != part.shared.size() + part.second_only.size();
    }
};

// The checks that decide the token set ratio (and the token ratio) before any string is
// built. Returns true with `result` set when the score is decided; they ignore the cutoff.
bool decided_by_words(Utf8 s1, Utf8 s2, SplitPair& w, double& result) {
    if (same_bytes(s1, s2)) {
        result = 100.0;
        return true;
    }
    if (s1.empty() || s2.empty()) {
        result = s1.empty() && s2.empty() ? 100.0 : 0.0;
        return true;
    }
    split_words(s1, w.t1);
    split_words(s2, w.t2);
    w.ascii1 = is_ascii(s1);
    w.ascii2 = is_ascii(s2);
    if (w.t1.empty() || w.t2.empty()) {
        result = w.t1.empty() && w.t2.empty() ? 100.0 : 0.0;
        return true;
    }
    sort_tokens(w.t1);
    sort_tokens(w.t2);
    partition_sorted(w.t1, w.t2, w.part);
    // Both sets are non-empty here, so an empty difference means a shared word: either the
    // sets are equal (both differences empty) or one text's words all occur in the other.
    if (w.part.first_only.empty() || w.part.second_only.empty()) {
        result = 100.0;
        return true;
    }
    return false;
}

// Lengths and the LCS-free scores of the set part: the shared words (never joined), the two
// rests, and the scores of the shared words against the shared words with one rest appended.
struct SetPart {
    size_t first_len = 0;   // characters of the joined first rest
    size_t second_len = 0;  // characters of the joined second rest
    size_t shared_len = 0;  // characters the joined shared words would have
    size_t total = 0;       // with_first_len + with_second_len
    double first_score = 0.0;
    double second_score = 0.0;

    explicit SetPart(const SplitPair& w) {
        first_len = joined_length(w.part.first_only, w.ascii1);
        second_len = joined_length(w.part.second_only, w.ascii2);
        shared_len = joined_length(w.part.shared, w.ascii1);
        size_t with_first = first_len, with_second = second_len;
        if (shared_len > 0) {
            with_first = shared_len + 1 + first_len;
            with_second = shared_len + 1 + second_len;
            first_score = normalized_score(first_len + 1, shared_len + with_first);
            second_score = normalized_score(second_len + 1, shared_len + with_second);
        }
        total = with_first + with_second;
    }

    // The rest score for a given LCS of the two rests.
    double rest_score(uint64_t lcs) const {
        return normalized_score(first_len + second_len - 2 * lcs, total);
    }
    // Highest rest score the lengths allow (the LCS is at most the shorter rest).
    double rest_bound() const { return rest_score(std::min(first_len, second_len)); }
};

// LCS of the joined rests of a partition (sorted by partition_sorted).
uint64_t rest_lcs(const TokenPartition& p) {
    JoinBuffer ba, bb;
    return lcs_length(join_tokens(p.first_only, ba), join_tokens(p.second_only, bb));
}

uint64_t sorted_lcs(const TokenList& t1, const TokenList& t2) {
    JoinBuffer b1, b2;
    return lcs_length(join_tokens(t1, b1), join_tokens(t2, b2));
}

}  // namespace

double token_sort_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    if (same_bytes(s1, s2)) return 100.0;
    TokenList t1, t2;
    split_words(s1, t1);
    split_words(s2, t2);
    sort_tokens(t1);
    sort_tokens(t2);
    if (lists_equal(t1, t2)) return 100.0;
    size_t l1 = joined_length(t1, is_ascii(s1)), l2 = joined_length(t2, is_ascii(s2));
    if ((l1 == 0) != (l2 == 0)) return 0.0;
    // The score cannot exceed the ratio of a full-length LCS; skip the LCS when that misses.
    if (cutoff && string_ratio(std::min(l1, l2), l1, l2) < *cutoff) return 0.0;
    double score = string_ratio(sorted_lcs(t1, t2), l1, l2);
    return cut_similarity(score, cutoff);
}

double token_set_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    SplitPair w;
    double decided;
    if (decided_by_words(s1, s2, w, decided)) return decided;
    double c = cutoff ? *cutoff : 0.0;
    SetPart set(w);
    bool has_shared = set.shared_len > 0;
    double first = set.first_score < c ? 0.0 : set.first_score;
    double second = set.second_score < c ? 0.0 : set.second_score;
    double others = has_shared ? std::max(first, second) : 0.0;
    // The rest is compared only when its length bound can reach the cutoff and beat the
    // scores of the shared words; otherwise it cannot change the result.
    double rest = 0.0;
    double bound = set.rest_bound();
    if (!(bound < c) && !(has_shared && bound <= others)) {
        rest = set.rest_score(rest_lcs(w.part));
        if (rest < c) rest = 0.0;
    }
    if (!has_shared) return rest;
    return std::max(rest, others);
}

double token_ratio(Utf8 s1, Utf8 s2, FloatCutoff cutoff) {
    SplitPair w;
    double decided;
    if (decided_by_words(s1, s2, w, decided)) return decided;

    // Sort part: the sorted word lists, duplicates kept.
    size_t l1 = joined_length(w.t1, w.ascii1), l2 = joined_length(w.t2, w.ascii2);
    double sort_bound = string_ratio(std::min(l1, l2), l1, l2);

    // Set part without a cutoff: scores are only kept from going negative.
    SetPart set(w);
    bool has_shared = set.shared_len > 0;
    double best = 0.0;
    if (has_shared)
        best = std::max(std::max(set.first_score, 0.0), std::max(set.second_score, 0.0));
    double rest_bound = set.rest_bound();

    // The result is the largest of all parts, then cut. A part whose bound is below the cutoff
    // or not above the best so far cannot change it, so its LCS is skipped.
    double floor = cutoff ? *cutoff : -std::numeric_limits<double>::infinity();
    auto worth = [&](double bound) { return !(bound < floor) && bound > best; };

    // Without shared words and without repeated words the rests are the sorted lists
    // themselves, so one LCS serves both parts.
    if (!has_shared && !w.repeats()) {
        if (worth(sort_bound) || worth(rest_bound)) {
            uint64_t lcs = sorted_lcs(w.t1, w.t2);
            best = std::max(best, string_ratio(lcs, l1, l2));
            best = std::max(best, std::max(set.rest_score(lcs), 0.0));
        }
    } else if (sort_bound >= rest_bound) {
        if (worth(sort_bound)) best = std::max(best, string_ratio(sorted_lcs(w.t1, w.t2), l1, l2));
        if (worth(rest_bound))
            best = std::max(best, std::max(set.rest_score(rest_lcs(w.part)), 0.0));
    } else {
        if (worth(rest_bound))
            best = std::max(best, std::max(set.rest_score(rest_lcs(w.part)), 0.0));
        if (worth(sort_bound)) best = std::max(best, string_ratio(sorted_lcs(w.t1, w.t2), l1, l2));
    }
    return cut_similarity(best, cutoff);
}

}  // namespace qx
