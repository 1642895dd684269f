#include "lcs_core.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "interrupt.hpp"
#include "lcs_step.hpp"

namespace qx {

namespace {

constexpr uint64_t low_bits(size_t k) {
    return k >= 64 ? ~uint64_t{0} : (uint64_t{1} << k) - 1;
}

// The zero bits of the state among the m pattern positions.
inline uint64_t count_zeros(const uint64_t* s, size_t w, size_t m) {
    uint64_t lcs = 0;
    for (size_t j = 0; j + 1 < w; ++j) lcs += static_cast<uint64_t>(std::popcount(~s[j]));
    return lcs + static_cast<uint64_t>(std::popcount(~s[w - 1] & low_bits(m - 64 * (w - 1))));
}

// Text symbols streamed between two polls: about 8,192 word steps.
inline size_t poll_stride(size_t w) {
    return std::max<size_t>(64, 8192 / w);
}

// Pattern of 1 to 64 symbols: one word.
template <CodeUnit P, CodeUnit T>
uint64_t scan_one_word(const SymbolMasks<P>& masks, std::span<const T> text) {
    uint64_t s = ~uint64_t{0};
    const size_t n = text.size();
    const T* t = text.data();
    for (size_t begin = 0; begin < n;) {
        const size_t end = std::min(n, begin + (size_t{1} << 16));
        for (size_t i = begin; i < end; ++i) {
            const uint64_t u = s & masks.word(t[i]);
            s = (s + u) | (s - u);
        }
        begin = end;
        if (begin < n) poll_interrupt();
    }
    return static_cast<uint64_t>(std::popcount(~s & low_bits(masks.length())));
}

// Pattern of W (2 to 8) words: the state lives in registers.
template <size_t W, CodeUnit P, CodeUnit T>
uint64_t scan_fixed_words(const SymbolMasks<P>& masks, std::span<const T> text) {
    typename SymbolMasks<P>::Reader reader(masks);
    uint64_t s[W];
    std::fill_n(s, W, ~uint64_t{0});
    const size_t n = text.size();
    const size_t stride = poll_stride(W);
    const T* t = text.data();
    for (size_t begin = 0; begin < n;) {
        const size_t end = std::min(n, begin + stride);
        for (size_t i = begin; i < end; ++i) lcs_step<W>(s, reader.row(t[i]));
        begin = end;
        if (begin < n) poll_interrupt();
    }
    return count_zeros(s, W, masks.length());
}

// Pattern of any number of words: the state on the heap beyond 32 words.
template <CodeUnit P, CodeUnit T>
uint64_t scan_words(const SymbolMasks<P>& masks, std::span<const T> text) {
    typename SymbolMasks<P>::Reader reader(masks);
    const size_t w = masks.blocks();
    SmallVector<uint64_t, 32> state;
    state.resize(w);
    uint64_t* s = state.data();
    std::fill_n(s, w, ~uint64_t{0});
    const size_t n = text.size();
    const size_t stride = poll_stride(w);
    const T* t = text.data();
    for (size_t begin = 0; begin < n;) {
        const size_t end = std::min(n, begin + stride);
        for (size_t i = begin; i < end; ++i) lcs_step<0>(s, reader.row(t[i]), w);
        begin = end;
        if (begin < n) poll_interrupt();
    }
    return count_zeros(s, w, masks.length());
}

template <CodeUnit T>
std::span<const T> middle(std::span<const T> s, const Affix& f) {
    return s.subspan(f.prefix, s.size() - f.prefix - f.suffix);
}

}  // namespace

template <CodeUnit P, CodeUnit T>
uint64_t lcs_scan(const SymbolMasks<P>& masks, std::span<const T> text) {
    if (masks.length() == 0 || text.empty()) return 0;
    switch (masks.blocks()) {
        case 1:
            return scan_one_word(masks, text);
        case 2:
            return scan_fixed_words<2>(masks, text);
        case 3:
            return scan_fixed_words<3>(masks, text);
        case 4:
            return scan_fixed_words<4>(masks, text);
        case 5:
            return scan_fixed_words<5>(masks, text);
        case 6:
            return scan_fixed_words<6>(masks, text);
        case 7:
            return scan_fixed_words<7>(masks, text);
        case 8:
            return scan_fixed_words<8>(masks, text);
        default:
            return scan_words(masks, text);
    }
}

template <CodeUnit A, CodeUnit B>
uint64_t lcs_length(std::span<const A> a, std::span<const B> b) {
    if (a.empty() || b.empty()) return 0;
    const Affix f = common_affix(a, b);
    const uint64_t shared = f.prefix + f.suffix;
    const std::span<const A> x = middle(a, f);
    const std::span<const B> y = middle(b, f);
    if (x.empty() || y.empty()) return shared;
    // The shorter remainder is the pattern: fewer words per streamed symbol.
    if (x.size() <= y.size()) {
        const SymbolMasks<A> masks(x);
        return shared + lcs_scan(masks, y);
    }
    const SymbolMasks<B> masks(y);
    return shared + lcs_scan(masks, x);
}

uint64_t lcs_length(Text a, Text b) {
    return visit(a, b, [](auto x, auto y) { return lcs_length(x, y); });
}

struct LcsQuery::Masks {
    std::unique_ptr<SymbolMasks<uint8_t>> bytes;
    std::unique_ptr<SymbolMasks<uint16_t>> pairs;
    std::unique_ptr<SymbolMasks<uint32_t>> quads;
};

LcsQuery::LcsQuery(Text query) : masks_(std::make_unique<Masks>()) {
    if (query.length > SIZE_MAX / 4) throw std::bad_alloc();
    units_.resize((query.length * query.width + 3) / 4);
    if (query.length) std::memcpy(units_.data(), query.data, query.length * query.width);
    text_ = Text(units_.data(), query.length, query.width);
    visit(text_, [&]<CodeUnit U>(std::span<const U> units) {
        if constexpr (sizeof(U) == 1)
            masks_->bytes = std::make_unique<SymbolMasks<U>>(units);
        else if constexpr (sizeof(U) == 2)
            masks_->pairs = std::make_unique<SymbolMasks<U>>(units);
        else
            masks_->quads = std::make_unique<SymbolMasks<U>>(units);
    });
}

LcsQuery::~LcsQuery() = default;

uint64_t LcsQuery::lcs(Text choice) const {
    return visit(choice, [&](auto units) -> uint64_t {
        if (masks_->bytes) return lcs_scan(*masks_->bytes, units);
        if (masks_->pairs) return lcs_scan(*masks_->pairs, units);
        return lcs_scan(*masks_->quads, units);
    });
}

#define QX_LCS_PAIR(A, B)                                                                  \
    template uint64_t lcs_scan<A, B>(const SymbolMasks<A>&, std::span<const B>);          \
    template uint64_t lcs_length<A, B>(std::span<const A>, std::span<const B>);
#define QX_LCS_ROW(A)         \
    QX_LCS_PAIR(A, uint8_t)   \
    QX_LCS_PAIR(A, uint16_t)  \
    QX_LCS_PAIR(A, uint32_t)
QX_LCS_ROW(uint8_t)
QX_LCS_ROW(uint16_t)
QX_LCS_ROW(uint32_t)
#undef QX_LCS_ROW
#undef QX_LCS_PAIR

}  // namespace qx
