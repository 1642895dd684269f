#include "hashing.hpp"

#include <unistd.h>

#include <chrono>

namespace qx {

namespace {
uint64_t draw_seed() {
    uint64_t seed = 0;
    if (getentropy(&seed, sizeof(seed)) != 0) {
        // No entropy source: fall back to the clock; only iteration order depends on it.
        seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return seed | 1;
}
}  // namespace

const uint64_t kHashSeed = draw_seed();

}  // namespace qx
