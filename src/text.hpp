// Text views: the byte or code-point view of a UTF-8 text, symbol counting,
// decoding into SymbolSeq and common-affix trimming. No Python here.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <utility>

namespace qx {

// A borrowed UTF-8 text (always valid UTF-8; embedded NULs are ordinary symbols).
using Text = std::string_view;

// True when no byte of `t` has its top bit set; tested eight bytes at a time.
inline bool is_ascii(Text t) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(t.data());
    size_t n = t.size();
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    if (n < 8) {
        unsigned char acc = 0;
        for (size_t i = 0; i < n; ++i) acc |= p[i];
        return (acc & 0x80) == 0;
    }
    uint64_t acc = 0;
    size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        uint64_t w[4];
        std::memcpy(w, p + i, 32);
        acc |= w[0] | w[1] | w[2] | w[3];
    }
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        acc |= w;
    }
    uint64_t tail;
    std::memcpy(&tail, p + n - 8, 8);  // re-read the last eight bytes as one word
    acc |= tail;
    return (acc & kHigh) == 0;
}

// Number of Unicode scalar values of `t`: the bytes that are not continuation bytes.
inline size_t count_symbols(Text t) {
    const signed char* p = reinterpret_cast<const signed char*>(t.data());
    size_t n = t.size();
    // Eight bytes at a time: a continuation byte has bit 7 set and bit 6 clear.
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    size_t continuation = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        continuation += static_cast<size_t>(std::popcount(w & ~(w << 1) & kHigh));
    }
    size_t count = i - continuation;
    for (; i < n; ++i) count += (p[i] > -65);
    return count;
}

// Byte-identical texts (equal lengths and equal bytes).
inline bool same_bytes(Text a, Text b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

// Decodes one scalar value starting at p (valid UTF-8); advances p.
inline uint32_t decode_one(const unsigned char*& p) {
    uint32_t c = *p++;
    if (c < 0x80) return c;
    if (c < 0xE0) {
        uint32_t v = ((c & 0x1F) << 6) | (p[0] & 0x3F);
        p += 1;
        return v;
    }
    if (c < 0xF0) {
        uint32_t v = ((c & 0x0F) << 12) | ((p[0] & 0x3F) << 6) | (p[1] & 0x3F);
        p += 2;
        return v;
    }
    uint32_t v = ((c & 0x07) << 18) | ((p[0] & 0x3F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    p += 3;
    return v;
}

// Decodes the scalar value that ends just before `end` (valid UTF-8); moves end back.
inline uint32_t decode_one_backward(const unsigned char*& end) {
    const unsigned char* q = end - 1;
    while ((*q & 0xC0) == 0x80) --q;
    const unsigned char* start = q;
    uint32_t v = decode_one(q);
    end = start;
    return v;
}

// A text decoded into Unicode scalar values; room for 64 symbols inline, heap beyond.
class SymbolSeq {
  public:
    static constexpr size_t kInline = 64;

    SymbolSeq() = default;
    explicit SymbolSeq(Text t) { assign(t); }
    SymbolSeq(const SymbolSeq&) = delete;
    SymbolSeq& operator=(const SymbolSeq&) = delete;
    SymbolSeq(SymbolSeq&& other) noexcept { move_from(other); }
    SymbolSeq& operator=(SymbolSeq&& other) noexcept {
        if (this != &other) {
            release();
            move_from(other);
        }
        return *this;
    }
    ~SymbolSeq() { release(); }

    // Replaces the contents with the scalar values of `t`.
    void assign(Text t) {
        size_ = 0;
        // (b + 3) / 4 is a lower bound of the number of scalar values.
        size_t bound = (t.size() + 3) / 4;
        if (bound > kInline) reserve(std::bit_ceil(bound));
        const unsigned char* p = reinterpret_cast<const unsigned char*>(t.data());
        const unsigned char* end = p + t.size();
        while (p < end) push_back(decode_one(p));
    }

    void push_back(uint32_t v) {
        if (size_ == capacity()) reserve(size_ < kInline ? kInline : capacity() * 2);
        data()[size_++] = v;
    }

    void reserve(size_t cap) {
        if (cap <= capacity()) return;
        if (cap <= kInline) return;
        auto* fresh = static_cast<uint32_t*>(std::malloc(cap * sizeof(uint32_t)));
        if (!fresh) std::abort();
        if (size_) std::memcpy(fresh, data(), size_ * sizeof(uint32_t));
        if (heap_) std::free(heap_);
        heap_ = fresh;
        heap_capacity_ = cap;
    }

    void clear() { size_ = 0; }
    uint32_t* data() { return heap_ ? heap_ : inline_; }
    const uint32_t* data() const { return heap_ ? heap_ : inline_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t capacity() const { return heap_ ? heap_capacity_ : kInline; }
    bool on_heap() const { return heap_ != nullptr; }
    uint32_t operator[](size_t i) const { return data()[i]; }
    std::span<const uint32_t> view() const { return {data(), size_}; }
    const uint32_t* begin() const { return data(); }
    const uint32_t* end() const { return data() + size_; }

  private:
    void release() {
        if (heap_) std::free(heap_);
        heap_ = nullptr;
        heap_capacity_ = 0;
        size_ = 0;
    }
    void move_from(SymbolSeq& other) {
        size_ = other.size_;
        if (other.heap_) {
            heap_ = other.heap_;
            heap_capacity_ = other.heap_capacity_;
            other.heap_ = nullptr;
            other.heap_capacity_ = 0;
        } else {
            std::memcpy(inline_, other.inline_, size_ * sizeof(uint32_t));
        }
        other.size_ = 0;
    }

    uint32_t inline_[kInline];
    uint32_t* heap_ = nullptr;
    size_t heap_capacity_ = 0;
    size_t size_ = 0;
};

// Common prefix length of two sequences, then the common suffix of what remains.
struct Affix {
    size_t prefix = 0;
    size_t suffix = 0;
};

template <class T>
inline size_t common_prefix(std::span<const T> a, std::span<const T> b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    size_t i = 0;
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

template <class T>
inline Affix common_affix(std::span<const T> a, std::span<const T> b) {
    Affix r;
    r.prefix = common_prefix(a, b);
    size_t limit = (a.size() < b.size() ? a.size() : b.size()) - r.prefix;
    size_t n = a.size(), m = b.size();
    while (r.suffix < limit && a[n - 1 - r.suffix] == b[m - 1 - r.suffix]) ++r.suffix;
    return r;
}

// Bytes of an ASCII text as a span of symbols.
inline std::span<const unsigned char> bytes_of(Text t) {
    return {reinterpret_cast<const unsigned char*>(t.data()), t.size()};
}

}  // namespace qx
