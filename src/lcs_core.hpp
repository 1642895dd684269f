// Length of the longest common subsequence: bit-parallel over 64-bit words for byte
// symbols (Hyyrö's recurrence), a two-row dynamic programme for Unicode scalar values.
#pragma once

#include <cstdint>
#include <span>

#include "text.hpp"

namespace qx {

// LCS of two byte sequences; s1 is the pattern whose masks are built, s2 is streamed.
uint64_t lcs_bytes(std::span<const unsigned char> s1, std::span<const unsigned char> s2);

// LCS of two scalar-value sequences (dynamic programme; per-thread rows for short inputs).
uint64_t lcs_symbols(std::span<const uint32_t> s1, std::span<const uint32_t> s2);

// LCS of two texts: bytes when both are ASCII, otherwise both decoded to scalar values.
uint64_t lcs_length(Text s1, Text s2);

// The dynamic programme on the calling thread's partial-ratio rows, which are separate from
// those of lcs_symbols and have no size limit. `outer` is streamed, `inner` (the needle)
// spans the rows; the outer sequence may be the shorter one.
// When `profile` is given, profile[i] receives the LCS of `inner` against outer[0..i]
// (outer.size() entries). With `backward`, both sequences are read from their last symbol,
// so profile[i] is the LCS against the last i + 1 symbols of `outer`.
uint64_t lcs_symbols_window(std::span<const uint32_t> outer, std::span<const uint32_t> inner,
                            uint64_t* profile = nullptr, bool backward = false);

}  // namespace qx
