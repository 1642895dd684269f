// Word-level operations of the token scorers: sorting in code-point order, joining with single
// spaces, and the partition of the distinct words of two texts into shared and unshared words.
// Word lists hold spans of the caller's texts; a joined text is built only when its words are
// not already adjacent in their text. No Python here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../interrupt.hpp"
#include "../small_vector.hpp"
#include "../text.hpp"
#include "words.hpp"

namespace qx {

// Sorts words in ascending code-point order: insertion sort up to 20 words, introsort above.
// Long lists poll for interruption while they sort.
template <CodeUnit T>
void sort_words(WordList<T>& words) {
    const size_t n = words.size();
    if (n < 2) return;
    Word<T>* w = words.data();
    auto less = [](Word<T> x, Word<T> y) { return word_compare(x, y) < 0; };
    if (n <= 20) {
        for (size_t i = 1; i < n; ++i) {
            Word<T> x = w[i];
            size_t j = i;
            while (j > 0 && less(x, w[j - 1])) {
                w[j] = w[j - 1];
                --j;
            }
            w[j] = x;
        }
        return;
    }
    if (n < 4096) {
        std::sort(w, w + n, less);
        return;
    }
    PollBudget budget;
    std::sort(w, w + n, [&budget, less](Word<T> x, Word<T> y) {
        budget.spend(16);
        return less(x, y);
    });
}

// A text's words in code-point order, sorted once and held as positions, so that one object
// serves a text of any width (the prepared forms of the scorers keep one for their query).
// The text must outlive the object.
class SortedWords {
  public:
    explicit SortedWords(Text text) : text_(text) {
        visit(text, [this]<CodeUnit T>(std::span<const T> units) {
            WordList<T> words;
            split_words(units, words);
            sort_words(words);
            words_.resize(words.size());
            for (size_t i = 0; i < words.size(); ++i)
                words_[i] = {static_cast<size_t>(words[i].data() - units.data()), words[i].size()};
        });
    }

    Text text() const { return text_; }
    size_t size() const { return words_.size(); }

    // Replaces `out` with the sorted words as spans of the text (T: the text's unit type).
    template <CodeUnit T>
    void load(WordList<T>& out) const {
        const T* base = static_cast<const T*>(text_.data);
        out.resize(words_.size());
        for (size_t i = 0; i < words_.size(); ++i)
            out[i] = Word<T>(base + words_[i].begin, words_[i].length);
    }

  private:
    struct Position {
        size_t begin = 0;
        size_t length = 0;
    };
    Text text_;
    SmallVector<Position, 16> words_;
};

// Two sorted lists hold equal words at every position.
template <CodeUnit A, CodeUnit B>
bool lists_equal(const WordList<A>& a, const WordList<B>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!word_equal(a[i], b[i])) return false;
    return true;
}

// Length of the words joined by single spaces (0 for no words).
template <CodeUnit T>
size_t joined_length(const WordList<T>& words) {
    if (words.empty()) return 0;
    size_t length = words.size() - 1;
    for (Word<T> w : words) length += w.size();
    return length;
}

// Storage for joined texts: room for 256 units inline, heap beyond (std::bad_alloc when memory
// runs out).
template <CodeUnit T>
using JoinBuffer = SmallVector<T, 256>;

// Writes the words joined by single spaces to `out` (room for joined_length(words) units).
template <CodeUnit T>
void write_joined(const WordList<T>& words, T* out) {
    if (words.empty()) return;
    std::memcpy(out, words[0].data(), words[0].size() * sizeof(T));
    out += words[0].size();
    for (size_t i = 1; i < words.size(); ++i) {
        *out++ = T(' ');
        std::memcpy(out, words[i].data(), words[i].size() * sizeof(T));
        out += words[i].size();
    }
}

// Whether the words already follow each other in their text separated by single spaces (one
// word, or words in their original order): their join is then a view of that text.
template <CodeUnit T>
bool joined_in_place(const WordList<T>& words) {
    for (size_t i = 1; i < words.size(); ++i) {
        const T* end = words[i - 1].data() + words[i - 1].size();
        if (words[i].data() != end + 1 || *end != T(' ')) return false;
    }
    return true;
}

// The words joined by single spaces, as a text of their width: a view of the caller's text
// when joined_in_place, else written to `buffer`.
template <CodeUnit T>
Text join_words(const WordList<T>& words, JoinBuffer<T>& buffer) {
    const size_t n = words.size();
    if (n == 0) return Text(std::span<const T>());
    if (joined_in_place(words)) {
        const T* first = words[0].data();
        const T* last = words[n - 1].data() + words[n - 1].size();
        return Text(std::span<const T>(first, static_cast<size_t>(last - first)));
    }
    buffer.resize(joined_length(words));
    write_joined(words, buffer.data());
    return Text(std::span<const T>(buffer.data(), buffer.size()));
}

// The distinct words of two texts split into shared and unshared words, each list sorted.
template <CodeUnit A, CodeUnit B>
struct WordPartition {
    WordList<A> shared;       // words in both (as spans of the first text)
    WordList<A> first_only;   // words of the first text only
    WordList<B> second_only;  // words of the second text only
};

// Partitions the distinct words of two sorted lists (duplicates allowed) by one merge walk.
template <CodeUnit A, CodeUnit B>
void partition_sorted(const WordList<A>& a, const WordList<B>& b, WordPartition<A, B>& out) {
    out.shared.clear();
    out.first_only.clear();
    out.second_only.clear();
    size_t i = 0, j = 0;
    const size_t na = a.size(), nb = b.size();
    // Moves k past the run of words equal to list[k].
    auto skip = [](const auto& list, size_t& k) {
        const auto w = list[k];
        do ++k;
        while (k < list.size() && word_equal(list[k], w));
    };
    while (i < na && j < nb) {
        const int c = word_compare(a[i], b[j]);
        if (c < 0) {
            out.first_only.push_back(a[i]);
            skip(a, i);
        } else if (c > 0) {
            out.second_only.push_back(b[j]);
            skip(b, j);
        } else {
            out.shared.push_back(a[i]);
            skip(a, i);
            skip(b, j);
        }
    }
    while (i < na) {
        out.first_only.push_back(a[i]);
        skip(a, i);
    }
    while (j < nb) {
        out.second_only.push_back(b[j]);
        skip(b, j);
    }
}

}  // namespace qx
