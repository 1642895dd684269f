// The binding of the similarity join: the module quorvalex._join_native, which lives in the same
// shared object as _quorvalex (its kernels, function table and worker pool). It reads the texts
// into views, converts the options and cutoff as the scorer's own call frame does, runs the join
// with the interpreter lock released and returns the pairs as raw buffers for numpy. The
// arguments are checked by the Python layer (quorvalex/_join.py) before they arrive here.
#include <Python.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "batch.hpp"
#include "call_frame.hpp"
#include "function_table_registry.hpp"
#include "join/join_driver.hpp"
#include "py_ref.hpp"
#include "worker_pool.hpp"

namespace qx {

namespace {

using py::Ref;

const Row* scalar_row(std::string_view name) {
    for (const RegisteredFunction& f : registered_functions())
        if (!f.row->batch && f.row->name == name) return f.row;
    return nullptr;
}

[[gnu::cold]] bool raise_not_text(const char* side, Py_ssize_t i) {
    PyErr_Format(PyExc_TypeError, "%s[%zd] is not a str", side, i);
    return false;
}

// Views of every str of a tuple (which keeps them alive and unchanged).
bool text_views(PyObject* borrowed_tuple, const char* side, std::vector<Text>& out) {
    const Py_ssize_t n = PyTuple_GET_SIZE(borrowed_tuple);
    if (static_cast<uint64_t>(n) >= (uint64_t{1} << 32)) {
        PyErr_SetString(PyExc_OverflowError, "a join takes fewer than 2**32 texts per side");
        return false;
    }
    out.resize(static_cast<size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* borrowed_item = PyTuple_GET_ITEM(borrowed_tuple, i);
        if (!PyUnicode_Check(borrowed_item)) return raise_not_text(side, i);
        if (!py::str_view(borrowed_item, out[static_cast<size_t>(i)])) return false;
    }
    return true;
}

// The pool runs of one join: the lock stays released for the whole join.
struct JoinRun {
    py::ReleasedLock lock;
    size_t max_workers;
};

bool run_on_pool(void* raw, size_t n, RangeScorer scorer) {
    auto* run = static_cast<JoinRun*>(raw);
    if (n == 0) return true;
    return WorkerPool::instance().run(n, scorer, {&py::poll_signals, &run->lock},
                                      run->max_workers);
}

const char* filter_name(join::FilterKind kind) {
    switch (kind) {
        case join::FilterKind::EditPartition:
            return "partition";
        case join::FilterKind::LengthOnly:
            return "length";
        case join::FilterKind::TokenPrefix:
            return "prefix";
        case join::FilterKind::None:
            break;
    }
    return "none";
}

PyObject* bytes_of(const void* data, size_t size) {
    return PyByteArray_FromStringAndSize(static_cast<const char*>(data),
                                         static_cast<Py_ssize_t>(size));
}

// join(left, right, scorer_name, options, score_cutoff, max_workers, use_filter)
//   -> (left_ids, right_ids, scores, integer_scores, stats)
// left, right: tuples of str (right None for a self-join); ids are uint32 buffers, scores
// int64 or float64 buffers as integer_scores says; stats: (filter, candidates, pairs).
PyObject* join_arguments(PyObject* args) {
    PyObject *borrowed_left, *borrowed_right, *borrowed_name, *borrowed_options, *borrowed_cutoff;
    Py_ssize_t max_workers;
    int use_filter;
    if (!PyArg_ParseTuple(args, "O!OUO!Onp:join", &PyTuple_Type, &borrowed_left, &borrowed_right,
                          &borrowed_name, &PyDict_Type, &borrowed_options, &borrowed_cutoff,
                          &max_workers, &use_filter))
        return nullptr;
    const bool self = borrowed_right == Py_None;
    if (!self && !PyTuple_Check(borrowed_right)) {
        PyErr_SetString(PyExc_TypeError, "right must be a tuple or None");
        return nullptr;
    }
    Py_ssize_t name_length;
    const char* name = PyUnicode_AsUTF8AndSize(borrowed_name, &name_length);
    if (!name) return nullptr;
    const Row* row = scalar_row(std::string_view(name, static_cast<size_t>(name_length)));
    if (!row) {
        PyErr_Format(PyExc_ValueError, "no scalar function named %R", borrowed_name);
        return nullptr;
    }
    join::JoinRequest request;
    request.row = row;
    request.self = self;
    request.use_filter = use_filter != 0;
    if (!py::convert_options_dict(*row, borrowed_options, request.options)) return nullptr;
    const bool integer_scores = row->result == ResultKind::Int || row->result == ResultKind::OptInt;
    if (borrowed_cutoff == Py_None) {
        PyErr_SetString(PyExc_TypeError, "score_cutoff is required");
        return nullptr;
    }
    if (integer_scores ? !py::convert_cutoff(borrowed_cutoff, request.int_cutoff)
                       : !py::convert_cutoff(borrowed_cutoff, request.float_cutoff))
        return nullptr;
    if (row->has_check)
        if (const char* message = row->check(request.options)) return py::raise_value_error(message);

    std::vector<Text> left, right;
    if (!text_views(borrowed_left, "left", left)) return nullptr;
    if (!self && !text_views(borrowed_right, "right", right)) return nullptr;
    request.left = left;
    request.right = right;

    std::vector<join::JoinPair> pairs;
    join::JoinStats stats;
    JoinRun run{{nullptr}, max_workers < 0 ? 0 : static_cast<size_t>(max_workers)};
    run.lock.state = PyEval_SaveThread();
    const join::JoinStatus status = join::run_join(request, {&run_on_pool, &run}, pairs, stats);
    PyEval_RestoreThread(run.lock.state);
    switch (status) {
        case join::JoinStatus::Done:
            break;
        case join::JoinStatus::Interrupted:
            if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
            return nullptr;
        case join::JoinStatus::OutOfMemory:
            return PyErr_NoMemory();
        case join::JoinStatus::Failed:
            return py::raise_kernel_failure(py::KernelFailure::Other);
    }

    const size_t n = pairs.size();
    std::vector<uint32_t> ids(n);
    std::vector<uint64_t> scores(n);
    for (size_t k = 0; k < n; ++k) {
        ids[k] = pairs[k].left;
        scores[k] = pairs[k].score;
    }
    Ref left_ids(bytes_of(ids.data(), n * sizeof(uint32_t)));
    if (!left_ids) return nullptr;
    for (size_t k = 0; k < n; ++k) ids[k] = pairs[k].right;
    Ref right_ids(bytes_of(ids.data(), n * sizeof(uint32_t)));
    if (!right_ids) return nullptr;
    Ref score_bytes(bytes_of(scores.data(), n * sizeof(uint64_t)));
    if (!score_bytes) return nullptr;
    return Py_BuildValue("(OOON(sKK))", left_ids.get(), right_ids.get(), score_bytes.get(),
                         PyBool_FromLong(integer_scores), filter_name(stats.filter),
                         static_cast<unsigned long long>(stats.candidates),
                         static_cast<unsigned long long>(stats.pairs));
}

PyObject* join_function(PyObject* /*module*/, PyObject* args) {
    // Vectors of texts and results: running out of memory for them is a MemoryError.
    try {
        return join_arguments(args);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::length_error&) {
        return PyErr_NoMemory();
    }
}

PyMethodDef g_methods[] = {
    {"join", reinterpret_cast<PyCFunction>(join_function), METH_VARARGS,
     "join(left, right, scorer_name, options, score_cutoff, max_workers, use_filter)\n--\n\n"
     "The pairs of a similarity join as raw buffers; see quorvalex._join."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT, "quorvalex._join_native", "Native similarity join.", -1, g_methods,
    nullptr,               nullptr,           nullptr,                   nullptr,
};

}  // namespace

}  // namespace qx

extern "C" PyMODINIT_FUNC PyInit__join_native() {
    return PyModule_Create(&qx::g_module_def);
}
