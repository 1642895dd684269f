// Count maps of tokens (words or character n-grams) held as views into the caller's text.
// Entries keep the order of each token's first occurrence. A handful of distinct tokens
// is found by a linear scan; past that an open-addressing index over the process-wide seeded
// hasher takes over. Up to 16 distinct tokens live inline, without a heap allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "hashing.hpp"
#include "small_vector.hpp"

namespace qx {

class TokenCounts {
  public:
    struct Entry {
        std::string_view token;
        uint64_t count;
        uint64_t hash;  // filled once the index exists
    };

    // Adds one occurrence of `token`.
    void add(std::string_view token) {
        size_t i = index_of(token);
        if (i != kAbsent) {
            ++entries_[i].count;
        } else {
            insert_new(token);
        }
        ++total_;
    }

    // Count of `token`, 0 when absent.
    uint64_t count_of(std::string_view token) const {
        size_t i = index_of(token);
        return i != kAbsent ? entries_[i].count : 0;
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
    static constexpr size_t kLinearLimit = 8;  // distinct tokens scanned without an index
    static constexpr size_t kMinSlots = 32;

    static bool same(std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
    }

    static constexpr size_t kAbsent = ~size_t{0};

    size_t index_of(std::string_view token) const {
        if (slots_.empty()) {
            for (size_t i = 0; i < entries_.size(); ++i)
                if (same(entries_[i].token, token)) return i;
            return kAbsent;
        }
        uint64_t h = hash_bytes(token);
        size_t mask = slots_.size() - 1;
        for (size_t i = static_cast<size_t>(h) & mask;; i = (i + 1) & mask) {
            size_t s = slots_[i];
            if (s == 0) return kAbsent;
            const Entry& e = entries_[s - 1];
            if (e.hash == h && same(e.token, token)) return s - 1;
        }
    }

    void insert_new(std::string_view token) {
        entries_.push_back(Entry{token, 1, 0});
        size_t n = entries_.size();
        if (slots_.empty()) {
            if (n <= kLinearLimit) return;
            for (Entry& e : entries_) e.hash = hash_bytes(e.token);
            rebuild(kMinSlots);
            return;
        }
        Entry& e = entries_[n - 1];
        e.hash = hash_bytes(token);
        if (2 * n > slots_.size()) {
            rebuild(slots_.size() * 2);
        } else {
            place(n - 1);
        }
    }

    void rebuild(size_t slot_count) {
        slots_.clear();
        slots_.resize(slot_count);
        for (size_t i = 0; i < entries_.size(); ++i) place(i);
    }

    void place(size_t index) {
        size_t mask = slots_.size() - 1;
        size_t i = static_cast<size_t>(entries_[index].hash) & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = index + 1;
    }

    SmallVector<Entry, 16> entries_;
    SmallVector<size_t, kMinSlots> slots_;  // entry index + 1, 0 for a free slot
    uint64_t total_ = 0;
};

}  // namespace qx
