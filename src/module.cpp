// Module initialisation: the top-level module, the child modules `distance` and `fuzz`, one
// built-in function per table row, and the `__all__` bookkeeping.
#include <Python.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "call_frame.hpp"
#include "function_table_registry.hpp"
#include "py_ref.hpp"

namespace qx {

namespace {

using py::Ref;

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "_quorvalex",               // m_name
    "Quorvalex Python module",  // m_doc
    0,                          // m_size
    nullptr,                    // m_methods: functions are added one by one
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

std::atomic<int64_t> g_interpreter_id{-1};  // -1: no initialisation has succeeded yet
PyObject* g_module = nullptr;               // once-only cell, one strong reference

// Test hook: QUORVALEX_FAIL_INIT_AT=N makes the N-th fallible step of an initialisation (an
// object created, a list or module attribute set) fail as if memory ran out, so that tests can
// reach every failure path. Read when an initialisation starts.
struct InjectedFailure {
    size_t at = 0;  // 0: never
    size_t steps = 0;
} g_injected;

// True, with MemoryError set, when this step is the one the hook fails.
bool injected_failure() {
    if (!g_injected.at || ++g_injected.steps != g_injected.at) return false;
    PyErr_NoMemory();
    return true;
}

// A new reference from the C API, or nothing when the test hook fails this step.
Ref created(PyObject* object) {
    Ref owned(object);
    if (owned && injected_failure()) return Ref();
    return owned;
}

// "<name>(s1, s2, *, <options>score_cutoff=None)\n--\n\n<body>"
std::string docstring_of(const Row& row) {
    std::string doc(row.name);
    doc += row.batch ? "(pairs, *, " : "(s1, s2, *, ";
    const OptionSetInfo& info = option_set_info(row.option_set);
    for (size_t i = 0; i < info.count; ++i) {
        doc += info.options[i].name;
        doc += '=';
        doc += info.options[i].default_text;
        doc += ", ";
    }
    doc += "score_cutoff=None)\n--\n\n";
    if (row.doc) doc += row.doc;
    return doc;
}

// The method definitions of every function, in registration order, with their names and
// docstrings. Built by the first initialisation and kept for the life of the process: function
// objects borrow their definition, and those of a failed initialisation live on until the
// garbage collector frees their module, so a later initialisation reuses the same table.
struct MethodTable {
    std::vector<std::string> texts;  // name, docstring, name, docstring, ...
    std::vector<PyMethodDef> defs;
};
MethodTable* g_methods = nullptr;

// Throws std::bad_alloc when memory runs out (the partial table is released).
const MethodTable& method_table() {
    if (g_methods) return *g_methods;
    std::span<const RegisteredFunction> functions = registered_functions();
    auto table = std::make_unique<MethodTable>();
    table->texts.reserve(2 * functions.size());  // no reallocation: c_str() stays valid
    table->defs.reserve(functions.size());
    for (const RegisteredFunction& function : functions) {
        const std::string& name = table->texts.emplace_back(function.row->name);
        const std::string& doc = table->texts.emplace_back(docstring_of(*function.row));
        table->defs.push_back({
            name.c_str(),
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function.wrapper)),
            METH_FASTCALL | METH_KEYWORDS,
            doc.c_str(),
        });
    }
    g_methods = table.release();
    return *g_methods;
}

// The function object of one row, bound to its module.
PyObject* create_function(const PyMethodDef& def, PyObject* borrowed_module) {
    Ref module_name = created(PyModule_GetNameObject(borrowed_module));
    if (!module_name) return nullptr;
    return created(PyCMethod_New(const_cast<PyMethodDef*>(&def), borrowed_module,
                                 module_name.get(), nullptr))
        .release();
}

// Appends `name` to module.__all__ (created when missing) and sets the attribute.
bool add_to_module(PyObject* borrowed_module, PyObject* borrowed_name, PyObject* borrowed_value) {
    Ref all(PyObject_GetAttrString(borrowed_module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = created(PyList_New(0));
        if (!all || injected_failure() ||
            PyObject_SetAttrString(borrowed_module, "__all__", all.get()) < 0)
            return false;
    }
    if (!PyList_Check(all.get())) return py::raise_cannot_convert(all.get(), "PyList");
    if (injected_failure() || PyList_Append(all.get(), borrowed_name) < 0) return false;
    return !injected_failure() &&
           PyObject_SetAttr(borrowed_module, borrowed_name, borrowed_value) == 0;
}

// Adds an object under its own __name__.
bool add_named(PyObject* borrowed_module, PyObject* borrowed_value) {
    Ref name(PyObject_GetAttrString(borrowed_value, "__name__"));
    if (!name) return false;
    if (!PyUnicode_Check(name.get())) return py::raise_cannot_convert(name.get(), "PyString");
    return add_to_module(borrowed_module, name.get(), borrowed_value);
}

bool add_functions(PyObject* borrowed_target, Module which) {
    const MethodTable& table = method_table();
    std::span<const RegisteredFunction> functions = registered_functions();
    for (size_t i = 0; i < functions.size(); ++i) {
        if (functions[i].row->module != which) continue;
        Ref object(create_function(table.defs[i], borrowed_target));
        if (!object || !add_named(borrowed_target, object.get())) return false;
    }
    return true;
}

bool add_child(PyObject* borrowed_top, const char* name, Module which) {
    Ref name_object = created(PyUnicode_FromString(name));
    if (!name_object) return false;
    Ref child = created(PyModule_NewObject(name_object.get()));
    if (!child || !add_functions(child.get(), which)) return false;
    return add_named(borrowed_top, child.get());
}

PyObject* build_module() {
    if (!py::intern_parameter_names()) return nullptr;
    Ref top = created(PyModule_Create2(&g_module_def, 1013));
    if (!top) return nullptr;
    if (!add_child(top.get(), "distance", Module::Distance) ||
        !add_child(top.get(), "fuzz", Module::Fuzz) || !add_functions(top.get(), Module::Top))
        return nullptr;
    return top.release();
}

[[gnu::cold]] PyObject* raise_missing_exception() {
    if (!PyErr_Occurred())
        PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return nullptr;
}

[[gnu::cold]] PyObject* raise_other_owner() {
    PyErr_SetString(PyExc_ImportError,
                    "quorvalex does not support sub-interpreters: it is already loaded in "
                    "another interpreter of this process");
    return nullptr;
}

// CPython 3.12 runs this function in an isolated sub-interpreter and refuses the single-phase
// module only afterwards, so everything built here would belong to an interpreter that never
// uses it. Refuse first, with CPython's own message. (3.13 runs the function with the main
// interpreter active; 3.11 has no isolated interpreters.)
bool refuses_single_phase_modules([[maybe_unused]] PyInterpreterState* interp) {
#if PY_VERSION_HEX >= 0x030C0000 && PY_VERSION_HEX < 0x030D0000
    return interp != PyInterpreterState_Main() &&
           _PyInterpreterState_HasFeature(interp, Py_RTFLAGS_MULTI_INTERP_EXTENSIONS);
#else
    return false;
#endif
}

// A failed initialisation that made no interpreter the owner gives back the parameter names
// it interned, so that the interpreter which eventually owns the module interns its own.
void release_parameter_names() {
    for (PyObject*& name : py::g_interned) Py_CLEAR(name);
}

PyObject* initialise() {
    PyInterpreterState* interp = PyInterpreterState_Get();
    int64_t id = PyInterpreterState_GetID(interp);
    if (id == -1) return raise_missing_exception();
    if (refuses_single_phase_modules(interp)) {
        PyErr_SetString(PyExc_ImportError,
                        "module _quorvalex does not support loading in subinterpreters");
        return nullptr;
    }
    int64_t owner = g_interpreter_id.load();
    if (owner != -1 && owner != id) return raise_other_owner();
    if (g_module) {
        Py_INCREF(g_module);
        return g_module;
    }
    const char* fail_at = std::getenv("QUORVALEX_FAIL_INIT_AT");
    g_injected = {fail_at ? std::strtoull(fail_at, nullptr, 10) : 0, 0};
    Ref module;
    try {
        module = Ref(build_module());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    }
    g_injected = {};
    if (!module) {
        if (g_interpreter_id.load() == -1) release_parameter_names();
        return nullptr;
    }
    // The owner is recorded only now that the module exists.
    int64_t expected = -1;
    if (!g_interpreter_id.compare_exchange_strong(expected, id) && expected != id)
        return raise_other_owner();
    if (!g_module) g_module = module.release();  // else another thread finished first
    Py_INCREF(g_module);
    return g_module;
}

}  // namespace

}  // namespace qx

extern "C" PyMODINIT_FUNC PyInit__quorvalex() {
    return qx::initialise();
}
