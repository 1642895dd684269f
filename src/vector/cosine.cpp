#include "cosine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "../fuzz/words.hpp"
#include "../hashing.hpp"
#include "../small_vector.hpp"
#include "../word_counts.hpp"

namespace qx {

namespace {

// Length in bytes of the UTF-8 sequence whose lead byte is `lead`.
inline size_t sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    return 4;
}

// Counts the windows of n consecutive scalar values of `text` (views into the text), or the
// whole text as one token when it has fewer than n scalar values. n >= 1.
void count_ngrams(Utf8 text, uint64_t n, TokenCounts& out) {
    if (is_ascii(text)) {
        if (text.size() < n) {
            out.add(text);
            return;
        }
        for (size_t i = 0; i + n <= text.size(); ++i) out.add(text.substr(i, n));
        return;
    }
    size_t symbols = count_symbols(text);
    if (symbols < n) {
        out.add(text);
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    size_t start = 0, stop = 0;  // byte range of the current window
    for (uint64_t k = 0; k < n; ++k) stop += sequence_length(bytes[stop]);
    for (;;) {
        out.add(text.substr(start, stop - start));
        if (stop == text.size()) break;
        start += sequence_length(bytes[start]);
        stop += sequence_length(bytes[stop]);
    }
}

using Codes = SmallVector<uint64_t, 64>;

// The n-grams of an ASCII text of at least n bytes (n <= 8), each packed into an integer.
void ascii_ngram_codes(Utf8 text, size_t n, Codes& out) {
    const uint64_t mask = n == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
    uint64_t code = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        code = ((code << 8) | static_cast<unsigned char>(text[i])) & mask;
        if (i + 1 >= n) out.push_back(code);
    }
}

// Size of the multiset intersection of two code sequences: the second is counted in an
// open-addressing table (seeded hash), then each code of the first takes one count if any
// is left.
uint64_t code_intersection(const Codes& first, const Codes& second) {
    struct Slot {
        uint64_t code;
        uint64_t count;
    };
    constexpr uint64_t kFree = ~uint64_t{0};  // no packed ASCII code has all bits set
    size_t slots = 16;
    while (slots < 2 * second.size()) slots *= 2;
    const size_t mask = slots - 1;
    SmallVector<Slot, 64> table;
    table.resize(slots);
    for (Slot& s : table) s.code = kFree;
    const uint64_t seed = hash_seed() ^ 0xe7037ed1a0b428dbULL;
    auto home = [&](uint64_t code) {
        return static_cast<size_t>(hash_mix(code ^ 0xa0761d6478bd642fULL, seed)) & mask;
    };
    for (uint64_t code : second) {
        size_t i = home(code);
        while (table[i].code != kFree && table[i].code != code) i = (i + 1) & mask;
        table[i].code = code;
        ++table[i].count;
    }
    uint64_t shared = 0;
    for (uint64_t code : first) {
        size_t i = home(code);
        while (table[i].code != kFree && table[i].code != code) i = (i + 1) & mask;
        if (table[i].code == code && table[i].count > 0) {
            --table[i].count;
            ++shared;
        }
    }
    return shared;
}

double cosine_value(uint64_t shared, uint64_t total1, uint64_t total2) {
    double product = static_cast<double>(total1) * static_cast<double>(total2);
    if (product == 0.0) return 0.0;
    return static_cast<double>(shared) / std::sqrt(product);
}

double cosine_uncut(Utf8 s1, Utf8 s2, bool use_words, uint64_t ngram_size, bool& early) {
    early = false;
    if (!use_words && ngram_size <= 8 && s1.size() >= ngram_size && s2.size() >= ngram_size &&
        is_ascii(s1) && is_ascii(s2)) {
        // Short ASCII n-grams: integer codes instead of views of the texts (same counts).
        Codes codes1, codes2;
        ascii_ngram_codes(s1, ngram_size, codes1);
        ascii_ngram_codes(s2, ngram_size, codes2);
        return cosine_value(code_intersection(codes1, codes2), codes1.size(), codes2.size());
    }
    TokenCounts counts1, counts2;
    if (use_words) {
        TokenList words1, words2;
        split_words(s1, words1);
        split_words(s2, words2);
        if (words1.empty() || words2.empty()) {
            early = true;
            return words1.empty() && words2.empty() ? 1.0 : 0.0;
        }
        for (Token w : words1) counts1.add(w);
        for (Token w : words2) counts2.add(w);
    } else {
        count_ngrams(s1, ngram_size, counts1);
        count_ngrams(s2, ngram_size, counts2);
    }
    uint64_t shared = 0;
    for (const TokenCounts::Entry& e : counts1)
        shared += std::min(e.count, counts2.count_of(e.token));
    return cosine_value(shared, counts1.total(), counts2.total());
}

}  // namespace

const char* cosine_options_error(bool use_words, uint64_t ngram_size) {
    return !use_words && ngram_size == 0 ? "ngram_size must be at least 1" : nullptr;
}

double cosine_similarity(Utf8 s1, Utf8 s2, bool use_words, uint64_t ngram_size, FloatCutoff c) {
    if (cosine_options_error(use_words, ngram_size))
        return std::numeric_limits<double>::quiet_NaN();
    bool early;
    double value = cosine_uncut(s1, s2, use_words, ngram_size, early);
    return early ? value : cut_similarity(value, c);
}

double cosine_distance(Utf8 s1, Utf8 s2, bool use_words, uint64_t ngram_size, FloatCutoff c) {
    if (cosine_options_error(use_words, ngram_size))
        return std::numeric_limits<double>::quiet_NaN();
    bool early;
    return distance_from_similarity(cosine_uncut(s1, s2, use_words, ngram_size, early), c);
}

}  // namespace qx
