// Fuzz target: symbol_masks.hpp and word_masks.hpp against the plain positions of each symbol,
// at every width, block-boundary lengths, over 255 / 65,535 distinct symbols, colliding hashes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unordered_map>
#include <vector>

#include "input.hpp"
#include "symbol_masks.hpp"
#include "word_masks.hpp"

namespace {

using fuzzin::Bytes;
using fuzzin::Seq;

uint32_t next32(Bytes& in) {
    return in.next16() | in.next16() << 16;
}

[[noreturn]] void fail(const char* what, size_t n, uint8_t width, uint32_t symbol) {
    std::fprintf(stderr, "\nMISMATCH in SymbolMasks: %s (pattern of %zu symbols at width %u, "
                 "symbol U+%04X)\n", what, n, width, symbol);
    std::fflush(stderr);
    std::abort();
}

// Every wide symbol in one slot: probing alone must keep them apart.
struct OneSlotHash {
    size_t operator()(uint32_t) const { return 5; }
};
// Two slots only, by the lowest bit.
struct LowBitHash {
    size_t operator()(uint32_t v) const { return v & 1; }
};

template <class T, class Hash>
void check_map(const Seq& pattern, const Seq& probes, Bytes& in) {
    const std::vector<T> units(pattern.begin(), pattern.end());
    const qx::SymbolMasks<T, Hash> masks{std::span<const T>(units)};
    const size_t n = pattern.size(), blocks = (n + 63) / 64;
    std::optional<qx::WordMasks<T, Hash>> word_masks;
    if (n <= qx::WordMasks<T, Hash>::kMaxLength) word_masks.emplace(std::span<const T>(units));
    auto bad = [&](const char* what, uint32_t symbol) { fail(what, n, sizeof(T), symbol); };
    std::unordered_map<uint32_t, std::vector<size_t>> positions;  // the plain reference
    for (size_t i = 0; i < n; ++i) positions[pattern[i]].push_back(i);
    if (masks.length() != n || masks.blocks() != blocks || masks.symbols() != positions.size())
        bad("sizes", 0);

    // Ids: distinct, in 1..symbols(), the same for a symbol looked up at any width.
    std::vector<bool> taken(positions.size() + 1);
    for (const auto& [symbol, where] : positions) {
        uint32_t id = masks.id(symbol);
        if (id == 0 || id > positions.size() || taken[id]) bad("id", symbol);
        taken[id] = true;
        if (symbol < 0x10000 && masks.id(static_cast<uint16_t>(symbol)) != id)
            bad("id of a 2-byte symbol", symbol);
        if (symbol < 0x100 && masks.id(static_cast<uint8_t>(symbol)) != id)
            bad("id of a 1-byte symbol", symbol);
    }

    // Rows of the pattern's symbols and the probes, revisiting symbols; bounded work.
    std::vector<uint32_t> order;
    for (const auto& entry : positions) order.push_back(entry.first);
    order.insert(order.end(), probes.begin(), probes.end());
    const size_t budget = std::max<size_t>(64, (size_t{1} << 18) / (blocks + 1));
    if (order.size() > budget) {
        for (size_t i = 0; i < budget; ++i)
            std::swap(order[i], order[i + next32(in) % (order.size() - i)]);
        order.resize(budget);
    }
    for (size_t i = 0; i + 1 < order.size(); i += 1 + in.next() % 4)
        std::swap(order[i], order[i + 1]);

    typename qx::SymbolMasks<T, Hash>::Reader reader(masks);
    std::vector<uint64_t> expected(blocks);
    for (uint32_t symbol : order) {
        auto found = positions.find(symbol);
        if (found != positions.end())
            for (size_t i : found->second) expected[i >> 6] |= uint64_t{1} << (i & 63);
        else if (masks.id(symbol) != 0) bad("id of an absent symbol", symbol);
        const uint64_t* row = symbol < 0x100 && in.next() & 1
                                  ? reader.row(static_cast<uint8_t>(symbol))
                                  : reader.row(symbol);
        if (!std::equal(expected.begin(), expected.end(), row)) bad("row", symbol);
        const uint64_t first = blocks ? expected[0] : 0;
        if (blocks <= 1 && masks.word(symbol) != first) bad("word", symbol);
        if (word_masks && word_masks->word(symbol) != first) bad("WordMasks::word", symbol);
        if (found != positions.end())
            for (size_t i : found->second) expected[i >> 6] = 0;
    }
}

// The pattern at its narrowest width or a wider one.
template <class Hash>
void check_widths(const Seq& pattern, const Seq& probes, Bytes& in) {
    const uint8_t narrowest = fuzzin::narrowest_width(pattern);
    const uint8_t pick = in.next();
    if (narrowest == 1 && pick % 3 == 0) {
        check_map<uint8_t, Hash>(pattern, probes, in);
    } else if (narrowest <= 2 && pick % 3 != 2) {
        check_map<uint16_t, Hash>(pattern, probes, in);
    } else {
        check_map<uint32_t, Hash>(pattern, probes, in);
    }
}

// Symbols absent from most patterns: every width, the edges of each range and beyond.
Seq probes(Bytes& in) {
    Seq out = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x101, 0xD800, 0xFFFF, 0x10000, 0x1F44D, 0x10FFFF,
               0x110000, 0xFFFFFFFF};
    for (int i = 0; i < 16; ++i) out.push_back(in.next16() | (in.next() & 0x1F) << 16);
    return out;
}

// A pattern of n symbols with about `distinct` different ones from [base, base + distinct),
// mixed with byte symbols.
Seq many_symbols(Bytes& in, size_t n, uint32_t distinct, uint32_t base) {
    Seq s(n);
    for (size_t i = 0; i < n; ++i) {
        uint8_t pick = in.next();
        if (pick < 16)
            s[i] = pick * 16;  // a byte symbol
        else if (i < distinct)
            s[i] = base + static_cast<uint32_t>(i);  // every value once at least
        else
            s[i] = base + next32(in) % distinct;
    }
    // A deterministic shuffle so that first occurrences are spread out.
    for (size_t i = n; i > 1; --i) std::swap(s[i - 1], s[next32(in) % i]);
    return s;
}

}  // namespace

// Over 65,535 distinct symbols need too long patterns for every input: checked once at start.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (uint8_t seed : {1, 2}) {
        const uint8_t bytes[] = {seed, 0x5A, 0xC3};
        Bytes in(bytes, sizeof bytes);
        const size_t n = 65600 + in.next16() % 2000;
        const uint32_t base = 0x100 + in.next16() % 0x10000;
        const Seq pattern = many_symbols(in, n, 65536 + in.next() % 64, base);
        check_map<uint32_t, qx::SymbolHash>(pattern, probes(in), in);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    const uint8_t mode = in.next() % 4;
    if (mode < 2) {
        // Texts of the fuzz harness: small alphabets, 700 CJK symbols, block-boundary lengths.
        const fuzzin::Pair p = fuzzin::decode_pair(in, 700);
        Seq extra = probes(in);
        extra.insert(extra.end(), p.b.begin(), p.b.end());
        check_widths<qx::SymbolHash>(p.a, extra, in);
    } else {
        // Mode 2: over 255 distinct symbols at block-boundary lengths (rows whole or in
        // pieces); mode 3: colliding hashes (lookups probe through the symbols before: small).
        static constexpr size_t kLengths[2][10] = {
            {255, 256, 257, 319, 320, 321, 1023, 1024, 1025, 4096},
            {1, 63, 64, 65, 127, 128, 129, 300, 700, 64}};
        const bool many = mode == 2;
        const size_t n = kLengths[!many][in.next() % 10] + (many ? in.next() % 3 : 0);
        const uint32_t distinct = many ? 200 + in.next16() % 1200 : 1 + in.next16() % 300;
        const uint32_t base = in.next() & 1 ? 0x100 : (many ? 0x1F000 : 0x10000) + in.next16();
        const Seq pattern = many_symbols(in, n, distinct, base);
        const uint8_t hash = many ? 0 : 1 + (in.next() & 1);
        if (hash == 0) check_widths<qx::SymbolHash>(pattern, probes(in), in);
        if (hash == 1) check_widths<OneSlotHash>(pattern, probes(in), in);
        if (hash == 2) check_widths<LowBitHash>(pattern, probes(in), in);
    }
    return 0;
}
