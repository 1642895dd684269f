// Native checks of the join's count filters, compiled and run by test_join.py: the SSE2 form of
// counts_allow equals its one-bucket-at-a-time reference; the bucket counts never exceed what
// the true symbol counts give (P and N, and the common symbols bound of Jaro). Texts of every
// width, with symbols repeated past the buckets' saturation. Prints "ok" or the first failure.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include "join/join_index.hpp"

namespace {

using qx::Text;
using namespace qx::join;

void fail(const char* what, long a, long b) {
    std::printf("FAILED: %s (%ld, %ld)\n", what, a, b);
    std::exit(1);
}

// P, N and the common symbols of two texts, counted per code point.
struct Excess {
    long p = 0, n = 0, common = 0;
};
Excess excess(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    std::map<uint32_t, std::pair<long, long>> count;
    for (uint32_t c : a) ++count[c].first;
    for (uint32_t c : b) ++count[c].second;
    Excess e;
    for (const auto& [c, k] : count) {
        e.p += std::max(0L, k.first - k.second);
        e.n += std::max(0L, k.second - k.first);
        e.common += std::min(k.first, k.second);
    }
    return e;
}

}  // namespace

int main() {
    std::mt19937_64 rng(20261207);
    const std::vector<std::vector<uint32_t>> alphabets = {
        {'a', 'b'}, {'a', 'b', 'c', 'A', 'B', '!'}, {0xE9, 0x3B2, 0x65E5, 0x1F600, 'a'},
        {'a', 'a' + 32, 'a' + 64, 0x10000 + 'a'}};  // one bucket, several symbols
    for (int round = 0; round < 20000; ++round) {
        const auto& alphabet = alphabets[rng() % alphabets.size()];
        std::vector<uint32_t> a(rng() % 50), b(rng() % 50);
        for (auto& c : a) c = alphabet[rng() % alphabet.size()];
        for (auto& c : b) c = alphabet[rng() % alphabet.size()];
        const Text ta{std::span<const uint32_t>(a)}, tb{std::span<const uint32_t>(b)};
        const SymbolCounts ca = count_symbols_of(ta), cb = count_symbols_of(tb);
        const Excess e = excess(a, b);
        // The true excesses always pass; the vector form answers as the reference does.
        if (!counts_allow(ca, cb, std::max(e.p, e.n), false)) fail("max(P, N) rejected", e.p, e.n);
        if (!counts_allow(ca, cb, e.p + e.n, true)) fail("P + N rejected", e.p, e.n);
        for (long limit = -1; limit < 60; ++limit)
            for (bool summed : {false, true})
                if (counts_allow(ca, cb, limit, summed) !=
                    counts_allow_reference(ca, cb, limit, summed))
                    fail("vector and reference differ", limit, summed);
        const size_t shorter = std::min(a.size(), b.size());
        const size_t bound = common_symbols_bound(ca, cb, shorter);
        if (static_cast<long>(bound) < e.common) fail("common symbols above the bound", bound, e.common);
    }
    std::printf("ok\n");
    return 0;
}
