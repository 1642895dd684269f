// Counting the tokens (words or character n-grams) of texts in one pass: split, hash and merge,
// without copying or allocating per token. Tokens are spans of the caller's text; equal tokens
// are counted together whatever the widths of their texts. No Python here.
//
// Two texts of the same width hash their tokens' bytes; a pair of different widths hashes code
// points (hash_code_points), so that a token of one text finds its equal in the other. Tables
// use the process-wide seeded hash and never let a result depend on their order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

#include "fuzz/words.hpp"
#include "hashing.hpp"
#include "interrupt.hpp"
#include "small_vector.hpp"
#include "text.hpp"

namespace qx {

// Hash of a token under the rule of a pair of texts: bytes when both texts share a width,
// code points (`kCanonical`) when they do not.
template <bool kCanonical, CodeUnit T>
inline uint64_t token_hash(std::span<const T> token) {
    if constexpr (kCanonical)
        return hash_code_points(token.data(), token.size());
    else
        return hash_bytes(std::string_view(reinterpret_cast<const char*>(token.data()),
                                           token.size() * sizeof(T)));
}

// Count map of the tokens of one text, entries in order of first occurrence. Up to 16 distinct
// tokens live inline; the index grows by doubling at half load.
template <CodeUnit T, bool kCanonical = false>
class TokenCounts {
  public:
    struct Entry {
        std::span<const T> token;
        uint64_t hash;
        uint64_t count;
    };

    // Adds one occurrence of `token`.
    void add(std::span<const T> token) {
        const uint64_t h = token_hash<kCanonical>(token);
        if (Entry* e = find(token, h)) {
            ++e->count;
        } else {
            insert_new(token, h);
        }
        ++total_;
    }

    // The entry of a token equal to `token` (of any width) whose hash under this map's rule is
    // h, or nullptr.
    template <CodeUnit S>
    Entry* find(std::span<const S> token, uint64_t h) {
        const size_t mask = slots_.size() - 1;
        for (size_t i = static_cast<size_t>(h) & mask;; i = (i + 1) & mask) {
            const uint32_t s = slots_[i];
            if (s == 0) return nullptr;
            Entry& e = entries_[s - 1];
            if (e.hash == h && word_equal(e.token, token)) return &e;
        }
    }

    // Sum of all counts: the number of tokens added.
    uint64_t total() const { return total_; }
    // Number of distinct tokens.
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    // Distinct tokens in order of first occurrence.
    const Entry* begin() const { return entries_.begin(); }
    const Entry* end() const { return entries_.end(); }

  private:
    static constexpr size_t kMinSlots = 32;

    void insert_new(std::span<const T> token, uint64_t h) {
        // Entry indices are 32-bit: a text would need more than 8 GiB to hold 2^32 tokens.
        if (entries_.size() >= UINT32_MAX - 1) throw std::bad_alloc();
        entries_.push_back(Entry{token, h, 1});
        if (2 * entries_.size() > slots_.size()) {
            rebuild(slots_.size() * 2);
        } else {
            place(entries_.size() - 1);
        }
    }

    void rebuild(size_t slot_count) {
        slots_.clear();
        slots_.resize(slot_count);
        for (size_t i = 0; i < entries_.size(); ++i) place(i);
    }

    void place(size_t index) {
        const size_t mask = slots_.size() - 1;
        size_t i = static_cast<size_t>(entries_[index].hash) & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = static_cast<uint32_t>(index + 1);
    }

    struct Slots : SmallVector<uint32_t, kMinSlots> {
        Slots() { resize(kMinSlots); }
    };

    SmallVector<Entry, 16> entries_;
    Slots slots_;  // entry index + 1, 0 for a free slot
    uint64_t total_ = 0;
};

// What the overlap measures need from the token bags of two texts.
struct BagOverlap {
    uint64_t n1 = 0;      // tokens of the first text
    uint64_t n2 = 0;      // tokens of the second text
    uint64_t shared = 0;  // multiset intersection: sum of min(count1, count2) over the tokens
};

// Counts the first bag, then streams the second: each of its tokens takes one of the first
// bag's remaining occurrences, if any is left, which sums min(count1, count2).
template <CodeUnit A, CodeUnit B, class EachA, class EachB>
BagOverlap bag_overlap(EachA&& each_token_of_first, EachB&& each_token_of_second) {
    constexpr bool kCanonical = !std::is_same_v<A, B>;
    TokenCounts<A, kCanonical> counts;
    each_token_of_first([&counts](std::span<const A> t) { counts.add(t); });
    BagOverlap r;
    r.n1 = counts.total();
    each_token_of_second([&](std::span<const B> t) {
        ++r.n2;
        if (r.n1 == 0) return;
        auto* e = counts.find(t, token_hash<kCanonical>(t));
        if (e && e->count) {
            --e->count;
            ++r.shared;
        }
    });
    return r;
}

// The word bags of two texts.
template <CodeUnit A, CodeUnit B>
BagOverlap word_overlap(std::span<const A> s1, std::span<const B> s2) {
    return bag_overlap<A, B>([s1](auto&& f) { for_each_word(s1, f); },
                             [s2](auto&& f) { for_each_word(s2, f); });
}

}  // namespace qx
