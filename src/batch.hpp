// The batch frame: extraction of `pairs` into one owned arena, conversion of the options,
// scoring on the worker pool with the interpreter lock released, and the result list.
#pragma once

#include <Python.h>

#include <memory>
#include <string>
#include <vector>

#include "call_frame.hpp"
#include "worker_pool.hpp"

namespace qx::py {

// The texts of every pair, copied into one buffer: no Python object is touched while the
// pool scores them.
class PairList {
  public:
    size_t size() const { return bounds_.size() / 2; }
    Text first(size_t i) const { return text(2 * i); }
    Text second(size_t i) const { return text(2 * i + 1); }

    void reserve(size_t pairs) {
        bounds_.reserve(2 * pairs);
        arena_.reserve(pairs * 32);
    }
    void add(const char* a, size_t na, const char* b, size_t nb) {
        arena_.append(a, na);
        bounds_.push_back(arena_.size());
        arena_.append(b, nb);
        bounds_.push_back(arena_.size());
    }

  private:
    // Text k spans the arena from the end of text k - 1 to bounds_[k].
    Text text(size_t k) const {
        size_t begin = k ? bounds_[k - 1] : 0;
        return {arena_.data() + begin, bounds_[k] - begin};
    }

    std::string arena_;
    std::vector<size_t> bounds_;  // end offset of each text, two per pair
};

// Fills `out` from the `pairs` argument; raises the extraction errors and returns false.
bool extract_pairs(PyObject* borrowed_pairs, PairList& out);

// Scores [0, n) on the pool with the interpreter lock released. Returns false with
// KeyboardInterrupt (or another signal handler's exception) set when interrupted.
bool run_released(size_t n, RangeScorer scorer);

template <class Value, class Kernel, class Cutoff>
struct BatchContext {
    const PairList* pairs;
    const Options* options;
    Cutoff cutoff;
    Kernel kernel;
    Value* results;

    static void score(void* raw, size_t begin, size_t end, const std::atomic<bool>& cancelled) {
        auto* self = static_cast<BatchContext*>(raw);
        for (size_t i = begin; i < end; ++i) {
            if (cancelled.load(std::memory_order_relaxed)) return;
            self->results[i] = self->kernel(self->pairs->first(i), self->pairs->second(i),
                                            *self->options, self->cutoff);
        }
    }
};

template <class Value>
PyObject* build_list(const Value* results, size_t n) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(n));
    if (!list) return nullptr;
    for (size_t i = 0; i < n; ++i) {
        PyObject* item = to_python(results[i]);
        if (!item) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
    }
    return list;
}

// The batch wrapper of row RowRef::row (METH_FASTCALL | METH_KEYWORDS).
template <class RowRef>
PyObject* batch_frame(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
    static constexpr const Row& R = RowRef::row;
    static constexpr Params kParams = params_of(R);
    using Types = ResultTypes<R.result>;
    PyObject* slots[kParams.total] = {};
    if (!match_arguments(R.name.data(), kParams, args, nargs, kwnames, slots)) return nullptr;

    PairList pairs;
    if (!extract_pairs(slots[0], pairs)) return nullptr;
    Options options = default_options(R.shape);
    if (!convert_options<R.shape>(slots + 1, options)) return nullptr;
    typename Types::Cutoff cutoff;
    if (!convert_cutoff(slots[kParams.total - 1], cutoff)) return nullptr;
    if constexpr (R.has_check) {
        if (const char* message = R.check(options)) return raise_value_error(message);
    }
    if constexpr (!R.implemented()) {
        return raise_not_implemented(R.name);
    } else {
        using Value = typename Types::Value;
        size_t n = pairs.size();
        std::unique_ptr<Value[]> results(new Value[n ? n : 1]);
        constexpr auto kernel = kernel_of<RowRef>();
        BatchContext<Value, decltype(kernel), typename Types::Cutoff> context{
            &pairs, &options, cutoff, kernel, results.get()};
        if (!run_released(n, {&decltype(context)::score, &context})) return nullptr;
        return build_list(results.get(), n);
    }
}

}  // namespace qx::py
