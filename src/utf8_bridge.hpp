// TRANSITIONAL: the UTF-8 text view of the kernels not yet written over code-unit spans, and
// the bridge between it and the typed view (text.hpp). The function table's adapter encodes a
// typed text to UTF-8 for such a kernel (Utf8Args); code that builds UTF-8 strings and must call
// a typed kernel decodes them (DecodedText). This whole header goes away with the last kernel
// that takes Utf8.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <utility>

#include "small_vector.hpp"
#include "text.hpp"

namespace qx {

// A borrowed UTF-8 text (always valid UTF-8; embedded NULs are ordinary symbols).
using Utf8 = std::string_view;

// True when no byte of `t` has its top bit set; tested eight bytes at a time.
inline bool is_ascii(Utf8 t) {
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
inline size_t count_symbols(Utf8 t) {
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
inline bool same_bytes(Utf8 a, Utf8 b) {
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
    explicit SymbolSeq(Utf8 t) { assign(t); }
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
    void assign(Utf8 t) {
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

    // Throws std::bad_alloc when memory is exhausted.
    void reserve(size_t cap) {
        if (cap <= capacity()) return;
        if (cap <= kInline) return;
        if (cap > SIZE_MAX / sizeof(uint32_t)) throw std::bad_alloc();
        auto* fresh = static_cast<uint32_t*>(std::malloc(cap * sizeof(uint32_t)));
        if (!fresh) throw std::bad_alloc();
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

// Bytes of an ASCII text as a span of symbols.
inline std::span<const unsigned char> bytes_of(Utf8 t) {
    return {reinterpret_cast<const unsigned char*>(t.data()), t.size()};
}

// ---------------------------------------------------------------------------------------------
// Typed text to UTF-8.

// Writes the UTF-8 form of `units` to `out` (room for 4 bytes per unit); returns its size.
template <CodeUnit T>
size_t encode_utf8(std::span<const T> units, char* out) {
    auto* p = reinterpret_cast<unsigned char*>(out);
    for (uint32_t c : units) {
        if (c < 0x80) {
            *p++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            p[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            p[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            p += 2;
        } else if (c < 0x10000) {
            p[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            p[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            p[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            p += 3;
        } else {
            p[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
            p[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            p[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            p[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            p += 4;
        }
    }
    return static_cast<size_t>(p - reinterpret_cast<unsigned char*>(out));
}

namespace bridge_detail {

// A per-thread buffer for the UTF-8 form of one argument. Buffers grown past kKeep by a call
// on long texts are released after that call instead of being kept for the thread's life.
struct Utf8Scratch {
    static constexpr size_t kKeep = size_t{16} << 10;
    char* data = nullptr;
    size_t capacity = 0;

    Utf8Scratch() = default;
    Utf8Scratch(const Utf8Scratch&) = delete;
    Utf8Scratch& operator=(const Utf8Scratch&) = delete;
    ~Utf8Scratch() { std::free(data); }

    char* reserve(size_t n) {
        if (n > capacity) {
            size_t cap = n < 256 ? 256 : n;
            char* fresh = static_cast<char*>(std::malloc(cap));
            if (!fresh) throw std::bad_alloc();
            std::free(data);
            data = fresh;
            capacity = cap;
        }
        return data;
    }
    void trim() {
        if (capacity > kKeep) {
            std::free(data);
            data = nullptr;
            capacity = 0;
        }
    }
};

inline thread_local Utf8Scratch tls_utf8_scratch[2];

inline Utf8 to_utf8(Text t, Utf8Scratch& scratch) {
    if (t.width == 1) {
        auto units = t.units<uint8_t>();
        Utf8 bytes(reinterpret_cast<const char*>(units.data()), units.size());
        if (is_ascii(bytes)) return bytes;  // its own UTF-8 form
    }
    const size_t per_unit = t.width == 1 ? 2 : t.width == 2 ? 3 : 4;
    if (t.length > SIZE_MAX / per_unit) throw std::bad_alloc();
    char* out = scratch.reserve(t.length * per_unit);
    return {out, visit(t, [out](auto units) { return encode_utf8(units, out); })};
}

}  // namespace bridge_detail

// The UTF-8 forms of a kernel's two texts, for the kernels that still take Utf8. A width-1
// ASCII text is viewed in place; others are encoded into per-thread buffers, which must not be
// in use by another Utf8Args of the same thread. Throws std::bad_alloc.
class Utf8Args {
  public:
    Utf8Args(Text a, Text b) {
        auto& scratch = bridge_detail::tls_utf8_scratch;
        scratch_ = scratch;
        first_ = bridge_detail::to_utf8(a, scratch[0]);
        second_ = bridge_detail::to_utf8(b, scratch[1]);
    }
    Utf8Args(const Utf8Args&) = delete;
    Utf8Args& operator=(const Utf8Args&) = delete;
    ~Utf8Args() {
        scratch_[0].trim();
        scratch_[1].trim();
    }

    Utf8 first() const { return first_; }
    Utf8 second() const { return second_; }

  private:
    bridge_detail::Utf8Scratch* scratch_;
    Utf8 first_, second_;
};

// ---------------------------------------------------------------------------------------------
// UTF-8 to typed text.

// A UTF-8 text as a typed text of the narrowest width that holds its code points. An ASCII text
// is viewed in place (it must outlive this object); others are decoded into owned storage.
// Throws std::bad_alloc.
class DecodedText {
  public:
    explicit DecodedText(Utf8 s) {
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        const auto* end = p + s.size();
        unsigned char lead = 0;
        for (const auto* q = p; q < end; ++q) lead = *q > lead ? *q : lead;
        if (lead < 0x80) {
            text_ = Text(std::span<const uint8_t>(p, s.size()));
            return;
        }
        const size_t n = count_symbols(s);
        // Lead bytes up to 0xC3 start U+0080..U+00FF; below 0xF0, nothing past U+FFFF.
        const uint8_t width = lead <= 0xC3 ? 1 : lead < 0xF0 ? 2 : 4;
        storage_.resize((n * width + 3) / 4);
        auto fill = [&]<CodeUnit T>(T* out) {
            for (size_t i = 0; i < n; ++i) out[i] = static_cast<T>(decode_one(p));
            text_ = Text(std::span<const T>(out, n));
        };
        if (width == 1)
            fill(reinterpret_cast<uint8_t*>(storage_.data()));
        else if (width == 2)
            fill(reinterpret_cast<uint16_t*>(storage_.data()));
        else
            fill(storage_.data());
    }
    DecodedText(const DecodedText&) = delete;
    DecodedText& operator=(const DecodedText&) = delete;

    Text text() const { return text_; }

  private:
    SmallVector<uint32_t, 16> storage_;
    Text text_;
};

}  // namespace qx
