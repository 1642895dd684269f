// Module initialisation: the top-level module, the child modules `distance` and `fuzz`, one
// built-in function per table row, and the `__all__` bookkeeping.
#include <Python.h>

#include <atomic>
#include <cstring>
#include <string>

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

std::atomic<int64_t> g_interpreter_id{-1};  // -1: not recorded yet
PyObject* g_module = nullptr;               // once-only cell, one strong reference

// "<name>(s1, s2, *, <options>score_cutoff=None)\n--\n\n<body>"
std::string docstring_of(const Row& row) {
    std::string doc(row.name);
    doc += row.batch ? "(pairs, *, " : "(s1, s2, *, ";
    const ShapeSpec& shape_options = shape_spec(row.shape);
    for (size_t i = 0; i < shape_options.count; ++i) {
        doc += shape_options.options[i].name;
        doc += '=';
        doc += shape_options.options[i].default_text;
        doc += ", ";
    }
    doc += "score_cutoff=None)\n--\n\n";
    if (row.doc) doc += row.doc;
    return doc;
}

char* copy_for_process(const std::string& text) {
    char* copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// The function object of one row. Its PyMethodDef lives as long as the process.
PyObject* create_function(const RegisteredFunction& function, PyObject* borrowed_module) {
    Ref module_name(PyModule_GetNameObject(borrowed_module));
    if (!module_name) return nullptr;
    auto* def = new PyMethodDef{
        copy_for_process(std::string(function.row->name)),
        reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function.wrapper)),
        METH_FASTCALL | METH_KEYWORDS,
        copy_for_process(docstring_of(*function.row)),
    };
    return PyCMethod_New(def, borrowed_module, module_name.get(), nullptr);
}

[[gnu::cold]] bool raise_cannot_convert(PyObject* borrowed_obj, const char* target) {
    Ref qualname(PyType_GetQualName(Py_TYPE(borrowed_obj)));
    if (qualname)
        PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", qualname.get(),
                     target);
    return false;
}

// Appends `name` to module.__all__ (created when missing) and sets the attribute.
bool add_to_module(PyObject* borrowed_module, PyObject* borrowed_name, PyObject* borrowed_value) {
    Ref all(PyObject_GetAttrString(borrowed_module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = Ref(PyList_New(0));
        if (!all || PyObject_SetAttrString(borrowed_module, "__all__", all.get()) < 0) return false;
    }
    if (!PyList_Check(all.get())) return raise_cannot_convert(all.get(), "PyList");
    if (PyList_Append(all.get(), borrowed_name) < 0) return false;
    return PyObject_SetAttr(borrowed_module, borrowed_name, borrowed_value) == 0;
}

// Adds an object under its own __name__.
bool add_named(PyObject* borrowed_module, PyObject* borrowed_value) {
    Ref name(PyObject_GetAttrString(borrowed_value, "__name__"));
    if (!name) return false;
    if (!PyUnicode_Check(name.get())) return raise_cannot_convert(name.get(), "PyString");
    return add_to_module(borrowed_module, name.get(), borrowed_value);
}

bool add_functions(PyObject* borrowed_target, Module which) {
    for (const RegisteredFunction& function : registered_functions()) {
        if (function.row->module != which) continue;
        Ref object(create_function(function, borrowed_target));
        if (!object || !add_named(borrowed_target, object.get())) return false;
    }
    return true;
}

bool add_child(PyObject* borrowed_top, const char* name, Module which) {
    Ref name_object(PyUnicode_FromString(name));
    if (!name_object) return false;
    Ref child(PyModule_NewObject(name_object.get()));
    if (!child || !add_functions(child.get(), which)) return false;
    return add_named(borrowed_top, child.get());
}

PyObject* build_module() {
    if (!py::intern_parameter_names()) return nullptr;
    Ref top(PyModule_Create2(&g_module_def, 1013));
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

}  // namespace

}  // namespace qx

extern "C" PyMODINIT_FUNC PyInit__quorvalex() {
    using namespace qx;
    int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return raise_missing_exception();
    int64_t expected = -1;
    if (!g_interpreter_id.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "quorvalex does not support sub-interpreters: it is already loaded in "
                        "another interpreter of this process");
        return nullptr;
    }
    if (g_module) {
        Py_INCREF(g_module);
        return g_module;
    }
    PyObject* module = build_module();
    if (!module) return nullptr;
    if (g_module) {  // another thread finished first: keep its module
        Py_DECREF(module);
    } else {
        g_module = module;  // the cell's reference
    }
    Py_INCREF(g_module);
    return g_module;
}
