#include "cosine.hpp"

#include <cmath>
#include <cstdlib>
#include <new>
#include <limits>
#include <type_traits>

#include "../hashing.hpp"
#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "../word_counts.hpp"

namespace qx {

namespace {

// Calls f(window) for each window of n consecutive code points of `text`, or once with the
// whole text when it has fewer than n. n >= 1.
template <CodeUnit T, class F>
void for_each_ngram(std::span<const T> text, uint64_t n, F&& f) {
    if (text.size() < n) {
        f(text);
        return;
    }
    PollBudget budget;
    for (size_t i = 0; i + n <= text.size(); ++i) {
        f(text.subspan(i, n));
        budget.spend(n);
    }
}

// Short n-grams packed into integers: `kBits` bits per code point, so that equal windows of
// the two texts get equal codes (the units' own bits for texts of one width, 21 bits for a pair
// of different widths).
template <CodeUnit A, CodeUnit B>
constexpr unsigned kCodeBits = std::is_same_v<A, B> ? 8 * sizeof(A) : 21;

// Calls f(code) for each window of n code points of `text` (at least n long), n * bits <= 64.
template <unsigned kBits, CodeUnit T, class F>
void for_each_ngram_code(std::span<const T> text, uint64_t n, F&& f) {
    const uint64_t mask = n * kBits == 64 ? ~uint64_t{0} : (uint64_t{1} << (n * kBits)) - 1;
    uint64_t code = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        code = ((code << kBits) | static_cast<uint64_t>(text[i])) & mask;
        if (i + 1 >= n) f(code);
        if ((i & 0xFFFF) == 0xFFFF) poll_interrupt();
    }
}

// Count map of n-gram codes: open addressing under the seeded hash, sized for the codes of
// the first text (at most 4,096 slots at first) and grown by doubling at half load, so that a
// long text of few distinct codes keeps a small table.
class CodeCounts {
  public:
    explicit CodeCounts(size_t codes) {
        size_t slots = kMinSlots;
        while (slots < 2 * codes && slots < kMaxInitialSlots) slots *= 2;
        table_.resize(slots);
    }

    void add(uint64_t code) {
        Slot* s = &slot_of(code);
        if (!s->used) {
            if (2 * (distinct_ + 1) > table_.size()) {
                grow();
                s = &slot_of(code);
            }
            *s = {code, 0, 1};
            ++distinct_;
        }
        ++s->count;
    }

    // Takes one occurrence of `code`; false when none is left.
    bool take(uint64_t code) {
        Slot& s = slot_of(code);
        if (!s.used || s.count == 0) return false;
        --s.count;
        return true;
    }

  private:
    static constexpr size_t kMinSlots = 64;
    static constexpr size_t kMaxInitialSlots = 4096;
    struct Slot {
        uint64_t code;
        uint32_t count;  // a text of 2^32 codes or more takes the view path (cosine_core)
        uint32_t used;
    };

    Slot& slot_of(uint64_t code) {
        const size_t mask = table_.size() - 1;
        size_t i = static_cast<size_t>(hash_mix(code ^ 0xa0761d6478bd642fULL, seed_)) & mask;
        while (table_[i].used && table_[i].code != code) i = (i + 1) & mask;
        return table_[i];
    }

    void grow() {
        SmallVector<Slot, kMinSlots> old = table_;
        table_.clear();
        table_.resize(2 * old.size());
        for (const Slot& s : old)
            if (s.used) slot_of(s.code) = s;
    }

    uint64_t seed_ = hash_seed() ^ 0xe7037ed1a0b428dbULL;
    size_t distinct_ = 0;
    SmallVector<Slot, kMinSlots> table_;
};

// Size of the multiset intersection of the n-gram codes of two texts, both at least n long:
// the first text's codes are counted, then each code of the second takes one count if any is
// left.
template <unsigned kBits, CodeUnit A, CodeUnit B>
uint64_t code_intersection(std::span<const A> s1, std::span<const B> s2, uint64_t n) {
    CodeCounts counts(s1.size() - n + 1);
    for_each_ngram_code<kBits>(s1, n, [&counts](uint64_t code) { counts.add(code); });
    poll_interrupt();
    uint64_t shared = 0;
    for_each_ngram_code<kBits>(s2, n, [&](uint64_t code) { shared += counts.take(code); });
    return shared;
}

// Codes of at most 16 bits (bigrams of bytes, single symbols of 16-bit texts) are counted in a
// direct table of the thread, 256 KiB allocated on first use and kept: each code is one
// increment, with no hashing or probing. The table is all zero between calls; a call clears
// what it counted on every way out, an interruption included.
class ShortCodeTable {
  public:
    static constexpr size_t kCodes = size_t{1} << 16;

    static uint32_t* counts() {
        thread_local ShortCodeTable table;
        if (!table.counts_) {
            table.counts_ = static_cast<uint32_t*>(std::calloc(kCodes, sizeof(uint32_t)));
            if (!table.counts_) throw std::bad_alloc();
        }
        return table.counts_;
    }

    ShortCodeTable() = default;
    ShortCodeTable(const ShortCodeTable&) = delete;
    ShortCodeTable& operator=(const ShortCodeTable&) = delete;
    ~ShortCodeTable() { std::free(counts_); }

  private:
    uint32_t* counts_ = nullptr;
};

template <unsigned kBits, CodeUnit A, CodeUnit B>
uint64_t short_code_intersection(std::span<const A> s1, std::span<const B> s2, uint64_t n) {
    uint32_t* counts = ShortCodeTable::counts();
    struct Clear {
        uint32_t* counts;
        std::span<const A> text;
        uint64_t n;
        ~Clear() {
            // Codes only (no polling): a destructor must not throw.
            const uint64_t mask = (uint64_t{1} << (n * kBits)) - 1;
            uint64_t code = 0;
            for (size_t i = 0; i < text.size(); ++i) {
                code = ((code << kBits) | static_cast<uint64_t>(text[i])) & mask;
                counts[code] = 0;
            }
        }
    } clear{counts, s1, n};
    for_each_ngram_code<kBits>(s1, n, [counts](uint64_t code) { ++counts[code]; });
    uint64_t shared = 0;
    for_each_ngram_code<kBits>(s2, n, [&](uint64_t code) {
        const uint32_t left = counts[code];
        shared += left != 0;
        counts[code] = left - (left != 0);
    });
    return shared;
}

double cosine_value(uint64_t shared, uint64_t total1, uint64_t total2) {
    double product = static_cast<double>(total1) * static_cast<double>(total2);
    if (product == 0.0) return 0.0;
    return static_cast<double>(shared) / std::sqrt(product);
}

template <CodeUnit A, CodeUnit B>
double cosine_core(std::span<const A> s1, std::span<const B> s2, bool use_words,
                   uint64_t ngram_size, bool& early) {
    early = false;
    if (use_words) {
        const BagOverlap o = word_overlap(s1, s2);
        if (o.n1 == 0 || o.n2 == 0) {
            early = true;
            return o.n1 == 0 && o.n2 == 0 ? 1.0 : 0.0;
        }
        return cosine_value(o.shared, o.n1, o.n2);
    }
    const uint64_t n = ngram_size;
    constexpr unsigned kBits = kCodeBits<A, B>;
    if (n <= 64 / kBits && s1.size() >= n && s2.size() >= n && s1.size() < UINT32_MAX) {
        // Short n-grams: integer codes instead of spans of the texts (same counts).
        uint64_t shared;
        if (n * kBits <= 16)
            shared = short_code_intersection<kBits>(s1, s2, n);
        else
            shared = code_intersection<kBits>(s1, s2, n);
        return cosine_value(shared, s1.size() - n + 1, s2.size() - n + 1);
    }
    const BagOverlap o = bag_overlap<A, B>([&](auto&& f) { for_each_ngram(s1, n, f); },
                                           [&](auto&& f) { for_each_ngram(s2, n, f); });
    return cosine_value(o.shared, o.n1, o.n2);
}

double cosine_uncut(Text s1, Text s2, bool use_words, uint64_t ngram_size, bool& early) {
    return visit(s1, s2,
                 [&](auto a, auto b) { return cosine_core(a, b, use_words, ngram_size, early); });
}

}  // namespace

const char* cosine_options_error(bool use_words, uint64_t ngram_size) {
    return !use_words && ngram_size == 0 ? "ngram_size must be at least 1" : nullptr;
}

double cosine_similarity(Text s1, Text s2, bool use_words, uint64_t ngram_size, FloatCutoff c) {
    if (cosine_options_error(use_words, ngram_size))
        return std::numeric_limits<double>::quiet_NaN();
    bool early;
    double value = cosine_uncut(s1, s2, use_words, ngram_size, early);
    return early ? value : cut_similarity(value, c);
}

double cosine_distance(Text s1, Text s2, bool use_words, uint64_t ngram_size, FloatCutoff c) {
    if (cosine_options_error(use_words, ngram_size))
        return std::numeric_limits<double>::quiet_NaN();
    bool early;
    return distance_from_similarity(cosine_uncut(s1, s2, use_words, ngram_size, early), c);
}

}  // namespace qx
