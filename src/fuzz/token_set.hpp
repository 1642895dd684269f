// Word-level operations of the token scorers: byte-order sorting, joining with single spaces,
// sets of distinct words and the partition of the words of two texts into shared and unshared
// words.
// Everything holds views into the caller's texts; strings are built only by join().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../small_vector.hpp"
#include "../utf8_bridge.hpp"
#include "words.hpp"

namespace qx {

// Byte order of tokens: unsigned bytes from the first on; a proper prefix comes first.
// Negative, zero or positive as x sorts before, equal to or after y.
inline int token_compare(Token x, Token y) {
    if (!x.empty() && !y.empty() && x[0] != y[0])
        return static_cast<unsigned char>(x[0]) < static_cast<unsigned char>(y[0]) ? -1 : 1;
    size_t n = x.size() < y.size() ? x.size() : y.size();
    int c = n ? std::memcmp(x.data(), y.data(), n) : 0;
    if (c != 0) return c;
    return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
}

inline bool token_less(Token x, Token y) {
    return token_compare(x, y) < 0;
}

inline bool token_equal(Token x, Token y) {
    if (x.size() != y.size()) return false;
    if (x.empty()) return true;
    return x[0] == y[0] && std::memcmp(x.data(), y.data(), x.size()) == 0;
}

// Sorts in ascending byte order: insertion sort up to 20 tokens, introsort above.
void sort_tokens(TokenList& tokens);

// Two sorted lists hold equal tokens at every position.
bool lists_equal(const TokenList& a, const TokenList& b);

// Character length of the tokens joined by single spaces (0 for no tokens). With `ascii` the
// tokens are known to come from an ASCII text, so that characters are bytes.
size_t joined_length(const TokenList& tokens, bool ascii = false);

// Storage for a joined string: 256 bytes inline, heap beyond.
class JoinBuffer {
  public:
    static constexpr size_t kInline = 256;

    JoinBuffer() = default;
    JoinBuffer(const JoinBuffer&) = delete;
    JoinBuffer& operator=(const JoinBuffer&) = delete;
    ~JoinBuffer() {
        if (heap_) std::free(heap_);
    }

    // Room for n bytes; earlier contents are not kept.
    char* room(size_t n) {
        if (n <= kInline) return inline_;
        if (n > heap_capacity_) {
            if (heap_) std::free(heap_);
            heap_ = static_cast<char*>(std::malloc(n));
            if (!heap_) std::abort();
            heap_capacity_ = n;
        }
        return heap_;
    }

  private:
    char inline_[kInline];
    char* heap_ = nullptr;
    size_t heap_capacity_ = 0;
};

// The tokens joined by single spaces. The result views either the caller's text (one token,
// or tokens already adjacent and separated by one space in that text) or `buffer`.
Utf8 join_tokens(const TokenList& tokens, JoinBuffer& buffer);

// The distinct tokens of a text, in order of first occurrence. Sets of up to kLinearMax
// tokens are searched by direct comparison; larger ones through an open-addressing index
// keyed by the process-wide seeded hash. Iteration is in insertion order, so nothing that
// walks a set depends on the hash seed.
class TokenSet {
  public:
    static constexpr size_t kLinearMax = 8;

    TokenSet() = default;
    explicit TokenSet(const TokenList& tokens) { assign(tokens); }
    TokenSet(const TokenSet&) = delete;
    TokenSet& operator=(const TokenSet&) = delete;

    // Replaces the contents with the distinct tokens of `tokens`.
    void assign(const TokenList& tokens);

    // Whether this set contains item i of `other`, reusing other's hash when both are hashed.
    bool contains_item_of(const TokenSet& other, size_t i) const;
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const TokenList& items() const { return items_; }
    const Token* begin() const { return items_.begin(); }
    const Token* end() const { return items_.end(); }

  private:
    bool hashed() const { return !slots_.empty(); }
    // Index of a token equal to t with hash h (hashed sets only), or -1.
    ptrdiff_t find_hashed(Token t, uint64_t h) const;
    ptrdiff_t find_linear(Token t) const;

    TokenList items_;
    SmallVector<uint64_t, 16> hashes_;  // hash of each item (hashed sets only)
    SmallVector<uint32_t, 32> slots_;   // item index + 1, 0 for a free slot
    size_t mask_ = 0;
};

// Equal size and every token of a in b.
bool sets_equal(const TokenSet& a, const TokenSet& b);

// At least one token in both; walks the smaller set (a on a tie) and stops at the first hit.
bool sets_intersect(const TokenSet& a, const TokenSet& b);

// The distinct words of two texts split into shared and unshared words.
struct TokenPartition {
    TokenList shared;       // words in both
    TokenList first_only;   // words of the first text only
    TokenList second_only;  // words of the second text only
};

// Partitions the distinct words of two sorted lists (duplicates allowed) by one merge walk.
// Each output list comes out sorted and without duplicates; no hashing is involved.
void partition_sorted(const TokenList& a, const TokenList& b, TokenPartition& out);

}  // namespace qx
