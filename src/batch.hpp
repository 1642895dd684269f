// The batch frame: extraction of `pairs` into one owned arena, conversion of the options,
// scoring on the worker pool with the interpreter lock released, and the result list.
#pragma once

#include <Python.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "call_frame.hpp"
#include "worker_pool.hpp"

namespace qx::py {

// A growable byte buffer that keeps its contents when it grows and never zero-fills.
class ByteBuffer {
  public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer() { std::free(data_); }

    char* data() { return data_; }
    const char* data() const { return data_; }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    void clear() { size_ = 0; }

    // Makes room for `n` bytes in all; false when memory is exhausted.
    bool reserve(size_t n) {
        if (n <= capacity_) return true;
        size_t cap = capacity_ ? capacity_ : 4096;
        while (cap < n) cap *= 2;
        void* grown = std::realloc(data_, cap);
        if (!grown) return false;
        data_ = static_cast<char*>(grown);
        capacity_ = cap;
        return true;
    }
    bool append(const void* bytes, size_t n) {
        if (size_ + n > capacity_ && !reserve(size_ + n)) return false;
        copy(data_ + size_, static_cast<const char*>(bytes), n);
        size_ += n;
        return true;
    }

  private:
    // Short texts are copied with a few overlapping word moves (never reading past the source)
    // instead of a call into the C library.
    static void copy(char* to, const char* from, size_t n) {
        if (n >= 8 && n <= 16) {
            uint64_t head, tail;
            std::memcpy(&head, from, 8);
            std::memcpy(&tail, from + n - 8, 8);
            std::memcpy(to, &head, 8);
            std::memcpy(to + n - 8, &tail, 8);
        } else if (n >= 4 && n < 8) {
            uint32_t head, tail;
            std::memcpy(&head, from, 4);
            std::memcpy(&tail, from + n - 4, 4);
            std::memcpy(to, &head, 4);
            std::memcpy(to + n - 4, &tail, 4);
        } else if (n > 0 && n < 4) {
            to[0] = from[0];
            to[n / 2] = from[n / 2];
            to[n - 1] = from[n - 1];
        } else if (n) {
            std::memcpy(to, from, n);
        }
    }

    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// The buffers of one batch call. One spare set is kept for the next batch of the process, so
// that repeated batches reuse memory instead of faulting fresh pages in every call.
struct BatchBuffers {
    ByteBuffer arena;    // the texts of every pair, back to back
    ByteBuffer bounds;   // size_t end offset of each text, two per pair
    ByteBuffer results;  // one result slot per pair

    size_t capacity() const { return arena.capacity() + bounds.capacity() + results.capacity(); }
};

// Takes the spare buffers (or new ones) for one call and gives them back afterwards, unless they
// grew beyond what is worth keeping.
class BatchScratch {
  public:
    BatchScratch();
    ~BatchScratch();
    BatchScratch(const BatchScratch&) = delete;
    BatchScratch& operator=(const BatchScratch&) = delete;
    BatchBuffers& buffers() { return *buffers_; }

  private:
    BatchBuffers* buffers_;
};

// The texts of every pair, copied into one arena: no Python object is touched while the pool
// scores them.
class PairList {
  public:
    explicit PairList(BatchBuffers& buffers) : arena_(buffers.arena), bounds_(buffers.bounds) {
        arena_.clear();
        bounds_.clear();
    }

    size_t size() const { return bounds_.size() / (2 * sizeof(size_t)); }
    Text first(size_t i) const { return text(2 * i); }
    Text second(size_t i) const { return text(2 * i + 1); }

    bool reserve(size_t pairs) {
        return bounds_.reserve(2 * pairs * sizeof(size_t)) && arena_.reserve(pairs * 16);
    }
    // False when memory is exhausted.
    bool add(const char* a, size_t na, const char* b, size_t nb) {
        if (!bounds_.reserve(bounds_.size() + 2 * sizeof(size_t))) return false;
        if (!arena_.append(a, na)) return false;
        size_t end = arena_.size();
        bounds_.append(&end, sizeof(end));
        if (!arena_.append(b, nb)) return false;
        end = arena_.size();
        bounds_.append(&end, sizeof(end));
        return true;
    }

  private:
    size_t bound(size_t k) const {
        size_t v;
        std::memcpy(&v, bounds_.data() + k * sizeof(size_t), sizeof(v));
        return v;
    }
    // Text k spans the arena from the end of text k - 1 to the end of text k.
    Text text(size_t k) const {
        size_t begin = k ? bound(k - 1) : 0;
        return {arena_.data() + begin, bound(k) - begin};
    }

    ByteBuffer& arena_;
    ByteBuffer& bounds_;
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
            std::construct_at(self->results + i,
                              self->kernel(self->pairs->first(i), self->pairs->second(i),
                                           *self->options, self->cutoff));
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

    BatchScratch scratch;
    PairList pairs(scratch.buffers());
    if (!extract_pairs(slots[0], pairs)) return nullptr;
    Options options = default_options(R.shape);
    if (!convert_options<R.shape>(slots + 1, options)) return nullptr;
    typename Types::Cutoff cutoff;
    if (!convert_cutoff(slots[kParams.total - 1], cutoff)) return nullptr;
    if constexpr (R.has_check) {
        if (const char* message = R.check(options)) return raise_value_error(message);
    }
    using Value = typename Types::Value;
    size_t n = pairs.size();
    static_assert(std::is_trivially_copyable_v<Value> && alignof(Value) <= 16);
    ByteBuffer& slots_buffer = scratch.buffers().results;
    if (!slots_buffer.reserve(n * sizeof(Value))) return PyErr_NoMemory();
    auto* results = reinterpret_cast<Value*>(slots_buffer.data());
    constexpr auto kernel = kernel_of<RowRef>();
    BatchContext<Value, decltype(kernel), typename Types::Cutoff> context{&pairs, &options, cutoff,
                                                                          kernel, results};
    if (!run_released(n, {&decltype(context)::score, &context})) return nullptr;
    return build_list(results, n);
}

}  // namespace qx::py
