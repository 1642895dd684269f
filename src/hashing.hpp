// The process-wide randomly seeded hashing state shared by every hash map and set
// keyed by symbols or words. No result may depend on the iteration order it gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qx {

// Seed drawn once per process, when the module is loaded, from the operating system's
// entropy source.
extern const uint64_t kHashSeed;
inline uint64_t hash_seed() { return kHashSeed; }

inline uint64_t hash_mix(uint64_t a, uint64_t b) {
    __uint128_t r = static_cast<__uint128_t>(a) * b;
    return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
}

// Seeded hash of a 32-bit symbol.
inline uint64_t hash_symbol(uint32_t v) {
    return hash_mix(v ^ 0xa0761d6478bd642fULL, hash_seed() ^ 0xe7037ed1a0b428dbULL);
}

// Seeded hash of a byte string.
inline uint64_t hash_bytes(std::string_view s) {
    constexpr uint64_t k0 = 0xa0761d6478bd642fULL, k1 = 0xe7037ed1a0b428dbULL;
    uint64_t h = hash_seed() ^ (s.size() * k1);
    const char* p = s.data();
    size_t n = s.size();
    while (n >= 16) {
        uint64_t a, b;
        std::memcpy(&a, p, 8);
        std::memcpy(&b, p + 8, 8);
        h = hash_mix(a ^ k0 ^ h, b ^ k1);
        p += 16;
        n -= 16;
    }
    uint64_t a = 0, b = 0;
    if (n >= 8) {
        std::memcpy(&a, p, 8);
        std::memcpy(&b, p + n - 8, 8);
    } else if (n >= 4) {
        uint32_t x, y;
        std::memcpy(&x, p, 4);
        std::memcpy(&y, p + n - 4, 4);
        a = x;
        b = y;
    } else if (n > 0) {
        a = (uint64_t(uint8_t(p[0])) << 16) | (uint64_t(uint8_t(p[n >> 1])) << 8) |
            uint8_t(p[n - 1]);
    }
    return hash_mix(a ^ k0 ^ h, b ^ k1 ^ n);
}

// Seeded hash of a sequence of code points held in units of any width: equal sequences hash
// equal whatever their units. Two code points per multiplication.
template <class Unit>
inline uint64_t hash_code_points(const Unit* p, size_t n) {
    constexpr uint64_t k0 = 0xa0761d6478bd642fULL, k1 = 0xe7037ed1a0b428dbULL;
    uint64_t h = hash_seed() ^ (n * k1);
    size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        const uint64_t pair = static_cast<uint64_t>(p[i]) | (static_cast<uint64_t>(p[i + 1]) << 32);
        h = hash_mix(pair ^ k0 ^ h, k1 ^ i);
    }
    const uint64_t last = i < n ? static_cast<uint64_t>(p[i]) + 1 : 0;
    return hash_mix(last ^ k0 ^ h, k1 ^ n);
}

struct BytesHash {
    size_t operator()(std::string_view s) const { return hash_bytes(s); }
};
struct SymbolHash {
    size_t operator()(uint32_t v) const { return hash_symbol(v); }
};

}  // namespace qx
