// The batch frame: extraction of `pairs` (text views and copies of short texts), conversion of the options,
// scoring on the worker pool with the interpreter lock released, and the result list.
#pragma once

#include <Python.h>

#include <algorithm>
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
    // For a list scored while it is extracted: room for all `pairs` slots and an arena that
    // never moves again (64 bytes a pair, at most kStreamArenaBytes). Texts are then placed at
    // their final addresses (no resolve()), and a short text that no longer fits the arena is
    // read in place like a long one.
    static constexpr size_t kStreamArenaBytes = size_t{32} << 20;
    bool start_streaming(size_t pairs) {
        if (!slots_.reserve(2 * pairs * sizeof(Slot)) ||
            !arena_.reserve(std::min(pairs * 64, kStreamArenaBytes)))
            return false;
        streaming_ = true;
        return true;
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
        if (streaming_) return;
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
        const size_t padded = (arena_.size() + t.width - 1) & ~size_t{t.width - 1u};
        if (bytes >= kInPlaceBytes || (streaming_ && padded + bytes > arena_.capacity())) {
            in_place = true;
            slot = {reinterpret_cast<uintptr_t>(t.data), uint64_t{t.length} << 4 | t.width};
        } else if (streaming_) {
            arena_.align(t.width);
            slot = {reinterpret_cast<uintptr_t>(arena_.data() + arena_.size()),
                    uint64_t{t.length} << 4 | t.width};
            arena_.append(t.data, bytes);
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
    bool streaming_ = false;
};

// Fills `out` from the `pairs` argument; raises the extraction errors and returns false.
bool extract_pairs(PyObject* borrowed_pairs, PairList& out);

// Lists and tuples of at least this many pairs are scored while they are extracted.
inline constexpr Py_ssize_t kStreamedPairs = 2048;

// Extraction of a list or tuple while the pool scores it: `published` counts the pairs the
// workers may read.
struct PairStream {
    PyObject* borrowed_pairs;
    PairList* pairs;
    std::atomic<size_t> published{0};
};

// Extracts the pairs of stream->borrowed_pairs, publishing them in groups. (With the lock.)
bool extract_streamed(void* stream);

// The interpreter lock released by this thread (the state to restore it with).
struct ReleasedLock {
    PyThreadState* state;
};

// A pool wait's poll while the lock is released: takes it back briefly so that signal handlers
// run; true when one raised. `released_lock` is a ReleasedLock.
bool poll_signals(void* released_lock);

// Scores [0, n) on the pool while `extract` (called on this thread with the interpreter lock
// held) produces the inputs; then releases the lock until the pool is done. False with the
// exception set when the extraction failed or a signal handler raised.
bool run_streamed(size_t n, RangeScorer scorer, bool (*extract)(void*), void* context);

// Waits until pair i is published; false when the run is being abandoned meanwhile.
bool wait_published(const std::atomic<size_t>& published, size_t i,
                    const std::atomic<bool>& cancelled);

template <class Value, class Kernel, class Cutoff>
struct BatchContext {
    const PairList* pairs;
    const Options* options;
    Cutoff cutoff;
    Kernel kernel;
    Value* results;
    const std::atomic<size_t>* published = nullptr;  // while extraction runs: the pairs ready
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
                if (self->published &&
                    self->published->load(std::memory_order_acquire) <= i &&
                    !wait_published(*self->published, i, cancelled))
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

// True when every option slot of the call is absent or a plain float, int, bool or None, whose
// conversion runs no Python code: the options may then be converted before the pairs are
// extracted without changing what the call does (on failure the usual order raises the error).
template <size_t N>
bool plain_options(PyObject* const* slots) {
    for (size_t i = 1; i < N; ++i) {
        PyObject* borrowed_obj = slots[i];
        if (borrowed_obj && borrowed_obj != Py_None && !PyFloat_CheckExact(borrowed_obj) &&
            !PyLong_CheckExact(borrowed_obj) && !PyBool_Check(borrowed_obj))
            return false;
    }
    return true;
}

// A large list or tuple of pairs whose options convert quietly: the pool scores the first pairs
// while this thread still extracts the rest. Returns false (nothing raised, nothing extracted)
// when the call does not qualify.
template <class RowRef>
bool score_streamed(PyObject* const* slots, PairList& pairs, ByteBuffer& result_buffer,
                    PyObject*& result) {
    static constexpr const Row& R = RowRef::row;
    static constexpr Signature kSignature = signature_of(R);
    using Types = ResultTypes<R.result>;
    using Value = typename Types::Value;
    PyObject* borrowed_pairs = slots[0];
    if (!PyList_CheckExact(borrowed_pairs) && !PyTuple_CheckExact(borrowed_pairs)) return false;
    const Py_ssize_t size = PySequence_Fast_GET_SIZE(borrowed_pairs);
    if (size < kStreamedPairs || !plain_options<kSignature.total>(slots)) return false;
    Options options = default_options(R.option_set);
    typename Types::Cutoff cutoff;
    if (!convert_options<R.option_set>(slots + 1, options) ||
        !convert_cutoff(slots[kSignature.total - 1], cutoff)) {
        PyErr_Clear();  // raised again, in its turn, by the usual order
        return false;
    }
    if constexpr (R.has_check) {
        if (R.check(options)) return false;
    }
    const auto n = static_cast<size_t>(size);
    if (!pairs.start_streaming(n) || !result_buffer.reserve(n * sizeof(Value))) {
        result = PyErr_NoMemory();
        return true;
    }
    auto* results = reinterpret_cast<Value*>(result_buffer.data());
    constexpr auto kernel = kernel_of<RowRef>();
    PairStream stream{borrowed_pairs, &pairs};
    BatchContext<Value, decltype(kernel), typename Types::Cutoff> context{
        &pairs, &options, cutoff, kernel, results, &stream.published};
    if (!run_streamed(n, {&decltype(context)::score, &context}, &extract_streamed, &stream)) {
        result = nullptr;
    } else if (context.failed.load()) {
        result = raise_kernel_failure(context.failure.load());
    } else {
        result = build_list(results, n);
    }
    return true;
}

// Extracts the pairs, converts the options, scores and builds the result list of row
// RowRef::row; the caller releases the pairs' references.
template <class RowRef>
PyObject* score_pairs(PyObject* const* slots, PairList& pairs, ByteBuffer& result_buffer) {
    static constexpr const Row& R = RowRef::row;
    static constexpr Signature kSignature = signature_of(R);
    using Types = ResultTypes<R.result>;
    if (PyObject* result; score_streamed<RowRef>(slots, pairs, result_buffer, result))
        return result;
    if (!extract_pairs(slots[0], pairs)) return nullptr;
    Options options = default_options(R.option_set);
    if (!convert_options<R.option_set>(slots + 1, options)) return nullptr;
    typename Types::Cutoff cutoff;
    if (!convert_cutoff(slots[kSignature.total - 1], cutoff)) return nullptr;
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
    // A lone long pair goes to a pool thread too, so that signals are still answered.
    const bool lone_on_pool = n == 1 && is_long_pair(pairs.first(0), pairs.second(0));
    if (!run_released(n, {&decltype(context)::score, &context}, lone_on_pool)) return nullptr;
    if (context.failed.load()) return raise_kernel_failure(context.failure.load());
    return build_list(results, n);
}

// The batch wrapper of row RowRef::row (METH_FASTCALL | METH_KEYWORDS).
template <class RowRef>
PyObject* batch_frame(PyObject* /*module*/, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
    static constexpr const Row& R = RowRef::row;
    static constexpr Signature kSignature = signature_of(R);
    PyObject* slots[kSignature.total] = {};
    if (!match_arguments(R.name.data(), kSignature, args, nargs, kwnames, slots)) return nullptr;

    BatchScratch scratch;
    PairList pairs(scratch.buffers());
    PyObject* result = score_pairs<RowRef>(slots, pairs, scratch.buffers().results);
    // Not reached when the interpreter ends this thread at exit: the references are then kept.
    pairs.release_references();
    return result;
}

}  // namespace qx::py
