// The binding of the search layer: the module quorvalex._process, built into the same shared
// object as _quorvalex (its worker pool, kernels and table). quorvalex/process.py does the
// argument handling users see; these functions take its prepared arguments, read the texts
// into views once, and run the drivers of src/search/ with the interpreter lock released.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cmath>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "batch.hpp"
#include "call_frame.hpp"
#include "function_table_registry.hpp"
#include "py_ref.hpp"
#include "search/extractor.hpp"
#include "search/matrix_scorer.hpp"

namespace qx::py {

namespace {

using search::Cutoff;
using search::RowScorer;
using search::Score;

// ---- arguments -------------------------------------------------------------------------------

const Row* row_at(PyObject* borrowed_index) {
    const Py_ssize_t i = PyLong_AsSsize_t(borrowed_index);
    if (i == -1 && PyErr_Occurred()) return nullptr;
    std::span<const RegisteredFunction> functions = registered_functions();
    if (i < 0 || static_cast<size_t>(i) >= functions.size() || functions[i].row->batch) {
        PyErr_SetString(PyExc_ValueError, "not a scalar function of the table");
        return nullptr;
    }
    return functions[i].row;
}

bool convert_cutoff_for(const RowScorer& scorer, PyObject* borrowed_cutoff, Cutoff& out) {
    out = {};
    if (borrowed_cutoff == Py_None) return true;
    if (scorer.integer()) {
        IntCutoff c;
        if (!convert_cutoff(borrowed_cutoff, c)) return false;
        out.set = c.has_value();
        out.n = c.value_or(0);
    } else {
        FloatCutoff c;
        if (!convert_cutoff(borrowed_cutoff, c)) return false;
        out.set = c.has_value();
        out.f = c.value_or(0.0);
    }
    return true;
}

// ---- texts ---------------------------------------------------------------------------------

// The texts of one side, read in place from their strs; each str is kept alive by a strong
// reference until the column is dropped (with the lock held).
class Column {
  public:
    Column() = default;
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;
    ~Column() {
        for (PyObject* s : owned_) Py_DECREF(s);
    }
    search::TextColumn view() const { return {texts_, present_}; }
    size_t size() const { return texts_.size(); }

    // Reads `borrowed_items` (a list or tuple). Missing values: None, float NaN and
    // `borrowed_na` (pandas.NA, or None). Raises the TypeError naming a bad item's position.
    bool fill(PyObject* borrowed_items, PyObject* borrowed_na, PyObject* borrowed_keys,
              const char* what, bool processed) {
        if (!PyList_CheckExact(borrowed_items) && !PyTuple_CheckExact(borrowed_items)) {
            PyErr_SetString(PyExc_TypeError, "items must be a list or a tuple");
            return false;
        }
        const Py_ssize_t n = PySequence_Fast_GET_SIZE(borrowed_items);
        PyObject** items = PySequence_Fast_ITEMS(borrowed_items);
        try {
            texts_.resize(static_cast<size_t>(n));
            present_.assign(static_cast<size_t>(n), 0);
            owned_.reserve(static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
            return false;
        }
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyObject* borrowed_item = items[i];
            if (PyUnicode_Check(borrowed_item)) [[likely]] {
                if (!str_view(borrowed_item, texts_[i])) return false;
                Py_INCREF(borrowed_item);
                owned_.push_back(borrowed_item);
                present_[i] = 1;
                continue;
            }
            if (borrowed_item == Py_None || borrowed_item == borrowed_na) continue;
            if (PyFloat_Check(borrowed_item) && std::isnan(PyFloat_AS_DOUBLE(borrowed_item)))
                continue;
            return bad_item(borrowed_item, i, borrowed_keys, what, processed);
        }
        return true;
    }

  private:
    [[gnu::cold]] static bool bad_item(PyObject* borrowed_item, Py_ssize_t i,
                                       PyObject* borrowed_keys, const char* what, bool processed) {
        const char* type_name = Py_TYPE(borrowed_item)->tp_name;
        Ref position;
        if (borrowed_keys == Py_None) {
            position = Ref(PyUnicode_FromFormat("the %s at index %zd", what, i));
        } else {
            Ref index(PyLong_FromSsize_t(i));
            if (!index) return false;
            Ref key(PyObject_GetItem(borrowed_keys, index.get()));
            if (!key) return false;
            position = Ref(PyUnicode_FromFormat("the %s with key %R", what, key.get()));
        }
        if (!position) return false;
        if (processed)
            PyErr_Format(PyExc_TypeError, "processor returned %s for %U; it must return str",
                         type_name, position.get());
        else
            PyErr_Format(PyExc_TypeError,
                         "%U is %s, not str (None, NaN and pandas.NA mark missing values)",
                         position.get(), type_name);
        return false;
    }

    std::vector<Text> texts_;
    std::vector<uint8_t> present_;
    std::vector<PyObject*> owned_;
};

PyObject* score_object(const RowScorer& scorer, double value) {
    if (scorer.integer()) return PyLong_FromUnsignedLongLong(static_cast<uint64_t>(value));
    return PyFloat_FromDouble(value);
}

// ---- extract -------------------------------------------------------------------------------

// extract(row, options, cutoff, query, choices, limit, in_choice_order, na, keys, processed)
// -> [(index, score), ...]
PyObject* extract(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 10) {
        PyErr_SetString(PyExc_TypeError, "extract() takes 10 arguments");
        return nullptr;
    }
    const Row* row = row_at(args[0]);
    if (!row) return nullptr;
    Options options;
    if (!convert_options_dict(*row, args[1], options)) return nullptr;
    RowScorer scorer(*row, options);
    Cutoff cutoff;
    if (!convert_cutoff_for(scorer, args[2], cutoff)) return nullptr;
    Text query;
    if (!to_text(args[3], kS1, query)) return nullptr;
    const size_t limit = PyLong_AsSize_t(args[5]);
    if (limit == static_cast<size_t>(-1) && PyErr_Occurred()) return nullptr;
    const bool in_order = PyObject_IsTrue(args[6]);
    const bool processed = PyObject_IsTrue(args[9]);
    Column choices;
    if (!choices.fill(args[4], args[7], args[8], "choice", processed)) return nullptr;

    std::vector<search::Hit> hits;
    try {
        search::Extractor extractor(scorer, query, cutoff, limit, in_order);
        // Chunks with the lock released; signals are looked at between them. A chunk ends
        // after 4096 choices or after a few million cells of the pairs' length products,
        // whichever comes first, so that Ctrl-C is seen soon even with long texts.
        constexpr size_t kChunk = 4096;
        constexpr size_t kChunkCells = size_t{1} << 23;
        const size_t n = choices.size();
        const search::TextColumn view = choices.view();
        for (size_t begin = 0, end = 0; begin < n; begin = end) {
            size_t cells = 0;
            end = begin;
            while (end < n && end - begin < kChunk && cells < kChunkCells)
                cells += (query.length + 1) * (view.texts[end++].length + 1);
            bool failed_alloc = false;
            Py_BEGIN_ALLOW_THREADS
            try {
                extractor.score(view, begin, end);
            } catch (...) {
                failed_alloc = true;
            }
            Py_END_ALLOW_THREADS
            if (failed_alloc) return raise_kernel_failure(KernelFailure::Memory);
            if (end < n && PyErr_CheckSignals() != 0) return nullptr;
        }
        hits = extractor.finish();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    Ref list(PyList_New(static_cast<Py_ssize_t>(hits.size())));
    if (!list) return nullptr;
    for (size_t k = 0; k < hits.size(); ++k) {
        Ref value(score_object(scorer, hits[k].value));
        if (!value) return nullptr;
        PyObject* item = Py_BuildValue("(nO)", static_cast<Py_ssize_t>(hits[k].index), value.get());
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k), item);
    }
    return list.release();
}

// ---- cdist / cpdist ------------------------------------------------------------------------

bool cell_type_of(PyObject* borrowed_code, search::CellType& out, size_t& size) {
    const char* code = PyUnicode_AsUTF8(borrowed_code);
    if (!code) return false;
    static constexpr struct {
        std::string_view code;
        search::CellType type;
        size_t size;
    } kTypes[] = {{"f4", search::CellType::f32, 4}, {"f8", search::CellType::f64, 8},
                  {"i1", search::CellType::i8, 1},  {"i2", search::CellType::i16, 2},
                  {"i4", search::CellType::i32, 4}, {"i8", search::CellType::i64, 8},
                  {"u1", search::CellType::u8, 1},  {"u2", search::CellType::u16, 2},
                  {"u4", search::CellType::u32, 4}, {"u8", search::CellType::u64, 8}};
    for (const auto& t : kTypes) {
        if (t.code == code) {
            out = t.type;
            size = t.size;
            return true;
        }
    }
    PyErr_Format(PyExc_ValueError, "unsupported cell type %s", code);
    return false;
}

class WritableBuffer {
  public:
    WritableBuffer() = default;
    WritableBuffer(const WritableBuffer&) = delete;
    WritableBuffer& operator=(const WritableBuffer&) = delete;
    ~WritableBuffer() {
        if (held_) PyBuffer_Release(&view_);
    }
    bool get(PyObject* borrowed_obj, size_t bytes) {
        if (PyObject_GetBuffer(borrowed_obj, &view_, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) < 0)
            return false;
        held_ = true;
        if (static_cast<size_t>(view_.len) != bytes) {
            PyErr_SetString(PyExc_ValueError, "output buffer of the wrong size");
            return false;
        }
        return true;
    }
    void* data() const { return view_.buf; }

  private:
    Py_buffer view_{};
    bool held_ = false;
};

struct MatrixRun {
    const search::MatrixScorer* matrix = nullptr;
    const RowScorer* scorer = nullptr;
    search::TextColumn queries, choices;
    Cutoff cutoff;
    const search::CellWriter* writer = nullptr;
    bool pairs = false;  // cpdist: element by element
    std::atomic<bool> stop{false};
    std::atomic<KernelFailure> failure{KernelFailure::None};
    search::RefusedCell refused;

    static void score(void* raw, size_t begin, size_t end, const std::atomic<bool>& cancelled) {
        auto* self = static_cast<MatrixRun*>(raw);
        InterruptScope scope(cancelled, self->stop);
        try {
            if (self->pairs)
                search::score_pairs(*self->scorer, self->queries, self->choices, self->cutoff,
                                    *self->writer, begin, end, cancelled, self->stop,
                                    self->refused);
            else
                self->matrix->score_rows(begin, end, cancelled, self->stop, self->refused);
        } catch (const Interrupted&) {
        } catch (...) {
            KernelFailure none = KernelFailure::None;
            self->failure.compare_exchange_strong(none, current_kernel_failure());
            self->stop.store(true);
        }
    }
};

[[gnu::cold]] PyObject* raise_refused(const search::RefusedCell& refused, size_t cols, bool pairs,
                                      PyObject* borrowed_dtype_name) {
    const size_t i = pairs ? refused.index : refused.index / cols;
    const size_t j = pairs ? refused.index : refused.index % cols;
    Ref where(PyUnicode_FromFormat("queries[%zu] and choices[%zu]", i, j));
    if (!where) return nullptr;
    if (!refused.score.present) {
        PyErr_Format(PyExc_ValueError,
                     "the missing score of %U cannot be stored in %U (missing scores are NaN in "
                     "float and -1 in signed integer dtypes)",
                     where.get(), borrowed_dtype_name);
        return nullptr;
    }
    Ref value(PyFloat_FromDouble(refused.score.value));
    if (!value) return nullptr;
    PyErr_Format(PyExc_ValueError, "the score %R of %U does not fit in %U", value.get(),
                 where.get(), borrowed_dtype_name);
    return nullptr;
}

// cdist/cpdist(row, options, cutoff, queries, choices, out, cell_code, dtype_name, workers,
//              na, query_keys, choice_keys, processed)
PyObject* score_matrix(PyObject* const* args, Py_ssize_t nargs, bool pairs) {
    if (nargs != 13) {
        PyErr_SetString(PyExc_TypeError, "cdist() and cpdist() take 13 arguments");
        return nullptr;
    }
    const Row* row = row_at(args[0]);
    if (!row) return nullptr;
    Options options;
    if (!convert_options_dict(*row, args[1], options)) return nullptr;
    RowScorer scorer(*row, options);
    Cutoff cutoff;
    if (!convert_cutoff_for(scorer, args[2], cutoff)) return nullptr;
    const bool processed = PyObject_IsTrue(args[12]);
    Column queries, choices;
    if (!queries.fill(args[3], args[9], args[10], "query", processed) ||
        !choices.fill(args[4], args[9], args[11], "choice", processed))
        return nullptr;
    if (pairs && queries.size() != choices.size()) {
        PyErr_SetString(PyExc_ValueError, "queries and choices must have the same length");
        return nullptr;
    }
    search::CellType type;
    size_t cell_size;
    if (!cell_type_of(args[6], type, cell_size)) return nullptr;
    const size_t workers = PyLong_AsSize_t(args[8]);
    if (workers == static_cast<size_t>(-1) && PyErr_Occurred()) return nullptr;
    const size_t rows = queries.size(), cols = choices.size();
    const size_t cells = pairs ? rows : rows * cols;
    WritableBuffer out;
    if (!out.get(args[5], cells * cell_size)) return nullptr;
    const search::CellWriter writer(out.data(), type);
    try {
        std::unique_ptr<search::MatrixScorer> matrix;
        if (!pairs)
            matrix = std::make_unique<search::MatrixScorer>(scorer, queries.view(), choices.view(),
                                                            cutoff, writer);
        MatrixRun run;
        run.matrix = matrix.get();
        run.scorer = &scorer;
        run.queries = queries.view();
        run.choices = choices.view();
        run.cutoff = cutoff;
        run.writer = &writer;
        run.pairs = pairs;
        const size_t tasks = pairs ? cells : rows;
        if (!run_released(tasks, {&MatrixRun::score, &run}, true, workers)) return nullptr;
        if (run.failure.load() != KernelFailure::None)
            return raise_kernel_failure(run.failure.load());
        if (run.refused.set.load()) return raise_refused(run.refused, cols, pairs, args[7]);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    Py_RETURN_NONE;
}

PyObject* cdist(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return score_matrix(args, nargs, false);
}
PyObject* cpdist(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return score_matrix(args, nargs, true);
}

// rows() -> [(name, module, is_batch, integer_result), ...] in registration order; module is
// 0 for distance, 1 for fuzz, 2 for the package's top level.
PyObject* rows(PyObject*, PyObject*) {
    std::span<const RegisteredFunction> functions = registered_functions();
    Ref list(PyList_New(static_cast<Py_ssize_t>(functions.size())));
    if (!list) return nullptr;
    for (size_t i = 0; i < functions.size(); ++i) {
        const Row& r = *functions[i].row;
        const bool integer = r.result == ResultKind::Int || r.result == ResultKind::OptInt;
        PyObject* item = Py_BuildValue("(s#iOO)", r.name.data(), static_cast<Py_ssize_t>(r.name.size()),
                                       static_cast<int>(r.module), r.batch ? Py_True : Py_False,
                                       integer ? Py_True : Py_False);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyMethodDef g_methods[] = {
    {"rows", rows, METH_NOARGS, "The function table's rows: (name, module, is_batch, integer)."},
    {"extract", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(extract)),
     METH_FASTCALL, "One query against many choices (see quorvalex.process)."},
    {"cdist", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(cdist)), METH_FASTCALL,
     "Score matrix into a writable buffer (see quorvalex.process)."},
    {"cpdist", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(cpdist)), METH_FASTCALL,
     "Element-wise scores into a writable buffer (see quorvalex.process)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_process_def = {
    PyModuleDef_HEAD_INIT, "quorvalex._process", "Native search drivers of quorvalex.process.",
    -1, g_methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace qx::py

// A second module of this shared object; the package loads it after _quorvalex (whose
// initialisation interns the option names used here).
PyMODINIT_FUNC PyInit__process() {
    if (!qx::py::intern_parameter_names()) return nullptr;
    return PyModule_Create(&qx::py::g_process_def);
}
