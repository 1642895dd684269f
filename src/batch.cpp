#include "batch.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "py_ref.hpp"

namespace qx::py {

namespace {

// "argument 'pairs': '<type>' object cannot be converted to '<target>'"
[[gnu::cold]] bool raise_pairs_cannot_convert(PyObject* borrowed_obj, const char* target) {
    return raise_cannot_convert(borrowed_obj, target, kNameText[kPairs].data());
}

// One item of `pairs`: a tuple of two str.
inline bool add_pair(PyObject* borrowed_item, PairList& out) {
    if (!PyTuple_Check(borrowed_item)) return raise_pairs_cannot_convert(borrowed_item, "PyTuple");
    Py_ssize_t length = PyTuple_GET_SIZE(borrowed_item);
    if (length != 2) return raise_tuple_length(length);
    PyObject* borrowed_a = PyTuple_GET_ITEM(borrowed_item, 0);
    PyObject* borrowed_b = PyTuple_GET_ITEM(borrowed_item, 1);
    if (!PyUnicode_Check(borrowed_a)) return raise_pairs_cannot_convert(borrowed_a, "PyString");
    Text a;
    if (!str_view(borrowed_a, a)) return false;
    if (!PyUnicode_Check(borrowed_b)) return raise_pairs_cannot_convert(borrowed_b, "PyString");
    Text b;
    if (!str_view(borrowed_b, b)) return false;
    if (!out.add(borrowed_item, a, b)) {
        PyErr_NoMemory();  // the pairs do not fit in memory
        return false;
    }
    return true;
}

// Items [begin, end) of the n items of a list or tuple.
bool add_items(PyObject** items, Py_ssize_t begin, Py_ssize_t end, Py_ssize_t n, PairList& out) {
    // The tuples and strings of a large list lie all over the heap: fetch the tuple a few
    // items ahead, and the strings of a nearer one, before they are needed.
    constexpr Py_ssize_t kTupleAhead = 16, kTextAhead = 8;
    for (Py_ssize_t i = begin; i < end; ++i) {
        if (i + kTupleAhead < n) __builtin_prefetch(items[i + kTupleAhead]);
        if (i + kTextAhead < n) {
            PyObject* borrowed_ahead = items[i + kTextAhead];
            if (PyTuple_CheckExact(borrowed_ahead) && PyTuple_GET_SIZE(borrowed_ahead) == 2) {
                __builtin_prefetch(PyTuple_GET_ITEM(borrowed_ahead, 0));
                __builtin_prefetch(PyTuple_GET_ITEM(borrowed_ahead, 1));
            }
        }
        if (!add_pair(items[i], out)) return false;
    }
    return true;
}

// The length a sequence other than a list or tuple reports is only a capacity hint; a wrong
// __len__ must not reserve memory the pairs will never use (or more than can be reserved).
constexpr Py_ssize_t kMaxCapacityHint = Py_ssize_t{1} << 16;

bool extract_pairs_into(PyObject* borrowed_pairs, PairList& out) {
    if (PyUnicode_Check(borrowed_pairs))
        return raise_argument_error(kPairs, "Can't extract `str` to `Vec`");
    if (!PySequence_Check(borrowed_pairs))
        return raise_pairs_cannot_convert(borrowed_pairs, "Sequence");

    // Exact lists and tuples are read in place; nothing can change them meanwhile.
    if (PyList_CheckExact(borrowed_pairs) || PyTuple_CheckExact(borrowed_pairs)) {
        Py_ssize_t n = PySequence_Fast_GET_SIZE(borrowed_pairs);
        PyObject** items = PySequence_Fast_ITEMS(borrowed_pairs);
        if (!out.reserve(static_cast<size_t>(n))) {
            PyErr_NoMemory();
            return false;
        }
        return add_items(items, 0, n, n, out);
    }

    Py_ssize_t capacity = PySequence_Size(borrowed_pairs);
    if (capacity < 0) {
        PyErr_Clear();
        capacity = 0;
    }
    if (!out.reserve(static_cast<size_t>(std::min(capacity, kMaxCapacityHint)))) {
        PyErr_NoMemory();
        return false;
    }
    Ref iterator(PyObject_GetIter(borrowed_pairs));
    if (!iterator) return wrap_conversion_error(kPairs);
    for (;;) {
        Ref item(PyIter_Next(iterator.get()));
        if (!item) {
            if (PyErr_Occurred()) return wrap_conversion_error(kPairs);
            return true;
        }
        if (!add_pair(item.get(), out)) return false;
    }
}

}  // namespace

bool extract_pairs(PyObject* borrowed_pairs, PairList& out) {
    if (!extract_pairs_into(borrowed_pairs, out)) return false;
    out.resolve();
    return true;
}

bool extract_streamed(void* raw) {
    auto* stream = static_cast<PairStream*>(raw);
    PyObject** items = PySequence_Fast_ITEMS(stream->borrowed_pairs);
    const Py_ssize_t n = PySequence_Fast_GET_SIZE(stream->borrowed_pairs);
    // Published in groups: one release store per group, not per pair.
    constexpr Py_ssize_t kGroup = 64;
    for (Py_ssize_t begin = 0; begin < n; begin += kGroup) {
        const Py_ssize_t end = std::min(n, begin + kGroup);
        if (!add_items(items, begin, end, n, *stream->pairs)) return false;
        stream->published.store(static_cast<size_t>(end), std::memory_order_release);
    }
    return true;
}

bool wait_published(const std::atomic<size_t>& published, size_t i,
                    const std::atomic<bool>& cancelled) {
    // A worker waits here only when it runs ahead of the extraction, which copies a pair in a
    // small fraction of the time a worker scores one: spin briefly, then give the processor
    // away (to the extracting thread, on a busy machine), then sleep.
    for (unsigned round = 0; published.load(std::memory_order_acquire) <= i; ++round) {
        if (cancelled.load(std::memory_order_relaxed)) return false;
        if (round >= 4096)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        else if (round >= 64)
            std::this_thread::yield();
    }
    return true;
}

namespace {
// Spare buffers kept for the next batch; more than this is released after the call.
constexpr size_t kKeepBytes = size_t{64} << 20;
std::atomic<BatchBuffers*> g_spare_buffers{nullptr};
}  // namespace

BatchScratch::BatchScratch() : buffers_(g_spare_buffers.exchange(nullptr)) {
    if (!buffers_) buffers_ = new BatchBuffers;
}

BatchScratch::~BatchScratch() {
    if (buffers_->capacity() > kKeepBytes) {
        delete buffers_;
        return;
    }
    delete g_spare_buffers.exchange(buffers_);
}

bool poll_signals(void* released_lock) {
    auto* lock = static_cast<ReleasedLock*>(released_lock);
    PyEval_RestoreThread(lock->state);
    int failed = PyErr_CheckSignals();
    lock->state = PyEval_SaveThread();
    return failed != 0;
}

namespace {

// The pool started fewer threads than the environment asked for. False when the warning was
// turned into an exception.
[[gnu::cold]] bool warn_pool_shortfall(const WorkerPool& pool) {
    const PoolRequest& request = pool.request();
    int failed;
    if (request.threads <= kMaxPoolThreads) {
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                  "only %zu of %zu worker threads could be started",
                                  pool.threads(), request.threads);
    } else if (request.source) {
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                  "%s=%zu is above the worker pool's limit of %zu threads; "
                                  "the pool has %zu",
                                  request.source, request.threads, kMaxPoolThreads,
                                  pool.threads());
    } else {
        failed = PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                                  "%zu processors are above the worker pool's limit of %zu "
                                  "threads; the pool has %zu",
                                  request.threads, kMaxPoolThreads, pool.threads());
    }
    return failed == 0;
}
}  // namespace

namespace {
struct StreamFeed {
    bool (*extract)(void*);
    void* context;
    ReleasedLock* lock;
};

// The pool's feed: extracts with the lock held, then releases it for the wait.
bool extract_then_release(void* raw) {
    auto* feed = static_cast<StreamFeed*>(raw);
    const bool extracted = feed->extract(feed->context);
    feed->lock->state = PyEval_SaveThread();
    return extracted;
}
}  // namespace

bool run_streamed(size_t n, RangeScorer scorer, bool (*extract)(void*), void* context) {
    WorkerPool& pool = WorkerPool::instance();
    if (pool.take_shortfall_notice() && !warn_pool_shortfall(pool)) return false;
    ReleasedLock lock{nullptr};
    StreamFeed feed{extract, context, &lock};
    bool completed = pool.run(n, scorer, {&poll_signals, &lock}, 0, {&extract_then_release, &feed});
    PyEval_RestoreThread(lock.state);
    return completed;
}

bool run_released(size_t n, RangeScorer scorer, bool lone_on_pool, size_t max_workers) {
    WorkerPool& pool = WorkerPool::instance();  // created by the first batch, even an empty one
    if (pool.take_shortfall_notice() && !warn_pool_shortfall(pool)) return false;
    if (n == 0) return true;
    ReleasedLock lock{PyEval_SaveThread()};
    WaitPoll poll{&poll_signals, &lock};
    bool completed = n == 1 && !lone_on_pool ? pool.run(n, scorer)
                                             : pool.run(n, scorer, poll, max_workers);
    PyEval_RestoreThread(lock.state);
    return completed;
}

}  // namespace qx::py
