// Levenshtein's four forms with the query prepared once: the query's symbol masks are built a
// single time and every choice is streamed through one 64-bit word (Myers' recurrence, Hyyrö's
// formulation), stopping as soon as the cutoff is out of reach. Each form's value, cutoff
// mapping included, is the scalar function's. For queries of 1 to 64 symbols. No Python here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "lane_rows.hpp"

namespace qx::search {

class PreparedLevenshtein {
  public:
    static constexpr size_t kMaxQuery = 64;

    // nullopt when the query does not fit one word (empty or longer than 64 symbols).
    static std::optional<PreparedLevenshtein> make(Text query, EditForm form);

    // The scalar function's value of (query, choice) under `cutoff`. Not for concurrent use:
    // the distance bounds of the last cutoff are kept per longer length.
    double score(Text choice, const Cutoff& cutoff) const;

  private:
    PreparedLevenshtein(Text query, EditForm form);
    // The distance when it is at most `max`, else any value above `max`.
    uint64_t distance(Text choice, uint64_t max) const;
    uint64_t mask(uint32_t symbol) const {
        if (symbol < 256) return low_[symbol];
        size_t slot = (symbol * 0x9E3779B1u) >> 25;  // 128 slots
        while (keys_[slot] != kFree) {
            if (keys_[slot] == symbol) return wide_[slot];
            slot = (slot + 1) & 127;
        }
        return 0;
    }

    // The largest kept distance of a normalized form for texts of longer length `longest`
    // (kNoLimit: any; kNone: not even 0), remembered for the last float cutoff.
    template <class Keeps>
    uint64_t bound(uint64_t longest, double cutoff, Keeps keeps) const;

    static constexpr uint32_t kFree = 0xFFFFFFFFu;  // no code point
    static constexpr size_t kCachedLengths = 256;
    mutable double cached_cutoff_ = 0.0;
    mutable bool cache_valid_ = false;
    mutable std::array<uint64_t, kCachedLengths> bounds_{};
    mutable std::array<uint8_t, kCachedLengths> known_{};
    size_t length_;
    EditForm form_;
    std::array<uint64_t, 256> low_{};
    std::array<uint32_t, 128> keys_;
    std::array<uint64_t, 128> wide_{};
};

}  // namespace qx::search
