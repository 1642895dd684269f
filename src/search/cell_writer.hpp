// Writes scores into the cells of a result array of any of the supported number types, as the
// array's memory holds them. No Python here.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "row_scorer.hpp"

namespace qx::search {

enum class CellType : uint8_t { f32, f64, i8, i16, i32, i64, u8, u16, u32, u64 };

// Float scores go to integer cells rounded to the nearest integer, halves away from zero.
// A cell that cannot hold its score (out of range, NaN, or a missing score in an unsigned
// cell) is refused; missing scores are NaN in float cells and -1 in signed ones.
class CellWriter {
  public:
    CellWriter(void* data, CellType type) : data_(static_cast<char*>(data)), type_(type) {}

    // Calls f(T{}) with T the cell type, so that loops over many cells can be compiled per type
    // and call write_as<T>.
    template <class F>
    decltype(auto) with_type(F&& f) const {
        switch (type_) {
            case CellType::f32: return f(float{});
            case CellType::f64: return f(double{});
            case CellType::i8: return f(int8_t{});
            case CellType::i16: return f(int16_t{});
            case CellType::i32: return f(int32_t{});
            case CellType::i64: return f(int64_t{});
            case CellType::u8: return f(uint8_t{});
            case CellType::u16: return f(uint16_t{});
            case CellType::u32: return f(uint32_t{});
            default: return f(uint64_t{});
        }
    }

    template <class T>
    bool write_as(size_t k, Score s) const {
        if constexpr (std::is_floating_point_v<T>)
            return put<T>(k, s.present ? static_cast<T>(s.value)
                                       : std::numeric_limits<T>::quiet_NaN());
        else
            return integral<T>(k, s);
    }

    bool write(size_t k, Score s) const {
        switch (type_) {
            case CellType::f32:
                return put<float>(k, s.present ? static_cast<float>(s.value)
                                               : std::numeric_limits<float>::quiet_NaN());
            case CellType::f64:
                return put<double>(k, s.present ? s.value : std::numeric_limits<double>::quiet_NaN());
            case CellType::i8: return integral<int8_t>(k, s);
            case CellType::i16: return integral<int16_t>(k, s);
            case CellType::i32: return integral<int32_t>(k, s);
            case CellType::i64: return integral<int64_t>(k, s);
            case CellType::u8: return integral<uint8_t>(k, s);
            case CellType::u16: return integral<uint16_t>(k, s);
            case CellType::u32: return integral<uint32_t>(k, s);
            default: return integral<uint64_t>(k, s);
        }
    }

  private:
    template <class T>
    bool put(size_t k, T v) const {
        std::memcpy(data_ + k * sizeof(T), &v, sizeof(T));
        return true;
    }
    template <class T>
    bool integral(size_t k, Score s) const {
        if (!s.present) {
            if constexpr (std::is_signed_v<T>) return put<T>(k, T(-1));
            return false;
        }
        const double r = std::round(s.value);
        // Both bounds are exact powers of two (or zero) as doubles.
        constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
        constexpr double hi_excl = 2.0 * (static_cast<double>(std::numeric_limits<T>::max() / 2) + 1.0);
        if (!(r >= lo && r < hi_excl)) return false;
        return put<T>(k, static_cast<T>(r));
    }

    char* data_;
    CellType type_;
};

}  // namespace qx::search
