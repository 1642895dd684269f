#include "pattern_pack.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "../hashing.hpp"

namespace qx::simd {

namespace {

constexpr size_t index_of(LaneWidth w) {
    return static_cast<size_t>(w);
}

// Assigns lane k of a row of `bits`-bit lanes (little-endian lanes).
void set_lane(Row& row, size_t k, size_t bits, uint64_t v) {
    std::memcpy(row.bytes + k * bits / 8, &v, bits / 8);
}

void set_bit(Row& row, size_t k, size_t bits, size_t i) {
    const size_t bit = k * bits + i;
    row.bytes[bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
}

constexpr uint64_t low_bits(size_t k) {
    return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1;
}

// Calls f(k, lane k as uint64_t) for the first `count` lanes of `row`; each width reads its lanes
// with loads of its own size (one switch per row instead of a sized copy per lane).
template <class F>
void for_each_lane(const Row& row, LaneWidth width, size_t count, F&& f) {
    auto each = [&]<class L>(L) {
        for (size_t k = 0; k < count; ++k) {
            L v;
            std::memcpy(&v, row.bytes + k * sizeof(L), sizeof(L));
            f(k, static_cast<uint64_t>(v));
        }
    };
    switch (width) {
        case LaneWidth::bits8: each(uint8_t{}); break;
        case LaneWidth::bits16: each(uint16_t{}); break;
        case LaneWidth::bits32: each(uint32_t{}); break;
        default: each(uint64_t{}); break;
    }
}

// A buffer of T on the stack for up to N elements, on the heap beyond.
template <class T, size_t N>
class Scratch {
  public:
    explicit Scratch(size_t n) {
        if (n > N) heap_.reset(new T[n]);  // std::bad_alloc when memory runs out
    }
    T* data() { return heap_ ? heap_.get() : local_; }

  private:
    T local_[N];
    std::unique_ptr<T[]> heap_;
};

using TextIds = Scratch<RowId, 512>;

}  // namespace

PatternPack::PatternPack(LaneWidth width, std::span<const Units> patterns, PackOptions options)
    : width_(width), count_(patterns.size()) {
    const size_t bits = lane_bits(width);
    if (patterns.size() > pack_capacity(width))
        throw std::invalid_argument("too many patterns for one pack");
    for (const Units& p : patterns) {
        if (p.size > bits) throw std::invalid_argument("pattern longer than its lane");
        if (p.width != 1 && p.width != 2 && p.width != 4)
            throw std::invalid_argument("code units of 1, 2 or 4 bytes expected");
    }

    // The page above U+00FF with the most pattern symbols gets the second direct table.
    std::vector<std::pair<uint32_t, size_t>> pages;
    size_t wide = 0;
    for (const Units& p : patterns) {
        for (size_t i = 0; i < p.size; ++i) {
            const uint32_t v = p[i];
            if (v < 256) continue;
            ++wide;
            auto it = std::find_if(pages.begin(), pages.end(),
                                   [&](const auto& e) { return e.first == v >> 8; });
            if (it == pages.end())
                pages.emplace_back(v >> 8, 1);
            else
                ++it->second;
        }
    }
    if (!pages.empty()) {
        auto best = std::max_element(pages.begin(), pages.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        });
        page_ = best->first;
        wide -= best->second;
    }
    if (wide) {
        const size_t slots = std::bit_ceil(std::max<size_t>(16, 2 * wide));
        wide_keys_.assign(slots, 0);
        wide_ids_.assign(slots, 0);
        slot_mask_ = slots - 1;
        hash_mask_ = options.colliding_hash ? 0 : slot_mask_;
    }

    rows_.reserve(1 + kMaxLanes * 8);
    rows_.push_back(Row{});
    for (size_t k = 0; k < patterns.size(); ++k) {
        const Units& p = patterns[k];
        lengths_[k] = static_cast<uint8_t>(p.size);
        for (size_t i = 0; i < p.size; ++i) {
            const uint32_t v = p[i];
            if (i < kHeadLength) heads_[k][i] = v;
            set_bit(rows_[add_symbol(v)], k, bits, i);
        }
        if (p.size) set_lane(last_, k, bits, uint64_t{1} << (p.size - 1));
    }
}

RowId PatternPack::add_symbol(uint32_t v) {
    RowId* id;
    if (v < 256) {
        id = &low_ids_[v];
    } else if (v >> 8 == page_) {
        id = &page_ids_[v & 255];
    } else {
        size_t slot = hash_symbol(v) & hash_mask_;
        while (wide_ids_[slot] && wide_keys_[slot] != v) slot = (slot + 1) & slot_mask_;
        wide_keys_[slot] = v;
        id = &wide_ids_[slot];
    }
    if (!*id) {
        *id = static_cast<RowId>(rows_.size());
        rows_.push_back(Row{});
    }
    return *id;
}

RowId PatternPack::wide_id(uint32_t v) const {
    if (!slot_mask_) return 0;
    size_t slot = hash_symbol(v) & hash_mask_;
    while (wide_ids_[slot]) {
        if (wide_keys_[slot] == v) return wide_ids_[slot];
        slot = (slot + 1) & slot_mask_;
    }
    return 0;
}

template <class Unit>
void PatternPack::map_units(const Unit* text, size_t n, RowId* ids) const {
    for (size_t j = 0; j < n; ++j) {
        const uint32_t v = text[j];
        if constexpr (sizeof(Unit) == 1) {
            ids[j] = low_ids_[v];
        } else {
            if (v < 256)
                ids[j] = low_ids_[v];
            else if (v >> 8 == page_)
                ids[j] = page_ids_[v & 255];
            else
                ids[j] = wide_id(v);
        }
    }
}

void PatternPack::map_text(Units text, RowId* ids) const {
    if (text.width == 1)
        map_units(static_cast<const uint8_t*>(text.data), text.size, ids);
    else if (text.width == 2)
        map_units(static_cast<const uint16_t*>(text.data), text.size, ids);
    else
        map_units(static_cast<const uint32_t*>(text.data), text.size, ids);
}

void lcs_lengths(const PatternPack& pack, Units text, uint64_t* out, const LaneKernels& kernels) {
    TextIds ids(text.size);
    pack.map_text(text, ids.data());
    Row state;
    std::memset(state.bytes, 0xFF, sizeof state.bytes);
    kernels.lcs[index_of(pack.width_)](pack.rows_.data(), ids.data(), text.size, state);
    for_each_lane(state, pack.width_, pack.count_, [&](size_t k, uint64_t unmatched) {
        out[k] = static_cast<uint64_t>(std::popcount(~unmatched & low_bits(pack.lengths_[k])));
    });
}

void levenshtein_distances(const PatternPack& pack, Units text, uint64_t* out,
                           const LaneKernels& kernels) {
    TextIds ids(text.size);
    pack.map_text(text, ids.data());
    int64_t score[PatternPack::kMaxLanes] = {};
    kernels.levenshtein[index_of(pack.width_)](pack.rows_.data(), ids.data(), text.size,
                                               pack.last_, score);
    for (size_t k = 0; k < pack.count_; ++k) {
        const size_t m = pack.lengths_[k];
        out[k] = m == 0 ? text.size : static_cast<uint64_t>(static_cast<int64_t>(m) + score[k]);
    }
}

void jaro_counts(const PatternPack& pack, Units text, JaroCounts* out, const LaneKernels& kernels) {
    const size_t n = text.size;
    auto window_of = [](size_t longer) { return longer < 2 ? 0 : longer / 2 - 1; };

    // The window of each lane; no text position at or beyond m + w can match in a lane. The
    // lanes are written with stores of their own width.
    JaroWindow window{};
    window.base = window_of(n);
    size_t limit = 0;
    auto set_windows = [&]<class L>(L) {
        for (size_t k = 0; k < pack.count_; ++k) {
            const size_t m = pack.lengths_[k];
            if (m == 0) continue;
            const size_t w = window_of(std::max(m, n));
            const L upper = static_cast<L>(low_bits(std::min(w + 1, sizeof(L) * 8)));
            const L extra = static_cast<L>(w - window.base);
            std::memcpy(window.upper.bytes + k * sizeof(L), &upper, sizeof(L));
            std::memcpy(window.extra.bytes + k * sizeof(L), &extra, sizeof(L));
            window.extra_max = std::max(window.extra_max, w - window.base);
            limit = std::max(limit, m + w);
        }
    };
    switch (pack.width_) {
        case LaneWidth::bits8: set_windows(uint8_t{}); break;
        case LaneWidth::bits16: set_windows(uint16_t{}); break;
        case LaneWidth::bits32: set_windows(uint32_t{}); break;
        default: set_windows(uint64_t{}); break;
    }
    limit = std::min(limit, n);

    Units head = text;
    head.size = limit;
    TextIds ids(limit);
    pack.map_text(head, ids.data());
    Scratch<Row, 128> taken(limit);
    Row flags, mismatches;
    kernels.jaro[index_of(pack.width_)](pack.rows_.data(), ids.data(), limit, window,
                                        taken.data(), flags, mismatches);

    for_each_lane(flags, pack.width_, pack.count_, [&](size_t k, uint64_t matched) {
        out[k].matches = static_cast<uint32_t>(std::popcount(matched));
    });
    for_each_lane(mismatches, pack.width_, pack.count_, [&](size_t k, uint64_t differ) {
        out[k].transpositions = static_cast<uint32_t>(differ / 2);
    });
    // The common prefix (at most kHeadLength symbols), against the text's first symbols read once.
    uint32_t first[PatternPack::kHeadLength];
    const size_t text_head = std::min(n, PatternPack::kHeadLength);
    for (size_t p = 0; p < text_head; ++p) first[p] = text[p];
    for (size_t k = 0; k < pack.count_; ++k) {
        const size_t shared = std::min<size_t>(pack.lengths_[k], text_head);
        uint32_t p = 0;
        while (p < shared && pack.heads_[k][p] == first[p]) ++p;
        out[k].prefix = p;
    }
}

}  // namespace qx::simd
