// The declarative function table: one constexpr record per Python function.
// Parameter descriptions, text signatures, wrappers and registration all derive from it.
// No Python here: a row names its kernel as a plain C++ function.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "cutoff.hpp"
#include "text.hpp"

namespace qx {

enum class Module : uint8_t { Distance, Fuzz, Top };

// The options a function takes: a fixed list of keyword-only options before `score_cutoff`.
enum class OptionSet : uint8_t { None, PrefixWeight, Tversky, Alignment, Cosine, Threshold };

enum class ResultKind : uint8_t { Int, Float, OptInt, OptFloat };

enum class OptionKind : uint8_t { Float, UInt, Bool };

// Native option values handed to the kernels; which fields are used depends on the option set.
struct Options {
    // The float options in signature order: prefix_weight; alpha, beta; match_score,
    // mismatch_score, gap_cost; threshold.
    double parameters[3] = {0.0, 0.0, 0.0};
    uint64_t ngram_size = 0;
    bool use_words = false;
};

struct OptionInfo {
    std::string_view name;
    OptionKind kind;
    std::string_view default_text;  // as shown in the text signature
    double float_default;
    uint64_t uint_default;
    bool bool_default;
    uint8_t parameter_slot;  // index into Options::parameters for float options
};

struct OptionSetInfo {
    uint8_t count;
    OptionInfo options[3];
};

inline constexpr OptionSetInfo kOptionSets[] = {
    /* None */ {0, {}},
    /* PrefixWeight */ {1, {{"prefix_weight", OptionKind::Float, "0.1", 0.1, 0, false, 0}}},
    /* Tversky */
    {2,
     {{"alpha", OptionKind::Float, "1.0", 1.0, 0, false, 0},
      {"beta", OptionKind::Float, "1.0", 1.0, 0, false, 1}}},
    /* Alignment */
    {3,
     {{"match_score", OptionKind::Float, "1.0", 1.0, 0, false, 0},
      {"mismatch_score", OptionKind::Float, "0.0", 0.0, 0, false, 1},
      {"gap_cost", OptionKind::Float, "1.0", 1.0, 0, false, 2}}},
    /* Cosine */
    {2,
     {{"use_words", OptionKind::Bool, "True", 0.0, 0, true, 0},
      {"ngram_size", OptionKind::UInt, "2", 0.0, 2, false, 0}}},
    /* Threshold */ {1, {{"threshold", OptionKind::Float, "0.8", 0.8, 0, false, 0}}},
};

constexpr const OptionSetInfo& option_set_info(OptionSet s) {
    return kOptionSets[static_cast<size_t>(s)];
}

constexpr Options default_options(OptionSet s) {
    Options o;
    const OptionSetInfo& info = option_set_info(s);
    for (size_t i = 0; i < info.count; ++i) {
        const OptionInfo& opt = info.options[i];
        switch (opt.kind) {
            case OptionKind::Float:
                o.parameters[opt.parameter_slot] = opt.float_default;
                break;
            case OptionKind::UInt:
                o.ngram_size = opt.uint_default;
                break;
            case OptionKind::Bool:
                o.use_words = opt.bool_default;
                break;
        }
    }
    return o;
}

using IntKernel = uint64_t (*)(Text, Text, const Options&, IntCutoff);
using FloatKernel = double (*)(Text, Text, const Options&, FloatCutoff);
using OptIntKernel = std::optional<uint64_t> (*)(Text, Text, const Options&, IntCutoff);
using OptFloatKernel = std::optional<double> (*)(Text, Text, const Options&, FloatCutoff);

// Returns the ValueError message for option values a measure has no value for, or nullptr.
using OptionCheck = const char* (*)(const Options&);

struct Row {
    std::string_view name;
    Module module;
    bool batch;
    OptionSet option_set;  // batch rows: copied from their scalar row
    ResultKind result;     // batch rows: copied from their scalar row
    const char* doc;       // docstring body, or nullptr for an empty body
    IntKernel int_kernel = nullptr;
    FloatKernel float_kernel = nullptr;
    OptIntKernel opt_int_kernel = nullptr;
    OptFloatKernel opt_float_kernel = nullptr;
    OptionCheck check = nullptr;
    // Flags rather than pointer tests, so they stay constant expressions in every build mode.
    bool has_check = false;
};

// Option I of option set S.
template <OptionSet S, size_t I>
constexpr OptionInfo kOptionOf = kOptionSets[static_cast<size_t>(S)].options[I];

// The value of option I of option set S in `o`, of the option's native type.
template <OptionSet S, size_t I>
inline auto option_value(const Options& o) {
    constexpr OptionInfo opt = kOptionOf<S, I>;
    if constexpr (opt.kind == OptionKind::Float) {
        return o.parameters[opt.parameter_slot];
    } else if constexpr (opt.kind == OptionKind::UInt) {
        return o.ngram_size;
    } else {
        return o.use_words;
    }
}

// Adapts kernel K, of natural signature (s1, s2, options of option set S..., cutoff), to the
// table's uniform one. The kernel must take exactly the options of its row's option set, in
// signature order and of their native types.
template <auto K, OptionSet S, class R, class C>
R adapt(Text a, Text b, const Options& o, C c) {
    return [&]<size_t... I>(std::index_sequence<I...>) {
        static_assert(
            std::is_same_v<decltype(K), R (*)(Text, Text, decltype(option_value<S, I>(o))..., C)>,
            "a kernel takes the options of its row's option set");
        return K(a, b, option_value<S, I>(o)..., c);
    }(std::make_index_sequence<kOptionSets[static_cast<size_t>(S)].count>{});
}

template <class F>
struct KernelTraits;
template <class Ret, class... Args>
struct KernelTraits<Ret (*)(Args...)> {
    using Result = Ret;
    using Cutoff = std::tuple_element_t<sizeof...(Args) - 1, std::tuple<Args...>>;
};

// A scalar row whose kernel is K, taking the options of `option_set`; the result kind follows from
// K's return type.
template <auto K, OptionSet option_set = OptionSet::None>
constexpr Row row(std::string_view name, Module module, const char* doc,
                  OptionCheck check = nullptr) {
    using Traits = KernelTraits<decltype(K)>;
    using R = typename Traits::Result;
    using C = typename Traits::Cutoff;
    Row r{name, module, false, option_set, ResultKind::Int, doc};
    r.check = check;
    r.has_check = check != nullptr;
    if constexpr (std::is_same_v<R, uint64_t>) {
        r.result = ResultKind::Int;
        r.int_kernel = &adapt<K, option_set, R, C>;
    } else if constexpr (std::is_same_v<R, double>) {
        r.result = ResultKind::Float;
        r.float_kernel = &adapt<K, option_set, R, C>;
    } else if constexpr (std::is_same_v<R, std::optional<uint64_t>>) {
        r.result = ResultKind::OptInt;
        r.opt_int_kernel = &adapt<K, option_set, R, C>;
    } else {
        static_assert(std::is_same_v<R, std::optional<double>>, "unsupported kernel result");
        r.result = ResultKind::OptFloat;
        r.opt_float_kernel = &adapt<K, option_set, R, C>;
    }
    return r;
}

// A batch row: everything but its name and docstring comes from the scalar row it names
// (the name without "_batch"); resolved by resolve_batch_rows.
constexpr Row batch(std::string_view name, Module module, const char* doc = nullptr) {
    return Row{name, module, true, OptionSet::None, ResultKind::Int, doc};
}

template <size_t N>
constexpr size_t find_row(const std::array<Row, N>& rows, std::string_view name) {
    for (size_t i = 0; i < N; ++i)
        if (!rows[i].batch && rows[i].name == name) return i;
    return N;
}

template <size_t N>
constexpr std::array<Row, N> resolve_batch_rows(std::array<Row, N> rows) {
    for (size_t i = 0; i < N; ++i) {
        if (!rows[i].batch) continue;
        std::string_view stem = rows[i].name.substr(0, rows[i].name.size() - 6);
        size_t s = find_row(rows, stem);
        if (s == N) throw "batch row without a scalar row";  // fails constant evaluation
        Row r = rows[s];
        r.name = rows[i].name;
        r.module = rows[i].module;
        r.doc = rows[i].doc;
        r.batch = true;
        rows[i] = r;
    }
    return rows;
}

}  // namespace qx
