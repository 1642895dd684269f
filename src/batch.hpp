// The batch frame: extraction of `pairs` (text views and copies of short texts), conversion of the options,
// scoring on the worker pool with the interpreter lock released, and the result list.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "call_frame.hpp"
#include "interrupt.hpp"
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
    // Pads the contents to a multiple of `unit` bytes (a power of two of at most 16).
    bool align(size_t unit) {
        size_t padded = (size_ + unit - 1) & ~(unit - 1);
        if (padded > capacity_ && !reserve(padded)) return false;
        size_ = padded;
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
    ByteBuffer arena;       // the short texts of every pair, back to back at their own widths
    ByteBuffer slots;       // where each text is, two per pair (PairList::Slot)
    ByteBuffer references;  // strong references to the tuples whose texts are read in place
    ByteBuffer results;     // one result slot per pair

    size_t capacity() const {
        return arena.capacity() + slots.capacity() + references.capacity() + results.capacity();
    }
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

// The texts of every pair while the pool scores them; no Python object is touched meanwhile.
// A short text is copied at its own width into the arena (compact, read in order by the
// workers); a long one is read in place from its str, which a strong reference to its tuple
// keeps alive and unchanged (tuples and strs are immutable) until release_references().
class PairList {
  public:
    // Texts of at least this many bytes are read in place.
    static constexpr size_t kInPlaceBytes = 256;

    explicit PairList(BatchBuffers& buffers)
        : arena_(buffers.arena), slots_(buffers.slots), references_(buffers.references) {
        arena_.clear();
        slots_.clear();
        references_.clear();
    }
    PairList(const PairList&) = delete;
    PairList& operator=(const PairList&) = delete;

    size_t size() const { return slots_.size() / (2 * sizeof(Slot)); }
    Text first(size_t i) const { return text(2 * i); }
    Text second(size_t i) const { return text(2 * i + 1); }

    bool reserve(size_t pairs) {
        return slots_.reserve(2 * pairs * sizeof(Slot)) && arena_.reserve(pairs * 16);
    }
    // Adds the texts a and b of `borrowed_tuple`. False when memory is exhausted.
    bool add(PyObject* borrowed_tuple, Text a, Text b) {
        if (!slots_.reserve(slots_.size() + 2 * sizeof(Slot))) return false;
        bool in_place = false;
        if (!place(a, in_place) || !place(b, in_place)) return false;
        if (in_place) {
            if (!references_.append(&borrowed_tuple, sizeof(borrowed_tuple))) return false;
            Py_INCREF(borrowed_tuple);
        }
        return true;
    }
    // After the last add: arena offsets become addresses (the arena no longer moves).
    void resolve() {
        auto* slot = reinterpret_cast<Slot*>(slots_.data());
        const auto base = reinterpret_cast<uintptr_t>(arena_.data());
        for (size_t k = 0, n = 2 * size(); k < n; ++k)
            if (slot[k].meta & kInArena) slot[k].where += base;
    }
    // Drops the references taken by add(); with the interpreter lock held, after scoring.
    void release_references() {
        auto* refs = reinterpret_cast<PyObject**>(references_.data());
        size_t n = references_.size() / sizeof(PyObject*);
        references_.clear();
        for (size_t i = 0; i < n; ++i) Py_DECREF(refs[i]);
    }

  private:
    // A text: its address (an arena offset until resolve()), and length << 4 | kInArena | width.
    struct Slot {
        uintptr_t where;
        uint64_t meta;
    };
    static constexpr uint64_t kInArena = 8;

    bool place(Text t, bool& in_place) {
        const size_t bytes = t.length * t.width;
        Slot slot;
        if (bytes >= kInPlaceBytes) {
            in_place = true;
            slot = {reinterpret_cast<uintptr_t>(t.data), uint64_t{t.length} << 4 | t.width};
        } else {
            if (!arena_.align(t.width)) return false;
            slot = {arena_.size(), uint64_t{t.length} << 4 | kInArena | t.width};
            if (!arena_.append(t.data, bytes)) return false;
        }
        return slots_.append(&slot, sizeof(slot));
    }
    Text text(size_t k) const {
        Slot slot;
        std::memcpy(&slot, slots_.data() + k * sizeof(Slot), sizeof(slot));
        return {reinterpret_cast<const void*>(slot.where), static_cast<size_t>(slot.meta >> 4),
                static_cast<uint8_t>(slot.meta & 7)};
    }

    ByteBuffer& arena_;
    ByteBuffer& slots_;
    ByteBuffer& references_;
};

// Fills `out` from the `pairs` argument; raises the extraction errors and returns false.
bool extract_pairs(PyObject* borrowed_pairs, PairList& out);

// Scores [0, n) on at most `max_workers` pool threads (0: any number) with the interpreter lock
// released. Returns false with KeyboardInterrupt (or another signal handler's exception) set
// when interrupted.
bool run_released(size_t n, RangeScorer scorer, size_t max_workers = 0);

template <class Value, class Kernel, class Cutoff>
struct BatchContext {
    const PairList* pairs;
    const Options* options;
    Cutoff cutoff;
    Kernel kernel;
    Value* results;
    std::atomic<bool> failed{false};  // a kernel failed: the other ranges stop early
    std::atomic<KernelFailure> failure{KernelFailure::None};

    static void score(void* raw, size_t begin, size_t end, const std::atomic<bool>& cancelled) {
        auto* self = static_cast<BatchContext*>(raw);
        InterruptScope scope(cancelled, self->failed);
        try {
            for (size_t i = begin; i < end; ++i) {
                if (cancelled.load(std::memory_order_relaxed) ||
                    self->failed.load(std::memory_order_relaxed))
                    return;
                std::construct_at(self->results + i,
                                  self->kernel(self->pairs->first(i), self->pairs->second(i),
                                               *self->options, self->cutoff));
            }
        } catch (const Interrupted&) {
            // The batch is being abandoned; this range just stops.
        } catch (...) {
            KernelFailure none = KernelFailure::None;
            self->failure.compare_exchange_strong(none, current_kernel_failure());
            self->failed.store(true, std::memory_order_relaxed);
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

// Extracts the pairs, converts the options, scores and builds the result list of row
// RowRef::row; the caller releases the pairs' references.
template <class RowRef>
PyObject* score_pairs(PyObject* const* slots, PairList& pairs, ByteBuffer& result_buffer) {
    static constexpr const Row& R = RowRef::row;
    static constexpr Params kParams = params_of(R);
    using Types = ResultTypes<R.result>;
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
    if (!result_buffer.reserve(n * sizeof(Value))) return PyErr_NoMemory();
    auto* results = reinterpret_cast<Value*>(result_buffer.data());
    constexpr auto kernel = kernel_of<RowRef>();
    BatchContext<Value, decltype(kernel), typename Types::Cutoff> context{&pairs, &options, cutoff,
                                                                          kernel, results};
    if (!run_released(n, {&decltype(context)::score, &context})) return nullptr;
    if (context.failed.load()) return raise_kernel_failure(context.failure.load());
    return build_list(results, n);
}

// The batch wrapper of row RowRef::row (METH_FASTCALL | METH_KEYWORDS).
template <class RowRef>
PyObject* batch_frame(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
    static constexpr const Row& R = RowRef::row;
    static constexpr Params kParams = params_of(R);
    PyObject* slots[kParams.total] = {};
    if (!match_arguments(R.name.data(), kParams, args, nargs, kwnames, slots)) return nullptr;

    BatchScratch scratch;
    PairList pairs(scratch.buffers());
    PyObject* result = score_pairs<RowRef>(slots, pairs, scratch.buffers().results);
    // Not reached when the interpreter ends this thread at exit: the references are then kept.
    pairs.release_references();
    return result;
}

}  // namespace qx::py
