// The scalar call frame: argument matching against a row's parameter description,
// conversion of each argument to a native value, the kernel call and the result object.
// One template instance per table row; everything a caller sees about argument errors is here.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <utility>

#include "function_table.hpp"
#include "interrupt.hpp"
#include "worker_pool.hpp"

namespace qx::py {

// Parameter names, interned once at module initialisation.
enum NameId : uint8_t {
    kS1,
    kS2,
    kPairs,
    kScoreCutoff,
    kPrefixWeight,
    kAlpha,
    kBeta,
    kMatchScore,
    kMismatchScore,
    kGapCost,
    kUseWords,
    kNgramSize,
    kThreshold,
    kNameCount
};

inline constexpr std::string_view kNameText[kNameCount] = {
    "s1",        "s2",         "pairs",       "score_cutoff",   "prefix_weight",
    "alpha",     "beta",       "match_score", "mismatch_score", "gap_cost",
    "use_words", "ngram_size", "threshold"};

extern PyObject* g_interned[kNameCount];
bool intern_parameter_names();

constexpr NameId name_id(std::string_view text) {
    for (uint8_t i = 0; i < kNameCount; ++i)
        if (kNameText[i] == text) return static_cast<NameId>(i);
    throw "unknown parameter name";
}

// Parameter description of a row: positional names, then keyword-only options, then
// score_cutoff. Every positional parameter is required; no keyword-only one is.
struct Signature {
    uint8_t positional;
    uint8_t total;
    NameId ids[6];
};

constexpr Signature signature_of(const Row& r) {
    Signature p{};
    if (r.batch) {
        p.ids[p.total++] = kPairs;
    } else {
        p.ids[p.total++] = kS1;
        p.ids[p.total++] = kS2;
    }
    p.positional = p.total;
    const OptionSetInfo& info = option_set_info(r.option_set);
    for (size_t i = 0; i < info.count; ++i)
        p.ids[p.total++] = name_id(info.options[i].name);
    p.ids[p.total++] = kScoreCutoff;
    return p;
}

// Matches positional and keyword arguments into slots (borrowed references, or null).
// Raises the matching errors and returns false on failure.
bool match_arguments_slow(const char* fname, const Signature& params, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames, PyObject** slots);

inline bool match_arguments(const char* fname, const Signature& params, PyObject* const* args,
                            Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    if (kwnames == nullptr && nargs == params.positional) {
        for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
        return true;
    }
    return match_arguments_slow(fname, params, args, nargs, kwnames, slots);
}

// The messages the frames and module initialisation share; each raises and returns false.
// TypeError "argument '<argument>': '<type>' object cannot be converted to '<target>'", without
// the "argument" part when `argument` is null.
bool raise_cannot_convert(PyObject* borrowed_obj, const char* target,
                          const char* argument = nullptr);
// TypeError "argument '<param>': <message>".
bool raise_argument_error(NameId param, const char* message);
// ValueError for a pair that is a tuple of another length than 2.
bool raise_tuple_length(Py_ssize_t length);

// Conversions. Each returns false with the (wrapped) exception set on failure.
bool text_failed(PyObject* borrowed_obj, NameId param);

// True when a 2- or 4-byte text holds a lone surrogate (U+D800..U+DFFF).
bool has_surrogate(Text t);
// Raises the UnicodeEncodeError the str's UTF-8 encoding gives; returns false.
bool raise_surrogate_error(PyObject* borrowed_str);

// The code units of a str as the interpreter holds them: nothing is copied and nothing is
// cached on the object. A str with a lone surrogate raises the UnicodeEncodeError of its UTF-8
// encoding (1-byte strs cannot hold one and are not scanned).
inline bool str_view(PyObject* borrowed_str, Text& out) {
#if PY_VERSION_HEX < 0x030C0000
    if (PyUnicode_READY(borrowed_str) < 0) return false;
#endif
    const int kind = PyUnicode_KIND(borrowed_str);
    out = Text(PyUnicode_DATA(borrowed_str), static_cast<size_t>(PyUnicode_GET_LENGTH(borrowed_str)),
               static_cast<uint8_t>(kind));
    if (kind == PyUnicode_1BYTE_KIND) [[likely]]
        return true;
    return !has_surrogate(out) || raise_surrogate_error(borrowed_str);
}

inline bool to_text(PyObject* borrowed_obj, NameId param, Text& out) {
    if (PyUnicode_Check(borrowed_obj)) [[likely]]
        return str_view(borrowed_obj, out);
    return text_failed(borrowed_obj, param);
}

bool to_double_slow(PyObject* borrowed_obj, NameId param, double& out);
inline bool to_double(PyObject* borrowed_obj, NameId param, double& out) {
    if (PyFloat_CheckExact(borrowed_obj)) [[likely]] {
        out = PyFloat_AS_DOUBLE(borrowed_obj);
        return true;
    }
    return to_double_slow(borrowed_obj, param, out);
}

bool to_uint64(PyObject* borrowed_obj, NameId param, uint64_t& out);
bool to_bool(PyObject* borrowed_obj, NameId param, bool& out);

// Converts option I of option set S from its slot (null = keep the default).
template <OptionSet S, size_t I>
inline bool convert_option(PyObject* borrowed_obj, Options& o) {
    constexpr OptionInfo opt = kOptionSets[static_cast<size_t>(S)].options[I];
    constexpr NameId id = name_id(opt.name);
    if (borrowed_obj == nullptr) return true;
    if constexpr (opt.kind == OptionKind::Float) {
        return to_double(borrowed_obj, id, o.parameters[opt.parameter_slot]);
    } else if constexpr (opt.kind == OptionKind::UInt) {
        return to_uint64(borrowed_obj, id, o.ngram_size);
    } else {
        return to_bool(borrowed_obj, id, o.use_words);
    }
}

// Converts the options of option set S from their slots in signature order.
template <OptionSet S>
inline bool convert_options(PyObject* const* slots, Options& o) {
    constexpr size_t count = kOptionSets[static_cast<size_t>(S)].count;
    return [&]<size_t... I>(std::index_sequence<I...>) {
        return (convert_option<S, I>(slots[I], o) && ...);
    }(std::make_index_sequence<count>{});
}

// Converts keyword options given as a dict of name -> value (missing names keep their
// defaults) for `row`, and checks them as the row's own call does. For the search and join
// modules, which take a scorer's options after the scorer itself has accepted them.
bool convert_options_dict(const Row& row, PyObject* borrowed_dict, Options& options);

// score_cutoff: absent or None means no cutoff.
inline bool convert_cutoff(PyObject* borrowed_obj, IntCutoff& out) {
    if (borrowed_obj == nullptr || borrowed_obj == Py_None) return true;
#if PY_VERSION_HEX >= 0x030C0000
    // A small non-negative int is read in place; anything else takes the checked path.
    if (PyLong_CheckExact(borrowed_obj)) {
        auto* number = reinterpret_cast<PyLongObject*>(borrowed_obj);
        if (PyUnstable_Long_IsCompact(number)) {
            Py_ssize_t value = PyUnstable_Long_CompactValue(number);
            if (value >= 0) {
                out = static_cast<uint64_t>(value);
                return true;
            }
        }
    }
#endif
    uint64_t v;
    if (!to_uint64(borrowed_obj, kScoreCutoff, v)) return false;
    out = v;
    return true;
}
inline bool convert_cutoff(PyObject* borrowed_obj, FloatCutoff& out) {
    if (borrowed_obj == nullptr || borrowed_obj == Py_None) return true;
    double v;
    if (!to_double(borrowed_obj, kScoreCutoff, v)) return false;
    out = v;
    return true;
}

// Re-raises a pending conversion failure of `param`: an exception of exactly TypeError
// becomes "argument '<param>': <message>" with the original's __cause__; others pass.
// Always returns false.
bool wrap_conversion_error(NameId param);

// Cold error paths.
PyObject* raise_value_error(const char* message);

// How a kernel call ended by an exception: out of memory (std::bad_alloc, or a size no container
// can hold), or anything else (kernels throw nothing else; should one, no process ends for it).
enum class KernelFailure : uint8_t { None, Memory, Other };
// The failure of the exception being handled; call it in a catch block. Touches no Python.
KernelFailure current_kernel_failure() noexcept;
// Raises MemoryError (or SystemError for Other); returns nullptr.
PyObject* raise_kernel_failure(KernelFailure failure);

// Result objects.
inline PyObject* to_python(uint64_t v) {
    return PyLong_FromUnsignedLongLong(v);
}
inline PyObject* to_python(double v) {
    return PyFloat_FromDouble(v);
}
template <class T>
inline PyObject* to_python(const std::optional<T>& v) {
    if (!v) Py_RETURN_NONE;
    return to_python(*v);
}

template <ResultKind K>
struct ResultTypes;
template <>
struct ResultTypes<ResultKind::Int> {
    using Value = uint64_t;
    using Cutoff = IntCutoff;
};
template <>
struct ResultTypes<ResultKind::Float> {
    using Value = double;
    using Cutoff = FloatCutoff;
};
template <>
struct ResultTypes<ResultKind::OptInt> {
    using Value = std::optional<uint64_t>;
    using Cutoff = IntCutoff;
};
template <>
struct ResultTypes<ResultKind::OptFloat> {
    using Value = std::optional<double>;
    using Cutoff = FloatCutoff;
};

// The row's kernel as a function pointer of its own result type.
template <class RowRef>
constexpr auto kernel_of() {
    constexpr const Row& R = RowRef::row;
    if constexpr (R.result == ResultKind::Int)
        return R.int_kernel;
    else if constexpr (R.result == ResultKind::Float)
        return R.float_kernel;
    else if constexpr (R.result == ResultKind::OptInt)
        return R.opt_int_kernel;
    else
        return R.opt_float_kernel;
}

// Pairs at least this large (product or sum of the lengths) are scored with the interpreter
// lock released, on a pool thread, while the calling thread waits and runs signal handlers:
// other threads run meanwhile and Ctrl-C stops the kernel within milliseconds. Below, the
// hand-off would cost more than it gives.
inline constexpr uint64_t kReleasedCells = uint64_t{1} << 24;
inline constexpr uint64_t kReleasedLength = uint64_t{1} << 21;

inline bool is_long_pair(Text s1, Text s2) {
    const uint64_t n = s1.length, m = s2.length;
    return n + m >= kReleasedLength || (m != 0 && n >= kReleasedCells / m);
}

// Scores [0, n) on the pool with the interpreter lock released; the calling thread runs signal
// handlers meanwhile. A run of one index is handed to a pool thread only when `lone_on_pool`
// (otherwise it is scored on the calling thread, without polling), on at most `max_workers`
// pool threads (0: any number). Returns false with
// KeyboardInterrupt (or another signal handler's exception) set when interrupted. (batch.cpp)
bool run_released(size_t n, RangeScorer scorer, bool lone_on_pool = false,
                  size_t max_workers = 0);

// One kernel call of row RowRef::row as a run of one index, for a long pair.
template <class RowRef, class Value, class Cutoff>
struct LoneCall {
    Text s1, s2;
    const Options* options;
    Cutoff cutoff;
    Value result{};
    std::atomic<bool> failed{false};
    KernelFailure failure = KernelFailure::None;

    static void score(void* raw, size_t, size_t, const std::atomic<bool>& cancelled) {
        auto* self = static_cast<LoneCall*>(raw);
        InterruptScope scope(cancelled, self->failed);
        try {
            self->result = kernel_of<RowRef>()(self->s1, self->s2, *self->options, self->cutoff);
        } catch (const Interrupted&) {
            // Abandoned: the calling thread raises the signal handler's exception.
        } catch (...) {
            self->failure = current_kernel_failure();
            self->failed.store(true, std::memory_order_relaxed);
        }
    }
};

template <class RowRef, class Cutoff>
[[gnu::noinline]] PyObject* call_released(Text s1, Text s2, const Options& options, Cutoff cutoff) {
    using Value = typename ResultTypes<RowRef::row.result>::Value;
    LoneCall<RowRef, Value, Cutoff> call{s1, s2, &options, cutoff};
    if (!run_released(1, {&decltype(call)::score, &call}, true)) return nullptr;
    if (call.failed.load()) return raise_kernel_failure(call.failure);
    return to_python(call.result);
}

// The scalar wrapper of row R (METH_FASTCALL | METH_KEYWORDS).
// RowRef::row is the row, a constant of the table.
template <class RowRef>
PyObject* scalar_frame(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
    static constexpr const Row& R = RowRef::row;
    static constexpr Signature kSignature = signature_of(R);
    using Types = ResultTypes<R.result>;
    PyObject* slots[kSignature.total] = {};
    if (!match_arguments(R.name.data(), kSignature, args, nargs, kwnames, slots)) return nullptr;

    Text s1, s2;
    if (!to_text(slots[0], kS1, s1) || !to_text(slots[1], kS2, s2)) return nullptr;
    Options options = default_options(R.option_set);
    if (!convert_options<R.option_set>(slots + 2, options)) return nullptr;
    typename Types::Cutoff cutoff;
    if (!convert_cutoff(slots[kSignature.total - 1], cutoff)) return nullptr;
    if constexpr (R.has_check) {
        if (const char* message = R.check(options)) return raise_value_error(message);
    }
    if (is_long_pair(s1, s2)) [[unlikely]]
        return call_released<RowRef>(s1, s2, options, cutoff);
    try {
        return to_python(kernel_of<RowRef>()(s1, s2, options, cutoff));
    } catch (...) {
        return raise_kernel_failure(current_kernel_failure());
    }
}

}  // namespace qx::py
