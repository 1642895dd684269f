// Splitting a text into words at Unicode White_Space characters.
#pragma once

#include <string_view>

#include "../small_vector.hpp"
#include "../utf8_bridge.hpp"

namespace qx {

// A word: a non-empty view into the caller's text, compared by its bytes.
using Token = std::string_view;

// The words of one text in order, duplicates kept; 16 inline before any heap allocation.
using TokenList = SmallVector<Token, 16>;

// Byte length of the White_Space character starting at p (0 if there is none). White_Space:
// U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F,
// U+205F, U+3000. U+200B, U+180E and U+FEFF are not white space.
inline size_t white_space_at(const unsigned char* p, const unsigned char* end) {
    unsigned char c = p[0];
    if (c < 0x80) return (c == 0x20 || (c >= 0x09 && c <= 0x0D)) ? 1 : 0;
    size_t left = static_cast<size_t>(end - p);
    if (c == 0xC2) return (left >= 2 && (p[1] == 0x85 || p[1] == 0xA0)) ? 2 : 0;
    if (left < 3) return 0;
    if (c == 0xE1) return (p[1] == 0x9A && p[2] == 0x80) ? 3 : 0;
    if (c == 0xE2) {
        if (p[1] == 0x80) {
            unsigned char d = p[2];
            return (d <= 0x8A || d == 0xA8 || d == 0xA9 || d == 0xAF) ? 3 : 0;
        }
        return (p[1] == 0x81 && p[2] == 0x9F) ? 3 : 0;
    }
    if (c == 0xE3) return (p[1] == 0x80 && p[2] == 0x80) ? 3 : 0;
    return 0;
}

// Appends the words of `text` to `out`: each maximal run of non-white-space characters.
inline void split_words(Utf8 text, TokenList& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    for (;;) {
        while (p < end) {
            size_t ws = white_space_at(p, end);
            if (!ws) break;
            p += ws;
        }
        if (p == end) return;
        const unsigned char* word = p++;
        // Printable ASCII never separates; everything else asks the full test. Continuation
        // bytes of a multi-byte character are never taken for the start of a separator.
        while (p < end) {
            unsigned char c = *p;
            if ((c > 0x20 && c < 0x7F) || !white_space_at(p, end)) {
                ++p;
                continue;
            }
            break;
        }
        out.push_back(Token(reinterpret_cast<const char*>(word), static_cast<size_t>(p - word)));
    }
}

}  // namespace qx
