// One scorer of the function table made ready for a search: its row, its converted options, the
// direction of "better" and the cutoff in the row's own type. Every score it gives is what the
// scalar function returns for the pair. No Python here.
#pragma once

#include <cmath>
#include <cstdint>
#include <string_view>

#include "../function_table.hpp"

namespace qx::search {

// The outcome of one pair: a value, or none (a missing text, or a measure with no value for
// the pair, like Hamming's for texts of unequal length). Integer results are held exactly
// (every count fits the 53 bits of a double's significand).
struct Score {
    double value = 0.0;
    bool present = false;
};

// A score cutoff as the row's kernel takes it.
struct Cutoff {
    bool set = false;
    uint64_t n = 0;    // integer rows
    double f = 0.0;    // float rows

    IntCutoff as_int() const { return set ? IntCutoff(n) : IntCutoff(); }
    FloatCutoff as_float() const { return set ? FloatCutoff(f) : FloatCutoff(); }
};

class RowScorer {
  public:
    RowScorer(const Row& row, const Options& options)
        : row_(&row), options_(options), lower_is_better_(row.name.ends_with("_distance")) {}

    const Row& row() const { return *row_; }
    const Options& options() const { return options_; }
    bool integer() const {
        return row_->result == ResultKind::Int || row_->result == ResultKind::OptInt;
    }
    bool lower_is_better() const { return lower_is_better_; }

    // The scalar function's value for (a, b) under `cutoff`.
    Score score(Text a, Text b, const Cutoff& cutoff) const {
        switch (row_->result) {
            case ResultKind::Int:
                return {static_cast<double>(row_->int_kernel(a, b, options_, cutoff.as_int())),
                        true};
            case ResultKind::Float:
                return {row_->float_kernel(a, b, options_, cutoff.as_float()), true};
            case ResultKind::OptInt: {
                auto v = row_->opt_int_kernel(a, b, options_, cutoff.as_int());
                return v ? Score{static_cast<double>(*v), true} : Score{};
            }
            default: {
                auto v = row_->opt_float_kernel(a, b, options_, cutoff.as_float());
                return v ? Score{*v, true} : Score{};
            }
        }
    }

    // Whether `value` is kept by `cutoff`: at or above it for similarities, at or below it
    // for distances. A NaN value is never kept, nor is anything by a NaN cutoff.
    bool meets(double value, const Cutoff& cutoff) const {
        if (!cutoff.set) return value == value;
        const double c = integer() ? static_cast<double>(cutoff.n) : cutoff.f;
        return lower_is_better_ ? value <= c : value >= c;
    }
    // Strictly better; false whenever a NaN is involved.
    bool better(double a, double b) const { return lower_is_better_ ? a < b : a > b; }

    // The cutoff a search may pass once `found` is the score to beat: any value at least as
    // good comes back exact. Float cutoffs keep a small margin, so that no kernel's rounding
    // of its own bounds can cut a value equal to `found`.
    Cutoff raised(double found, const Cutoff& user) const;

    // Whether the kernels of this row honour a raised cutoff as `raised` needs: every value
    // that meets the cutoff is exact, every other value fails it.
    bool prunable() const;

  private:
    const Row* row_;
    Options options_;
    bool lower_is_better_;
};

}  // namespace qx::search
