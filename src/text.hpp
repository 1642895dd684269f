// The text view every kernel receives: code points stored 1, 2 or 4 bytes each, as the
// interpreter already holds them, with the length known. Helpers to visit a text (or two) as
// spans of their code units, and common prefix and suffix lengths. No Python here.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace qx {

// The unit types a text may be stored in.
template <class T>
concept CodeUnit = std::same_as<T, uint8_t> || std::same_as<T, uint16_t> || std::same_as<T, uint32_t>;

// A borrowed text of `length` code points stored `width` bytes each: 1 (U+0000..U+00FF),
// 2 (..U+FFFF) or 4 (any). Width is a storage detail: equal code points compare equal whatever
// the widths of the two texts, and a text may be stored wider than its code points need.
struct Text {
    const void* data = nullptr;
    size_t length = 0;
    uint8_t width = 1;

    constexpr Text() = default;
    constexpr Text(const void* units, size_t count, uint8_t unit_width)
        : data(units), length(count), width(unit_width) {}
    template <CodeUnit T>
    constexpr Text(std::span<const T> units)
        : data(units.data()), length(units.size()), width(sizeof(T)) {}
    template <CodeUnit T>
    constexpr Text(std::span<T> units) : Text(std::span<const T>(units)) {}

    bool empty() const { return length == 0; }
    size_t size() const { return length; }

    // The units as a span of T (precondition: width == sizeof(T)).
    template <CodeUnit T>
    std::span<const T> units() const {
        return {static_cast<const T*>(data), length};
    }
    // Code point i; for cold paths (kernels visit the spans).
    uint32_t at(size_t i) const {
        if (width == 1) return static_cast<const uint8_t*>(data)[i];
        if (width == 2) return static_cast<const uint16_t*>(data)[i];
        return static_cast<const uint32_t*>(data)[i];
    }
    // The text from code point `begin` on, `count` code points long.
    Text sub(size_t begin, size_t count) const {
        return {static_cast<const char*>(data) + begin * width, count, width};
    }
};

// Calls f(std::span<const U>) with U the unit type of t; returns what f returns.
template <class F>
decltype(auto) visit(Text t, F&& f) {
    switch (t.width) {
        case 1:
            return f(t.units<uint8_t>());
        case 2:
            return f(t.units<uint16_t>());
        default:
            return f(t.units<uint32_t>());
    }
}

// Calls f(std::span<const A>, std::span<const B>) for the unit types of a and b (nine
// combinations); returns what f returns.
template <class F>
decltype(auto) visit(Text a, Text b, F&& f) {
    return visit(a, [&](auto units_a) -> decltype(auto) {
        return visit(b, [&](auto units_b) -> decltype(auto) { return f(units_a, units_b); });
    });
}

namespace detail {

// Equal leading bytes of two buffers of n bytes, eight at a time.
inline size_t equal_head_bytes(const unsigned char* a, const unsigned char* b, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) return i + static_cast<size_t>(std::countr_zero(x ^ y) / 8);
    }
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// Equal trailing bytes of two buffers ending at ea and eb, at most n, eight at a time.
inline size_t equal_tail_bytes(const unsigned char* ea, const unsigned char* eb, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, ea - i - 8, 8);
        std::memcpy(&y, eb - i - 8, 8);
        if (x != y) return i + static_cast<size_t>(std::countl_zero(x ^ y) / 8);
    }
    while (i < n && ea[-1 - static_cast<ptrdiff_t>(i)] == eb[-1 - static_cast<ptrdiff_t>(i)]) ++i;
    return i;
}

}  // namespace detail

// Number of leading symbols two sequences share.
template <class A, class B>
size_t common_prefix(std::span<const A> a, std::span<const B> b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    if constexpr (std::is_same_v<A, B> && std::has_unique_object_representations_v<A>) {
        // Equal units have equal bytes: the first differing byte lies in the first differing unit.
        const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
        const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
        return detail::equal_head_bytes(pa, pb, n * sizeof(A)) / sizeof(A);
    } else {
        size_t i = 0;
        while (i < n && a[i] == b[i]) ++i;
        return i;
    }
}

// Number of trailing symbols two sequences share.
template <class A, class B>
size_t common_suffix(std::span<const A> a, std::span<const B> b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    if constexpr (std::is_same_v<A, B> && std::has_unique_object_representations_v<A>) {
        const auto* ea = reinterpret_cast<const unsigned char*>(a.data() + a.size());
        const auto* eb = reinterpret_cast<const unsigned char*>(b.data() + b.size());
        return detail::equal_tail_bytes(ea, eb, n * sizeof(A)) / sizeof(A);
    } else {
        const size_t na = a.size(), nb = b.size();
        size_t i = 0;
        while (i < n && a[na - 1 - i] == b[nb - 1 - i]) ++i;
        return i;
    }
}

// Common prefix length of two sequences, then the common suffix of what remains.
struct Affix {
    size_t prefix = 0;
    size_t suffix = 0;
};

template <class A, class B>
Affix common_affix(std::span<const A> a, std::span<const B> b) {
    Affix r;
    r.prefix = common_prefix(a, b);
    r.suffix = common_suffix(a.subspan(r.prefix), b.subspan(r.prefix));
    return r;
}

inline size_t common_prefix(Text a, Text b) {
    return visit(a, b, [](auto x, auto y) { return common_prefix(x, y); });
}
inline size_t common_suffix(Text a, Text b) {
    return visit(a, b, [](auto x, auto y) { return common_suffix(x, y); });
}
inline Affix common_affix(Text a, Text b) {
    return visit(a, b, [](auto x, auto y) { return common_affix(x, y); });
}

// Same code points in the same order.
inline bool same_text(Text a, Text b) {
    if (a.length != b.length) return false;
    if (a.width == b.width)
        return a.length == 0 || std::memcmp(a.data, b.data, a.length * a.width) == 0;
    return common_prefix(a, b) == a.length;
}

}  // namespace qx
