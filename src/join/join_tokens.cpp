#include "join_tokens.hpp"

#include <algorithm>
#include <string_view>

namespace qx::join {

namespace {

struct Word {
    size_t begin;
    size_t length;
};

void split(Text t, std::vector<Word>& out) {
    out.clear();
    size_t i = 0;
    const size_t n = t.length;
    while (i < n) {
        while (i < n && is_white_space(t.at(i))) ++i;
        if (i == n) break;
        const size_t begin = i;
        while (i < n && !is_white_space(t.at(i))) ++i;
        out.push_back({begin, i - begin});
    }
}

// A fixed, unseeded hash: two different tokens that collide only make the filter let more
// pairs through, never fewer.
inline uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

uint64_t hash_span(Text t, size_t begin, size_t length) {
    uint64_t h = 0x9e3779b97f4a7c15ULL ^ length;
    for (size_t k = 0; k < length; ++k) h = mix(h ^ (t.at(begin + k) + 0x100000000ULL * k));
    return h;
}

}  // namespace

void CodePointTexts::reserve(size_t texts, size_t code_points) {
    offsets_.reserve(texts + 1);
    units_.reserve(code_points);
}

void CodePointTexts::add_sorted_words(Text t) {
    std::vector<Word> words;
    split(t, words);
    auto less = [&](const Word& a, const Word& b) {
        const size_t n = std::min(a.length, b.length);
        for (size_t k = 0; k < n; ++k) {
            const uint32_t x = t.at(a.begin + k), y = t.at(b.begin + k);
            if (x != y) return x < y;
        }
        return a.length < b.length;
    };
    std::sort(words.begin(), words.end(), less);
    for (size_t w = 0; w < words.size(); ++w) {
        if (w) units_.push_back(0x20);
        for (size_t k = 0; k < words[w].length; ++k) units_.push_back(t.at(words[w].begin + k));
    }
    offsets_.push_back(units_.size());
}

TokenBags::TokenBags(std::span<const Text> first, std::span<const Text> second,
                     uint64_t ngram_size) {
    // Element keys of every text, then ranks by frequency.
    std::vector<uint64_t> keys;
    std::vector<Word> words;
    std::vector<uint64_t> hashes;
    auto add_text = [&](Text t) {
        hashes.clear();
        if (ngram_size == 0) {
            split(t, words);
            for (const Word& w : words) hashes.push_back(hash_span(t, w.begin, w.length));
        } else if (t.length < ngram_size) {
            hashes.push_back(hash_span(t, 0, t.length));
        } else {
            for (size_t i = 0; i + ngram_size <= t.length; ++i)
                hashes.push_back(hash_span(t, i, ngram_size));
        }
        // The k-th occurrence of a token is element (token, k).
        std::sort(hashes.begin(), hashes.end());
        size_t run = 0;
        for (size_t i = 0; i < hashes.size(); ++i) {
            run = (i > 0 && hashes[i] == hashes[i - 1]) ? run + 1 : 0;
            keys.push_back(mix(hashes[i] + 0x632be59bd9b4e019ULL * run));
        }
        offsets_.push_back(keys.size());
    };
    offsets_.reserve(first.size() + second.size() + 1);
    for (Text t : first) add_text(t);
    for (Text t : second) add_text(t);

    std::vector<uint64_t> distinct(keys);
    std::sort(distinct.begin(), distinct.end());
    std::vector<std::pair<uint32_t, uint32_t>> counted;  // (count, index in distinct)
    std::vector<uint64_t> unique_keys;
    for (size_t i = 0; i < distinct.size();) {
        size_t j = i;
        while (j < distinct.size() && distinct[j] == distinct[i]) ++j;
        counted.emplace_back(static_cast<uint32_t>(j - i), static_cast<uint32_t>(unique_keys.size()));
        unique_keys.push_back(distinct[i]);
        i = j;
    }
    std::vector<uint64_t>().swap(distinct);
    std::sort(counted.begin(), counted.end());
    std::vector<uint32_t> rank_of(unique_keys.size());
    for (size_t r = 0; r < counted.size(); ++r) rank_of[counted[r].second] = static_cast<uint32_t>(r);

    ranks_.resize(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const size_t at = static_cast<size_t>(
            std::lower_bound(unique_keys.begin(), unique_keys.end(), keys[i]) - unique_keys.begin());
        ranks_[i] = rank_of[at];
    }
    for (size_t t = 0; t + 1 < offsets_.size(); ++t)
        std::sort(ranks_.begin() + static_cast<ptrdiff_t>(offsets_[t]),
                  ranks_.begin() + static_cast<ptrdiff_t>(offsets_[t + 1]));
}

}  // namespace qx::join
