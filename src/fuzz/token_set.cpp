#include "token_set.hpp"

#include <algorithm>
#include <bit>

#include "../hashing.hpp"

namespace qx {

void sort_tokens(TokenList& tokens) {
    size_t n = tokens.size();
    if (n < 2) return;
    Token* t = tokens.data();
    if (n <= 20) {
        for (size_t i = 1; i < n; ++i) {
            Token x = t[i];
            size_t j = i;
            while (j > 0 && token_less(x, t[j - 1])) {
                t[j] = t[j - 1];
                --j;
            }
            t[j] = x;
        }
        return;
    }
    std::sort(t, t + n, token_less);
}

bool lists_equal(const TokenList& a, const TokenList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!token_equal(a[i], b[i])) return false;
    return true;
}

size_t joined_length(const TokenList& tokens, bool ascii) {
    if (tokens.empty()) return 0;
    size_t len = tokens.size() - 1;
    if (ascii) {
        for (Token t : tokens) len += t.size();
    } else {
        for (Token t : tokens) len += count_symbols(t);
    }
    return len;
}

Utf8 join_tokens(const TokenList& tokens, JoinBuffer& buffer) {
    size_t n = tokens.size();
    if (n == 0) return Utf8();
    if (n == 1) return tokens[0];
    // Tokens that follow each other in their text with exactly one space between them are
    // already their own join.
    bool adjacent = true;
    for (size_t i = 1; i < n && adjacent; ++i) {
        const char* end = tokens[i - 1].data() + tokens[i - 1].size();
        adjacent = tokens[i].data() == end + 1 && *end == ' ';
    }
    if (adjacent) {
        const char* first = tokens[0].data();
        const char* last = tokens[n - 1].data() + tokens[n - 1].size();
        return Utf8(first, static_cast<size_t>(last - first));
    }
    size_t bytes = n - 1;
    for (Token t : tokens) bytes += t.size();
    char* out = buffer.room(bytes);
    char* p = out;
    std::memcpy(p, tokens[0].data(), tokens[0].size());
    p += tokens[0].size();
    for (size_t i = 1; i < n; ++i) {
        *p++ = ' ';
        std::memcpy(p, tokens[i].data(), tokens[i].size());
        p += tokens[i].size();
    }
    return Utf8(out, bytes);
}

void TokenSet::assign(const TokenList& tokens) {
    items_.clear();
    hashes_.clear();
    slots_.clear();
    mask_ = 0;
    if (tokens.size() <= kLinearMax) {
        for (Token t : tokens)
            if (find_linear(t) < 0) items_.push_back(t);
        return;
    }
    // Load factor at most one half. Item indices are stored as 32-bit values: a text would need
    // more than 8 GiB to hold 2^32 words.
    size_t cap = std::bit_ceil(tokens.size() * 2);
    slots_.resize(cap);
    mask_ = cap - 1;
    uint32_t* slots = slots_.data();
    for (Token t : tokens) {
        uint64_t h = hash_bytes(t);
        size_t i = static_cast<size_t>(h) & mask_;
        bool present = false;
        while (uint32_t s = slots[i]) {
            if (hashes_[s - 1] == h && token_equal(items_[s - 1], t)) {
                present = true;
                break;
            }
            i = (i + 1) & mask_;
        }
        if (present) continue;
        items_.push_back(t);
        hashes_.push_back(h);
        slots[i] = static_cast<uint32_t>(items_.size());
    }
}

ptrdiff_t TokenSet::find_linear(Token t) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (token_equal(items_[i], t)) return static_cast<ptrdiff_t>(i);
    return -1;
}

ptrdiff_t TokenSet::find_hashed(Token t, uint64_t h) const {
    size_t i = static_cast<size_t>(h) & mask_;
    while (uint32_t s = slots_[i]) {
        if (hashes_[s - 1] == h && token_equal(items_[s - 1], t))
            return static_cast<ptrdiff_t>(s - 1);
        i = (i + 1) & mask_;
    }
    return -1;
}

bool TokenSet::contains_item_of(const TokenSet& other, size_t i) const {
    Token t = other.items_[i];
    if (!hashed()) return find_linear(t) >= 0;
    uint64_t h = other.hashed() ? other.hashes_[i] : hash_bytes(t);
    return find_hashed(t, h) >= 0;
}

bool sets_equal(const TokenSet& a, const TokenSet& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!b.contains_item_of(a, i)) return false;
    return true;
}

bool sets_intersect(const TokenSet& a, const TokenSet& b) {
    const TokenSet& small = b.size() < a.size() ? b : a;
    const TokenSet& large = b.size() < a.size() ? a : b;
    for (size_t i = 0; i < small.size(); ++i)
        if (large.contains_item_of(small, i)) return true;
    return false;
}

void partition_sorted(const TokenList& a, const TokenList& b, TokenPartition& out) {
    out.shared.clear();
    out.first_only.clear();
    out.second_only.clear();
    size_t i = 0, j = 0, na = a.size(), nb = b.size();
    // Moves k past the run of tokens equal to list[k].
    auto skip = [](const TokenList& list, size_t& k) {
        Token t = list[k];
        do ++k;
        while (k < list.size() && token_equal(list[k], t));
    };
    while (i < na && j < nb) {
        int c = token_compare(a[i], b[j]);
        if (c < 0) {
            out.first_only.push_back(a[i]);
            skip(a, i);
        } else if (c > 0) {
            out.second_only.push_back(b[j]);
            skip(b, j);
        } else {
            out.shared.push_back(a[i]);
            skip(a, i);
            skip(b, j);
        }
    }
    while (i < na) {
        out.first_only.push_back(a[i]);
        skip(a, i);
    }
    while (j < nb) {
        out.second_only.push_back(b[j]);
        skip(b, j);
    }
}

}  // namespace qx
