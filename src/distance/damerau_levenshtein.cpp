#include "damerau_levenshtein.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <span>
#include <utility>

#include "../hashing.hpp"
#include "../text.hpp"
#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "edit_forms.hpp"

namespace qx {

namespace {

// The last-row maps: the last row i (1-based) in which a symbol occurred as s1[i - 1], 0 when
// it has not occurred yet. The recurrence asks for the row of s2[j - 1] by column j and
// records s1[i - 1] at the end of row i.

// Texts stored in bytes index a plain array.
class ByteLastRow {
  public:
    ByteLastRow(std::span<const uint8_t> s1, std::span<const uint8_t> s2) : s1_(s1), s2_(s2) {}

    uint64_t at_column(size_t j) const { return rows_[s2_[j - 1]]; }
    void record_row(size_t i) { rows_[s1_[i - 1]] = i; }

  private:
    std::span<const uint8_t> s1_, s2_;
    uint64_t rows_[256] = {};
};

// Any other widths: open addressing with linear probing over the process-wide seeded symbol
// hash, in a table sized to the first text, with room for 112 entries inline before the table first doubles. The hashes of s2 are
// taken once per call, so each lookup is one probe sequence without rehashing the key.
template <CodeUnit A, CodeUnit B>
class SymbolLastRow {
  public:
    SymbolLastRow(std::span<const A> s1, std::span<const B> s2) : s1_(s1), s2_(s2) {
        // At most 7/8 full: sized to the distinct symbols s1 may hold, up to the inline room.
        const size_t room = std::bit_ceil(s1.size() + s1.size() / 4 + 2);
        slots_.resize(std::clamp<size_t>(room, 8, kInlineSlots));
        column_hash_.resize(s2.size());
        for (size_t j = 0; j < s2.size(); ++j) column_hash_[j] = hash_symbol(s2[j]);
    }

    uint64_t at_column(size_t j) const { return slots_[find(s2_[j - 1], column_hash_[j - 1])].row; }

    void record_row(size_t i) {
        const uint32_t key = s1_[i - 1];
        const uint64_t hash = hash_symbol(key);
        size_t k = find(key, hash);
        if (slots_[k].row == 0) {
            if (used_ >= slots_.size() / 8 * 7) {
                grow();
                k = find(key, hash);
            }
            slots_[k].key = key;
            ++used_;
        }
        slots_[k].row = i;
    }

  private:
    struct Slot {
        uint64_t row;  // 0 marks an empty slot
        uint32_t key;
    };
    static constexpr size_t kInlineSlots = 128;

    // The slot holding `key`, or the empty slot where it would go.
    size_t find(uint32_t key, uint64_t hash) const {
        const size_t mask = slots_.size() - 1;
        size_t k = static_cast<size_t>(hash) & mask;
        while (slots_[k].row != 0 && slots_[k].key != key) k = (k + 1) & mask;
        return k;
    }

    void grow() {
        const SmallVector<Slot, kInlineSlots> old(slots_);
        const size_t size = slots_.size() * 2;
        slots_.clear();
        slots_.resize(size);
        for (const Slot& s : old)
            if (s.row != 0) slots_[find(s.key, hash_symbol(s.key))] = s;
    }

    std::span<const A> s1_;
    std::span<const B> s2_;
    SmallVector<Slot, kInlineSlots> slots_;
    SmallVector<uint64_t, 126> column_hash_;
    size_t used_ = 0;
};

// Linear-space recurrence for the unrestricted distance (Zhao and Sahni): rows R and R1 hold
// the last two rows of the Lowrance-Wagner table, FR the values saved for transpositions.
// `cells` has room for three rows of len2 + 1 cells. Both texts are non-empty.
template <CodeUnit A, CodeUnit B, class LastRow>
uint64_t dl_recurrence(std::span<const A> s1, std::span<const B> s2, uint64_t* cells,
                       LastRow& last_row) {
    const size_t len1 = s1.size(), len2 = s2.size();
    const uint64_t max_val = std::max(len1, len2) + 1;
    uint64_t* r = cells;
    uint64_t* r1 = cells + (len2 + 1);
    uint64_t* fr = cells + 2 * (len2 + 1);
    for (size_t j = 0; j <= len2; ++j) {
        r[j] = j;
        r1[j] = max_val;
        fr[j] = max_val;
    }

    PollBudget budget;
    for (size_t i = 1; i <= len1; ++i) {
        budget.spend(len2);
        std::swap(r, r1);
        size_t last_col = 0;
        uint64_t last_i2l1 = r[0];
        uint64_t t = max_val;  // row i - 2 at column last_col - 1
        r[0] = i;
        const uint32_t a = s1[i - 1];
        // R[j - 1] and R1[j - 1] travel in registers, off the store-to-load path.
        uint64_t left = i, diag = r1[0];
        for (size_t j = 1; j <= len2; ++j) {
            const uint32_t b = s2[j - 1];
            const uint64_t up = r1[j];
            // The left neighbour is the loop-carried value: take it last to keep the chain short.
            uint64_t temp = std::min(std::min(diag + (a != b), up + 1), left + 1);
            if (a == b) {
                if (j >= 2) fr[j] = r1[j - 2];
                t = last_i2l1;
                last_col = j;
            } else if (last_col != 0) {
                const uint64_t k = last_row.at_column(j);
                if (k != 0) {
                    if (j - last_col == 1)
                        temp = std::min(temp, fr[j] + (i - k));
                    else if (i - k == 1)
                        temp = std::min(temp, t + (j - last_col));
                }
            }
            last_i2l1 = r[j];
            r[j] = temp;
            left = temp;
            diag = up;
        }
        last_row.record_row(i);
    }
    return r[len2];
}

// Rows of the recurrence, kept per thread and reused by later calls. They grow to the longest
// second text met; after an unusually long text they are released so that an idle thread
// does not hold a large buffer.
class RecurrenceRows {
  public:
    RecurrenceRows() = default;
    RecurrenceRows(const RecurrenceRows&) = delete;
    RecurrenceRows& operator=(const RecurrenceRows&) = delete;
    ~RecurrenceRows() { std::free(cells_); }

    uint64_t* acquire(size_t cells) {
        if (cells > capacity_) {
            const size_t fresh = std::max(cells, std::min(capacity_ * 2, kKeepCells));
            std::free(cells_);
            cells_ = nullptr;
            capacity_ = 0;
            if (fresh > SIZE_MAX / sizeof(uint64_t)) throw std::bad_alloc();
            cells_ = static_cast<uint64_t*>(std::malloc(fresh * sizeof(uint64_t)));
            if (!cells_) throw std::bad_alloc();
            capacity_ = fresh;
        }
        return cells_;
    }

    void trim() {
        if (capacity_ > kKeepCells) {
            std::free(cells_);
            cells_ = nullptr;
            capacity_ = 0;
        }
    }

  private:
    static constexpr size_t kKeepCells = size_t{1} << 16;  // 512 KiB
    uint64_t* cells_ = nullptr;
    size_t capacity_ = 0;
};

thread_local RecurrenceRows t_recurrence_rows;

// The common prefix and suffix leave the distance unchanged: they are trimmed, then the
// recurrence runs over the rest.
template <CodeUnit A, CodeUnit B>
uint64_t dl_distance(std::span<const A> a, std::span<const B> b) {
    const Affix f = common_affix(a, b);
    a = a.subspan(f.prefix, a.size() - f.prefix - f.suffix);
    b = b.subspan(f.prefix, b.size() - f.prefix - f.suffix);
    if (a.empty()) return b.size();
    if (b.empty()) return a.size();
    uint64_t* cells = t_recurrence_rows.acquire(3 * (b.size() + 1));
    uint64_t d;
    if constexpr (sizeof(A) == 1 && sizeof(B) == 1) {
        ByteLastRow last_row(a, b);
        d = dl_recurrence(a, b, cells, last_row);
    } else {
        SymbolLastRow<A, B> last_row(a, b);
        d = dl_recurrence(a, b, cells, last_row);
    }
    t_recurrence_rows.trim();
    return d;
}

}  // namespace

uint64_t damerau_levenshtein_plain_distance(Text s1, Text s2) {
    return visit(s1, s2, [](auto a, auto b) -> uint64_t { return dl_distance(a, b); });
}

using Forms = EditDistanceForms<damerau_levenshtein_plain_distance>;

uint64_t damerau_levenshtein_distance(Text s1, Text s2, IntCutoff cutoff) {
    return Forms::distance(s1, s2, cutoff);
}
uint64_t damerau_levenshtein_similarity(Text s1, Text s2, IntCutoff cutoff) {
    return Forms::similarity(s1, s2, cutoff);
}
double damerau_levenshtein_normalized_distance(Text s1, Text s2, FloatCutoff cutoff) {
    return Forms::normalized_distance(s1, s2, cutoff);
}
double damerau_levenshtein_normalized_similarity(Text s1, Text s2, FloatCutoff cutoff) {
    return Forms::normalized_similarity(s1, s2, cutoff);
}

}  // namespace qx
