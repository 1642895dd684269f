// The memory layout shared by the pattern packs and the lane kernels of every instruction set:
// mask rows, the Jaro window of one streamed text, and the kernel signatures.
//
// This header and lane_recurrences.hpp are included by the files compiled for AVX2 and SSE4.2;
// they hold only types and templates (no functions with external linkage), so that nothing
// compiled for a wider instruction set can be picked by the linker for baseline code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::simd {

// A pack's patterns side by side: one row of kRowBits bits per symbol, split into lanes of
// 8, 16, 32 or 64 bits, lane k holding pattern k. Bit i of lane k is set in the row of symbol c
// when pattern k holds c at position i. Lanes are little-endian integers, lane k at byte
// k * lane_bits / 8. A row spans two AVX2 registers (four SSE registers, eight 64-bit words):
// two independent dependency chains per streamed symbol keep the vector units busy.
inline constexpr size_t kRowBytes = 64;
inline constexpr size_t kRowBits = kRowBytes * 8;

struct alignas(64) Row {
    uint8_t bytes[kRowBytes];
};

// Row ids of the streamed symbols index a pack's rows; row 0 is all zeros (symbols that no
// pattern holds).
using RowId = uint16_t;

// Where each lane's Jaro match window lies while a text of n symbols is streamed. Pattern
// position i and text position j match only when |i - j| <= w, with w = max(m, n) / 2 - 1
// (0 below two symbols) for a pattern of m symbols. Every lane whose pattern is no longer than
// the text has the same w = base; a longer pattern has base + extra[lane] (less than 32).
struct JaroWindow {
    Row upper{};           // per lane: bits 0 .. w, the window of text position 0
    Row extra{};           // per lane: w - base, a lane-wide integer
    size_t base = 0;       // the smallest w of the lanes
    size_t extra_max = 0;  // the largest extra of the lanes
};

// Streams n symbols (row ids `ids` into `rows`) through the lanes.
//
// LCS (Hyyrö's recurrence, after Allison and Dix): `state` holds S on entry (all ones to
// start) and on return; the LCS of lane k is the number of zero bits of S among the lane's
// pattern positions.
using LcsKernel = void (*)(const Row* rows, const RowId* ids, size_t n, Row& state);

// Levenshtein (Hyyrö 2003, after Myers 1999): adds to score[k] the change of the last row's
// value at the lane's last pattern position, whose bit is set in `last` (no bit for an empty
// pattern). The distance of lane k is then its pattern length plus score[k].
using LevenshteinKernel = void (*)(const Row* rows, const RowId* ids, size_t n, const Row& last,
                                   int64_t* score);

// Jaro matching: each text symbol in turn takes the lowest unflagged pattern position of its
// window holding that symbol. On return `flags` holds the matched pattern positions of each
// lane and `mismatches` (lane-wide integers) the number of k such that the k-th matched pattern
// symbol differs from the k-th matched text symbol. `scratch` has room for n rows.
using JaroKernel = void (*)(const Row* rows, const RowId* ids, size_t n, const JaroWindow& window,
                            Row* scratch, Row& flags, Row& mismatches);

// One instruction set's kernels, indexed by lane width: 8, 16, 32, 64 bits.
struct LaneKernels {
    const char* name;
    LcsKernel lcs[4];
    LevenshteinKernel levenshtein[4];
    JaroKernel jaro[4];
};

}  // namespace qx::simd
