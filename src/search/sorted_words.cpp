#include "sorted_words.hpp"

#include <algorithm>

#include "../small_vector.hpp"

namespace qx::search {

namespace {

struct Word {
    uint32_t begin;
    uint32_t length;
};

template <class Unit>
size_t append_sorted(std::span<const Unit> s, std::vector<uint32_t>& out) {
    SmallVector<Word, 16> words;
    for (size_t i = 0, n = s.size(); i < n;) {
        if (is_white_space(s[i])) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < n && !is_white_space(s[j])) ++j;
        words.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(j - i)});
        i = j;
    }
    const auto less = [&](const Word& a, const Word& b) {
        return std::lexicographical_compare(s.begin() + a.begin, s.begin() + a.begin + a.length,
                                            s.begin() + b.begin, s.begin() + b.begin + b.length);
    };
    std::stable_sort(words.data(), words.data() + words.size(), less);
    const size_t start = out.size();
    for (size_t w = 0; w < words.size(); ++w) {
        if (w) out.push_back(0x20);
        out.insert(out.end(), s.begin() + words[w].begin,
                   s.begin() + words[w].begin + words[w].length);
    }
    return out.size() - start;
}

}  // namespace

size_t append_sorted_words(Text text, std::vector<uint32_t>& out) {
    return visit(text, [&](auto units) { return append_sorted(units, out); });
}

SortedWordsList::SortedWordsList(std::span<const Text> texts, std::span<const uint8_t> present) {
    size_t total = 0;
    for (size_t i = 0; i < texts.size(); ++i)
        if (present[i]) total += texts[i].length;
    units_.reserve(total);
    begin_.reserve(texts.size() + 1);
    begin_.push_back(0);
    for (size_t i = 0; i < texts.size(); ++i) {
        if (present[i]) append_sorted_words(texts[i], units_);
        begin_.push_back(units_.size());
    }
}

}  // namespace qx::search
