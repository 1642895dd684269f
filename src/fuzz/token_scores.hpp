// Score formulas shared by the token scorers, and their calls into the character-level kernels
// (the LCS of two texts, ratio, partial ratio) on typed texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../cutoff.hpp"
#include "../lcs_core.hpp"
#include "../small_vector.hpp"
#include "../text.hpp"
#include "../utf8_bridge.hpp"
#include "partial_ratio.hpp"
#include "ratio.hpp"

namespace qx {

// Ratio of two strings of character lengths lx and ly with an LCS of `lcs`:
// (2 * lcs) * 100 / (lx + ly), the product by 100 taken before the division.
inline double string_ratio(uint64_t lcs, size_t lx, size_t ly) {
    return static_cast<double>(2 * lcs) * 100.0 / static_cast<double>(lx + ly);
}

// Normalized score of a distance d over a total t: 100 - (d * 100) / t, and 100 when t is 0.
inline double normalized_score(size_t d, size_t t) {
    if (t == 0) return 100.0;
    return 100.0 - static_cast<double>(d) * 100.0 / static_cast<double>(t);
}

// The larger of two doubles; a NaN argument yields the other one.
inline double max_of(double a, double b) {
    if (a != a) return b;
    if (b != b) return a;
    return a < b ? b : a;
}

// TRANSITIONAL: the LCS, ratio and partial ratio kernels still take UTF-8; these calls hand
// them typed texts through their UTF-8 forms (a width-1 ASCII text is viewed in place, others
// are encoded into storage owned by the call, never the bridge's per-thread buffers, so calls
// nest freely). Once those kernels take Text, each call below becomes the kernel itself.
class Utf8Form {
  public:
    explicit Utf8Form(Text t) {
        if (t.width == 1) {
            const auto units = t.units<uint8_t>();
            const Utf8 bytes(reinterpret_cast<const char*>(units.data()), units.size());
            if (is_ascii(bytes)) {
                view_ = bytes;
                return;
            }
        }
        const size_t per_unit = t.width == 1 ? 2 : t.width == 2 ? 3 : 4;
        if (t.length > SIZE_MAX / per_unit) throw std::bad_alloc();
        storage_.resize(t.length * per_unit);
        char* out = storage_.data();
        view_ = Utf8(out, visit(t, [out](auto units) { return encode_utf8(units, out); }));
    }
    Utf8Form(const Utf8Form&) = delete;
    Utf8Form& operator=(const Utf8Form&) = delete;

    Utf8 view() const { return view_; }

  private:
    SmallVector<char, 256> storage_;
    Utf8 view_;
};

// Length of the longest common subsequence of two texts.
inline uint64_t text_lcs(Text a, Text b) {
    Utf8Form x(a), y(b);
    return lcs_length(x.view(), y.view());
}

inline double text_partial_ratio(Text a, Text b, FloatCutoff cutoff) {
    Utf8Form x(a), y(b);
    return partial_ratio(x.view(), y.view(), cutoff);
}

}  // namespace qx
