// Turns the fuzzer's bytes into two texts (UTF-8 and typed, of the narrowest width or now and
// then a wider one) and option bytes. Small mixed-width alphabets, lengths at the kernels' block
// boundaries, the second text often derived from the first (edits, noise, reordered words).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reference.hpp"
#include "text.hpp"

namespace fuzzin {

using ref::Seq;

// Counts the inputs of the process: each Bytes is one input.
inline uint64_t input_serial = 0;

// The input's bytes, then deterministic ones seeded by it, so that short inputs make long texts.
class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {
        ++input_serial;
        state_ = 0x9E3779B97F4A7C15ULL ^ size;
        for (size_t i = 0; i < size; ++i) state_ = state_ * 31 + data[i];
    }

    uint8_t next() {
        if (at_ < size_) return data_[at_++];
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint8_t>(state_ >> 56);
    }
    uint16_t next16() { return static_cast<uint16_t>(next() | (next() << 8)); }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    uint64_t state_;
};

inline const std::vector<Seq>& alphabets() {
    static const std::vector<Seq> table = {
        {'a', 'b'},
        {'a', 'b', 'c', ' '},
        {'a', 'b', 0xE9, ' '},      // Latin-1: narrowed to bytes by some kernels
        {'a', 'b', 0x20AC, 0x100},  // BMP beyond Latin-1
        {'a', 0x1F44D, 'b'},        // astral (four UTF-8 bytes)
        {'a', 'b', 0xE9, 0xFF, 0x100, 0x20AC, 0x1F44D, ' ', 0x3000, '\t', 0xA0},
        {0, 'a', 'z', 0x7F, 0x80, 0xE9, 0xFF, 0x100, 0x7FF, 0x800, 0xFFFD, 0xFFFF, 0x10000, 0x1F44D,
         0x10FFFF, ' '},
        {'a', 'b', 'c', 'd', ' ', ' '},  // words
        {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'},
        {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 0xE9},
        {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 0x20AC},
        {'a', 0xE9, ' ', 0x20AC, 0x1F44D, 0x2009, 0x85, 0x200B},  // more white space kinds
        {},  // many distinct symbols: 700 CJK code points (see symbol())
        {},
    };
    return table;
}

// UTF-8: a lead byte and n continuation bytes of six bits each.
inline std::string encode(const Seq& s) {
    std::string out;
    for (uint32_t c : s) {
        const int n = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        out += static_cast<char>(n ? ((0xF0 << (3 - n)) & 0xFF) | (c >> (6 * n)) : c);
        for (int k = n - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    return out;
}

// A length: mostly short, sometimes one of the kernels' boundary lengths, capped by `cap`.
inline size_t pick_length(Bytes& in, size_t cap) {
    static constexpr size_t kBoundaries[] = {63,  64,  65,  127, 128, 129, 191, 192,
                                             193, 255, 256, 257, 447, 448, 449, 511,
                                             512, 513, 640, 31,  32,  33,  96,  150};
    uint8_t b = in.next();
    size_t n = b < 232 ? b % 24 : kBoundaries[(b - 232) % std::size(kBoundaries)];
    return std::min(n, cap);
}

// A text stored `width` bytes per code point (the interpreter's is the narrowest).
struct Units {
    std::vector<uint32_t> storage;  // raw units, aligned for every width
    size_t length = 0;
    uint8_t width = 1;

    Units() = default;
    Units(const Seq& s, uint8_t w) : storage((s.size() * w + 3) / 4), length(s.size()), width(w) {
        auto* bytes = reinterpret_cast<uint8_t*>(storage.data());
        auto* halves = reinterpret_cast<uint16_t*>(storage.data());
        for (size_t i = 0; i < s.size(); ++i) {
            if (w == 1) bytes[i] = static_cast<uint8_t>(s[i]);
            if (w == 2) halves[i] = static_cast<uint16_t>(s[i]);
            if (w == 4) storage[i] = s[i];
        }
    }
    qx::Text text() const { return {storage.data(), length, width}; }
};

inline uint8_t narrowest_width(const Seq& s) {
    const uint32_t top = s.empty() ? 0 : *std::max_element(s.begin(), s.end());
    return top < 0x100 ? 1 : top < 0x10000 ? 2 : 4;
}

struct Pair {
    Seq a, b;            // code points
    std::string s1, s2;  // UTF-8
    Units u1, u2;        // typed
    uint8_t extra[8];    // spare bytes for option choices

    qx::Text t1() const { return u1.text(); }
    qx::Text t2() const { return u2.text(); }
};

// The narrowest width, or now and then a wider one.
inline uint8_t pick_width(Bytes& in, const Seq& s) {
    uint8_t w = narrowest_width(s);
    uint8_t b = in.next();
    if (b < 192 || w == 4) return w;
    return b < 224 ? uint8_t(w * 2) : uint8_t(4);
}

// One symbol of the alphabet; the empty one stands for 700 distinct code points.
inline uint32_t symbol(Bytes& in, const Seq& alphabet) {
    if (alphabet.empty()) return 0x4E00 + in.next16() % 700;
    return alphabet[in.next() % alphabet.size()];
}

inline Seq random_text(Bytes& in, const Seq& alphabet, size_t n) {
    Seq s(n);
    for (auto& c : s) c = symbol(in, alphabet);
    return s;
}

// A few insertions, deletions, substitutions and adjacent transpositions.
inline Seq edited(Bytes& in, Seq s, const Seq& alphabet, size_t cap) {
    int edits = in.next() % 7;
    for (int e = 0; e < edits; ++e) {
        uint8_t op = in.next() % 4;
        size_t pos = s.empty() ? 0 : in.next16() % (s.size() + 1);
        uint32_t c = symbol(in, alphabet);
        if (op == 0 && s.size() < cap) {
            s.insert(s.begin() + static_cast<ptrdiff_t>(pos), c);
        } else if (op == 1 && pos < s.size()) {
            s.erase(s.begin() + static_cast<ptrdiff_t>(pos));
        } else if (op == 2 && pos < s.size()) {
            s[pos] = c;
        } else if (pos + 1 < s.size()) {
            std::swap(s[pos], s[pos + 1]);
        }
    }
    return s;
}

// The words of s rotated by k, joined by single spaces.
inline Seq rotated_words(const Seq& s, size_t k) {
    ref::Words words = ref::split(s);
    if (words.empty()) return {};
    std::rotate(words.begin(), words.begin() + static_cast<ptrdiff_t>(k % words.size()),
                words.end());
    return ref::join(words);
}

// Decodes a pair of texts whose lengths stay at or below `cap` symbols.
inline Pair decode_pair(Bytes& in, size_t cap) {
    const auto& table = alphabets();
    uint8_t head = in.next();
    const Seq& alpha1 = table[head % table.size()];
    uint8_t shape = in.next();
    // Now and then the second text draws from another alphabet.
    const Seq& alpha2 = (shape & 0x80) ? table[in.next() % table.size()] : alpha1;
    Pair p;
    for (auto& e : p.extra) e = in.next();
    p.a = random_text(in, alpha1, pick_length(in, cap));
    switch (shape % 5) {
        case 0:
        case 1:
            p.b = random_text(in, alpha2, pick_length(in, cap));
            break;
        case 2:
            p.b = edited(in, p.a, alpha2, cap);
            break;
        case 3: {  // embedded in noise
            size_t before = in.next() % 8, after = in.next() % 8;
            p.b = random_text(in, alpha2, before);
            Seq a = edited(in, p.a, alpha2, cap), tail = random_text(in, alpha2, after);
            p.b.insert(p.b.end(), a.begin(), a.end());
            p.b.insert(p.b.end(), tail.begin(), tail.end());
            p.b.resize(std::min(p.b.size(), cap));
            break;
        }
        default:
            p.b = edited(in, rotated_words(p.a, in.next()), alpha2, cap);
            break;
    }
    if (shape & 0x40) std::swap(p.a, p.b);
    p.s1 = encode(p.a);
    p.s2 = encode(p.b);
    // Read last, so that the texts of a given input do not depend on it.
    p.u1 = Units(p.a, pick_width(in, p.a));
    p.u2 = Units(p.b, pick_width(in, p.b));
    return p;
}

}  // namespace fuzzin
