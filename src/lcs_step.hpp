// One step of the bit-parallel LCS recurrence (Hyyrö's, after Allison and Dix) over a state S
// of one or more 64-bit words, the pattern's positions in order from bit 0 of word 0: for a
// text symbol whose match row is `row`, S becomes (S + u) | (S - u) with u = S & row, the
// addition running across the words as one number. The LCS is the number of zero bits of S
// among the pattern's positions. No Python here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx {

// The step on N consecutive words of the state, the addition continuing `carry` (0 or all
// ones) of the words below and passing its own on. GCC does not keep a carry in the flags
// across _addcarry_u64 calls (it saves and restores it per word), so on x86-64 the chain of
// additions is written out.
template <size_t N>
inline void lcs_step_block(uint64_t* s, const uint64_t* row, uint64_t& carry) {
#if defined(__x86_64__)
    if constexpr (N == 4) {
        uint64_t s0 = s[0], s1 = s[1], s2 = s[2], s3 = s[3];
        uint64_t u0 = row[0], u1 = row[1], u2 = row[2], u3 = row[3];
        uint64_t x0, x1, x2, x3;
        asm("andq %[s0], %[u0]\n\t"
            "andq %[s1], %[u1]\n\t"
            "andq %[s2], %[u2]\n\t"
            "andq %[s3], %[u3]\n\t"
            "movq %[s0], %[x0]\n\t"
            "subq %[u0], %[x0]\n\t"
            "movq %[s1], %[x1]\n\t"
            "subq %[u1], %[x1]\n\t"
            "movq %[s2], %[x2]\n\t"
            "subq %[u2], %[x2]\n\t"
            "movq %[s3], %[x3]\n\t"
            "subq %[u3], %[x3]\n\t"
            "addq %[c], %[c]\n\t"
            "adcq %[u0], %[s0]\n\t"
            "adcq %[u1], %[s1]\n\t"
            "adcq %[u2], %[s2]\n\t"
            "adcq %[u3], %[s3]\n\t"
            "sbbq %[c], %[c]\n\t"
            "orq %[x0], %[s0]\n\t"
            "orq %[x1], %[s1]\n\t"
            "orq %[x2], %[s2]\n\t"
            "orq %[x3], %[s3]"
            : [s0] "+r"(s0), [s1] "+r"(s1), [s2] "+r"(s2), [s3] "+r"(s3), [u0] "+r"(u0),
              [u1] "+r"(u1), [u2] "+r"(u2), [u3] "+r"(u3), [x0] "=&r"(x0), [x1] "=&r"(x1),
              [x2] "=&r"(x2), [x3] "=&r"(x3), [c] "+r"(carry)
            :
            : "cc");
        s[0] = s0;
        s[1] = s1;
        s[2] = s2;
        s[3] = s3;
        return;
    } else if constexpr (N == 1) {
        uint64_t s0 = s[0], u0 = row[0], x0;
        asm("andq %[s0], %[u0]\n\t"
            "movq %[s0], %[x0]\n\t"
            "subq %[u0], %[x0]\n\t"
            "addq %[c], %[c]\n\t"
            "adcq %[u0], %[s0]\n\t"
            "sbbq %[c], %[c]\n\t"
            "orq %[x0], %[s0]"
            : [s0] "+r"(s0), [u0] "+r"(u0), [x0] "=&r"(x0), [c] "+r"(carry)
            :
            : "cc");
        s[0] = s0;
        return;
    }
#endif
    for (size_t k = 0; k < N; ++k) {
        const uint64_t sk = s[k];
        const uint64_t u = sk & row[k];
        const uint64_t in = carry & 1;
        const uint64_t sum = sk + u;
        const uint64_t out = (sum < sk) | ((sum + in) < sum);
        s[k] = (sum + in) | (sk - u);
        carry = uint64_t{0} - out;
    }
}

// The step on W words of the state (`words` when W is 0), continuing `carry`.
template <size_t W>
inline void lcs_step_words(uint64_t* s, const uint64_t* row, uint64_t& carry, size_t words = W) {
    const size_t n = W ? W : words;
    size_t j = 0;
    for (; j + 4 <= n; j += 4) lcs_step_block<4>(s + j, row + j, carry);
    for (; j < n; ++j) lcs_step_block<1>(s + j, row + j, carry);
}

// The step on the whole state of W words (`words` when W is 0). The loop of lcs_step_words,
// written out: one inline level less keeps GCC's inlining of the scans that call it.
template <size_t W>
inline void lcs_step(uint64_t* s, const uint64_t* row, size_t words = W) {
    uint64_t carry = 0;
    const size_t n = W ? W : words;
    size_t j = 0;
    for (; j + 4 <= n; j += 4) lcs_step_block<4>(s + j, row + j, carry);
    for (; j < n; ++j) lcs_step_block<1>(s + j, row + j, carry);
}

// The step on the last word of the state, `carry` coming from the words below, for callers that
// follow the LCS as it grows: returns 1 when the addition carries out of bit `top_bit` (the
// pattern's last position), which happens exactly when the step lengthens the LCS.
inline uint64_t lcs_step_last(uint64_t& s, uint64_t row, uint64_t carry, unsigned top_bit) {
    const uint64_t a = s;
    const uint64_t u = a & row;
    const uint64_t sum = a + u + (carry & 1);
    s = sum | (a - u);
    // Carry out of each bit: both addends set, or either set and the sum bit clear.
    const uint64_t carries = (a & u) | ((a | u) & ~sum);
    return (carries >> top_bit) & 1;
}

}  // namespace qx
