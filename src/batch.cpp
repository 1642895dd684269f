#include "batch.hpp"

#include <algorithm>
#include <atomic>

#include "py_ref.hpp"

namespace qx::py {

namespace {

[[gnu::cold]] bool raise_pairs_error(const char* message) {
    PyErr_Format(PyExc_TypeError, "argument 'pairs': %s", message);
    return false;
}

[[gnu::cold]] bool raise_pairs_cannot_convert(PyObject* borrowed_obj, const char* target) {
    Ref qualname(PyType_GetQualName(Py_TYPE(borrowed_obj)));
    if (!qualname) return false;
    PyErr_Format(PyExc_TypeError, "argument 'pairs': '%U' object cannot be converted to '%s'",
                 qualname.get(), target);
    return false;
}

[[gnu::cold]] bool raise_tuple_length(Py_ssize_t length) {
    PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd",
                 length);
    return false;
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

// The length a sequence other than a list or tuple reports is only a capacity hint; a wrong
// __len__ must not reserve memory the pairs will never use (or more than can be reserved).
constexpr Py_ssize_t kMaxCapacityHint = Py_ssize_t{1} << 16;

bool extract_pairs_into(PyObject* borrowed_pairs, PairList& out) {
    if (PyUnicode_Check(borrowed_pairs)) return raise_pairs_error("Can't extract `str` to `Vec`");
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
        // The tuples and strings of a large list lie all over the heap: fetch the tuple a few
        // items ahead, and the strings of a nearer one, before they are needed.
        constexpr Py_ssize_t kTupleAhead = 16, kTextAhead = 8;
        for (Py_ssize_t i = 0; i < n; ++i) {
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

namespace {
struct ReleasedLock {
    PyThreadState* state;
};

// Runs with the lock released: takes it back briefly to let signal handlers run.
bool poll_signals(void* raw) {
    auto* lock = static_cast<ReleasedLock*>(raw);
    PyEval_RestoreThread(lock->state);
    int failed = PyErr_CheckSignals();
    lock->state = PyEval_SaveThread();
    return failed != 0;
}

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

bool run_released(size_t n, RangeScorer scorer, size_t max_workers) {
    WorkerPool& pool = WorkerPool::instance();  // created by the first batch, even an empty one
    if (pool.take_shortfall_notice() && !warn_pool_shortfall(pool)) return false;
    if (n == 0) return true;
    ReleasedLock lock{PyEval_SaveThread()};
    bool completed = pool.run(n, scorer, {&poll_signals, &lock}, max_workers);
    PyEval_RestoreThread(lock.state);
    return completed;
}

}  // namespace qx::py
