#include "token_ratios.hpp"

#include <algorithm>
#include <limits>

#include "token_scores.hpp"
#include "token_set.hpp"

namespace qx {

namespace {

// The sorted words of both texts and the partition of their distinct words. The word sets are
// taken from the sorted lists by one merge walk, which leaves the rests sorted for joining.
template <CodeUnit A, CodeUnit B>
struct SplitPair {
    WordList<A> t1;  // sorted, duplicates kept
    WordList<B> t2;
    WordPartition<A, B> part;

    bool repeats() const {
        return t1.size() != part.shared.size() + part.first_only.size() ||
               t2.size() != part.shared.size() + part.second_only.size();
    }
};

// The checks that decide the token set ratio (and the token ratio) before any text is built.
// Returns true with `result` set when the score is decided; they ignore the cutoff. The first
// text's words come from `sorted1` when it is given (a prepared query).
template <CodeUnit A, CodeUnit B>
bool decided_by_words(std::span<const A> s1, std::span<const B> s2, SplitPair<A, B>& w,
                      double& result, const SortedWords* sorted1 = nullptr) {
    if (same_text(Text(s1), Text(s2))) {
        result = 100.0;
        return true;
    }
    if (s1.empty() || s2.empty()) {
        result = s1.empty() && s2.empty() ? 100.0 : 0.0;
        return true;
    }
    if (sorted1)
        sorted1->load(w.t1);
    else
        split_words(s1, w.t1);
    split_words(s2, w.t2);
    if (w.t1.empty() || w.t2.empty()) {
        result = w.t1.empty() && w.t2.empty() ? 100.0 : 0.0;
        return true;
    }
    if (!sorted1) sort_words(w.t1);
    sort_words(w.t2);
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
    size_t first_len = 0;   // length of the joined first rest
    size_t second_len = 0;  // length of the joined second rest
    size_t shared_len = 0;  // length the joined shared words would have
    size_t total = 0;       // with_first_len + with_second_len
    double first_score = 0.0;
    double second_score = 0.0;

    template <CodeUnit A, CodeUnit B>
    explicit SetPart(const WordPartition<A, B>& part) {
        first_len = joined_length(part.first_only);
        second_len = joined_length(part.second_only);
        shared_len = joined_length(part.shared);
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

// LCS of two word lists joined by single spaces.
template <CodeUnit A, CodeUnit B>
uint64_t joined_lcs(const WordList<A>& a, const WordList<B>& b) {
    JoinBuffer<A> ba;
    JoinBuffer<B> bb;
    return lcs_length(join_words(a, ba), join_words(b, bb));
}

template <CodeUnit A, CodeUnit B>
double token_set_core(std::span<const A> s1, std::span<const B> s2, FloatCutoff cutoff) {
    SplitPair<A, B> w;
    double decided;
    if (decided_by_words(s1, s2, w, decided)) return decided;
    const double c = cutoff ? *cutoff : 0.0;
    const SetPart set(w.part);
    const bool has_shared = set.shared_len > 0;
    const double first = set.first_score < c ? 0.0 : set.first_score;
    const double second = set.second_score < c ? 0.0 : set.second_score;
    const double others = has_shared ? std::max(first, second) : 0.0;
    // The rest is compared only when its length bound can reach the cutoff and beat the scores
    // of the shared words; otherwise it cannot change the result.
    double rest = 0.0;
    const double bound = set.rest_bound();
    if (!(bound < c) && !(has_shared && bound <= others)) {
        rest = set.rest_score(joined_lcs(w.part.first_only, w.part.second_only));
        if (rest < c) rest = 0.0;
    }
    if (!has_shared) return rest;
    return std::max(rest, others);
}

template <CodeUnit A, CodeUnit B>
double token_ratio_core(std::span<const A> s1, std::span<const B> s2, FloatCutoff cutoff,
                        const SortedWords* sorted1 = nullptr) {
    SplitPair<A, B> w;
    double decided;
    if (decided_by_words(s1, s2, w, decided, sorted1)) return decided;

    // Sort part: the sorted word lists, duplicates kept.
    const size_t l1 = joined_length(w.t1), l2 = joined_length(w.t2);
    const double sort_bound = string_ratio(std::min(l1, l2), l1, l2);

    // Set part without a cutoff: scores are only kept from going negative.
    const SetPart set(w.part);
    const bool has_shared = set.shared_len > 0;
    double best = 0.0;
    if (has_shared)
        best = std::max(std::max(set.first_score, 0.0), std::max(set.second_score, 0.0));
    const double rest_bound = set.rest_bound();

    // The result is the largest of all parts, then cut. A part whose bound is below the cutoff
    // or not above the best so far cannot change it, so its LCS is skipped.
    const double floor = cutoff ? *cutoff : -std::numeric_limits<double>::infinity();
    auto worth = [&](double bound) { return !(bound < floor) && bound > best; };
    auto sort_score = [&] { return string_ratio(joined_lcs(w.t1, w.t2), l1, l2); };
    auto rest_score = [&] {
        return std::max(set.rest_score(joined_lcs(w.part.first_only, w.part.second_only)), 0.0);
    };

    // Without shared words and without repeated words the rests are the sorted lists
    // themselves, so one LCS serves both parts.
    if (!has_shared && !w.repeats()) {
        if (worth(sort_bound) || worth(rest_bound)) {
            const uint64_t lcs = joined_lcs(w.t1, w.t2);
            best = std::max(best, string_ratio(lcs, l1, l2));
            best = std::max(best, std::max(set.rest_score(lcs), 0.0));
        }
    } else if (sort_bound >= rest_bound) {
        if (worth(sort_bound)) best = std::max(best, sort_score());
        if (worth(rest_bound)) best = std::max(best, rest_score());
    } else {
        if (worth(rest_bound)) best = std::max(best, rest_score());
        if (worth(sort_bound)) best = std::max(best, sort_score());
    }
    return cut_similarity(best, cutoff);
}

}  // namespace

TokenSortQuery::TokenSortQuery(Text query) : query_(query) {
    visit(query, [&]<CodeUnit T>(std::span<const T> units) {
        WordList<T> words;
        split_words(units, words);
        sort_words(words);
        if (words.empty() || joined_in_place(words)) {
            JoinBuffer<T> unused;
            joined_ = join_words(words, unused);  // a view of the query
            return;
        }
        const size_t length = joined_length(words);
        store_.resize((length * sizeof(T) + 3) / 4);
        write_joined(words, reinterpret_cast<T*>(store_.data()));
        joined_ = Text(store_.data(), length, sizeof(T));
    });
}

double TokenSortQuery::score(Text choice, FloatCutoff cutoff) const {
    if (same_text(query_, choice)) return 100.0;
    return visit(choice, [&]<CodeUnit T>(std::span<const T> units) {
        WordList<T> words;
        split_words(units, words);
        sort_words(words);
        JoinBuffer<T> buffer;
        const Text joined = join_words(words, buffer);
        // Words hold no white space, so equal joins mean equal sorted lists.
        if (same_text(joined_, joined)) return 100.0;
        const size_t l1 = joined_.length, l2 = joined.length;
        if ((l1 == 0) != (l2 == 0)) return 0.0;
        // The score cannot exceed the ratio of a full-length LCS; skip the LCS when that misses.
        if (cutoff && string_ratio(std::min(l1, l2), l1, l2) < *cutoff) return 0.0;
        return cut_similarity(string_ratio(lcs_length(joined_, joined), l1, l2), cutoff);
    });
}

double token_sort_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    if (same_text(s1, s2)) return 100.0;
    return TokenSortQuery(s1).score(s2, cutoff);
}

double token_set_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    return visit(s1, s2, [&](auto a, auto b) { return token_set_core(a, b, cutoff); });
}

double token_ratio(Text s1, Text s2, FloatCutoff cutoff) {
    return visit(s1, s2, [&](auto a, auto b) { return token_ratio_core(a, b, cutoff); });
}

double token_ratio_sorted(const SortedWords& s1, Text s2, FloatCutoff cutoff) {
    return visit(s1.text(), s2,
                 [&](auto a, auto b) { return token_ratio_core(a, b, cutoff, &s1); });
}

}  // namespace qx
