// Argument matching, conversions and the exact error messages of the call frame.
// Every fixed message text lives in one of the small cold functions below.
#include "call_frame.hpp"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "py_ref.hpp"

namespace qx::py {

PyObject* g_interned[kNameCount] = {};

bool intern_parameter_names() {
    for (int i = 0; i < kNameCount; ++i) {
        if (g_interned[i]) continue;
        g_interned[i] = PyUnicode_InternFromString(std::string(kNameText[i]).c_str());
        if (!g_interned[i]) return false;
    }
    return true;
}

namespace {

const char* text_of(NameId id) {
    return kNameText[id].data();
}

// The pending exception, normalized, taken out of the interpreter's error state.
Ref fetch_exception() {
#if PY_VERSION_HEX >= 0x030C0000
    return Ref(PyErr_GetRaisedException());
#else
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    if (tb && value) PyException_SetTraceback(value, tb);
    Py_XDECREF(type);
    Py_XDECREF(tb);
    return Ref(value);
#endif
}

void raise_exception(Ref exc) {
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exc.release());
#else
    PyObject* value = exc.release();
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
    Py_INCREF(type);
    PyErr_Restore(type, value, PyException_GetTraceback(value));
#endif
}

Ref qualname_of(PyObject* borrowed_obj) {
    return Ref(PyType_GetQualName(Py_TYPE(borrowed_obj)));
}

[[gnu::cold]] void raise_too_many_positional(const char* fname, int positional, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%s() takes %d positional arguments but %zd %s given", fname,
                 positional, given, given == 1 ? "was" : "were");
}

[[gnu::cold]] void raise_unexpected_keyword(const char* fname, PyObject* borrowed_keyword) {
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", fname,
                 borrowed_keyword);
}

[[gnu::cold]] void raise_multiple_values(const char* fname, NameId param) {
    PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", fname,
                 text_of(param));
}

[[gnu::cold]] void raise_missing(const char* fname, const NameId* missing, int count) {
    if (count == 1) {
        PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'", fname,
                     text_of(missing[0]));
    } else {
        PyErr_Format(PyExc_TypeError,
                     "%s() missing %d required positional arguments: '%s' and '%s'", fname, count,
                     text_of(missing[0]), text_of(missing[1]));
    }
}

// Index of the slot a keyword selects: keyword-only parameters first, then positional.
int find_keyword(const Signature& params, PyObject* borrowed_keyword) {
    for (int i = params.positional; i < params.total; ++i)
        if (g_interned[params.ids[i]] == borrowed_keyword) return i;
    for (int i = 0; i < params.positional; ++i)
        if (g_interned[params.ids[i]] == borrowed_keyword) return i;
    Py_ssize_t size;
    const char* text = PyUnicode_AsUTF8AndSize(borrowed_keyword, &size);
    if (!text) {
        PyErr_Clear();  // an unencodable keyword is simply unexpected
        return -1;
    }
    std::string_view kw(text, static_cast<size_t>(size));
    for (int i = params.positional; i < params.total; ++i)
        if (kNameText[params.ids[i]] == kw) return i;
    for (int i = 0; i < params.positional; ++i)
        if (kNameText[params.ids[i]] == kw) return i;
    return -1;
}

}  // namespace

bool match_arguments_slow(const char* fname, const Signature& params, PyObject* const* args,
                          Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    Py_ssize_t copied = nargs < params.positional ? nargs : params.positional;
    for (Py_ssize_t i = 0; i < copied; ++i) slots[i] = args[i];
    if (nargs > params.positional) {
        raise_too_many_positional(fname, params.positional, nargs);
        return false;
    }
    if (kwnames) {
        Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* borrowed_keyword = PyTuple_GET_ITEM(kwnames, k);
            int slot = find_keyword(params, borrowed_keyword);
            if (slot < 0) {
                raise_unexpected_keyword(fname, borrowed_keyword);
                return false;
            }
            if (slots[slot]) {
                raise_multiple_values(fname, params.ids[slot]);
                return false;
            }
            slots[slot] = args[nargs + k];
        }
    }
    NameId missing[2];
    int nmissing = 0;
    for (int i = 0; i < params.positional; ++i)
        if (!slots[i]) missing[nmissing++] = params.ids[i];
    if (nmissing) {
        raise_missing(fname, missing, nmissing);
        return false;
    }
    return true;
}

[[gnu::cold]] bool wrap_conversion_error(NameId param) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    Ref exc = fetch_exception();
    if (Py_TYPE(exc.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        raise_exception(std::move(exc));
        return false;
    }
    Ref text(PyObject_Str(exc.get()));
    if (!text) return false;
    Ref message(PyUnicode_FromFormat("argument '%s': %U", text_of(param), text.get()));
    if (!message) return false;
    Ref wrapped(PyObject_CallOneArg(PyExc_TypeError, message.get()));
    if (!wrapped) return false;
    PyException_SetCause(wrapped.get(), PyException_GetCause(exc.get()));
    raise_exception(std::move(wrapped));
    return false;
}

[[gnu::cold]] bool raise_cannot_convert(PyObject* borrowed_obj, const char* target,
                                        const char* argument) {
    Ref qualname = qualname_of(borrowed_obj);
    if (!qualname) return false;
    if (argument)
        PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to '%s'",
                     argument, qualname.get(), target);
    else
        PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", qualname.get(),
                     target);
    return false;
}

[[gnu::cold]] bool raise_argument_error(NameId param, const char* message) {
    PyErr_Format(PyExc_TypeError, "argument '%s': %s", text_of(param), message);
    return false;
}

[[gnu::cold]] bool raise_tuple_length(Py_ssize_t length) {
    PyErr_Format(PyExc_ValueError, "expected tuple of length 2, but got tuple of length %zd",
                 length);
    return false;
}

bool text_failed(PyObject* borrowed_obj, NameId param) {
    return raise_cannot_convert(borrowed_obj, "PyString", text_of(param));
}

bool to_double_slow(PyObject* borrowed_obj, NameId param, double& out) {
    double v = PyFloat_AsDouble(borrowed_obj);
    if (v == -1.0 && PyErr_Occurred()) return wrap_conversion_error(param);
    out = v;
    return true;
}

bool to_uint64(PyObject* borrowed_obj, NameId param, uint64_t& out) {
    unsigned long long v;
    if (PyLong_Check(borrowed_obj)) {
        v = PyLong_AsUnsignedLongLong(borrowed_obj);
    } else {
        Ref index(PyNumber_Index(borrowed_obj));
        if (!index) return wrap_conversion_error(param);
        v = PyLong_AsUnsignedLongLong(index.get());
    }
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred())
        return wrap_conversion_error(param);
    out = v;
    return true;
}

// numpy's boolean scalar type: __module__ "numpy" and name "bool_" or "bool".
static bool is_numpy_bool(PyObject* borrowed_obj) {
    PyTypeObject* type = Py_TYPE(borrowed_obj);
    const char* dot = std::strrchr(type->tp_name, '.');
    const char* short_name = dot ? dot + 1 : type->tp_name;
    if (std::strcmp(short_name, "bool_") != 0 && std::strcmp(short_name, "bool") != 0) return false;
    Ref module(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
    if (!module) {
        PyErr_Clear();
        return false;
    }
    return PyUnicode_Check(module.get()) &&
           PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0;
}

bool to_bool(PyObject* borrowed_obj, NameId param, bool& out) {
    if (borrowed_obj == Py_True) {
        out = true;
        return true;
    }
    if (borrowed_obj == Py_False) {
        out = false;
        return true;
    }
    if (is_numpy_bool(borrowed_obj)) {
        PyNumberMethods* number = Py_TYPE(borrowed_obj)->tp_as_number;
        if (!number || !number->nb_bool) {
            PyErr_Format(PyExc_TypeError,
                         "argument '%s': object of type '%s' does not define a '__bool__' "
                         "conversion",
                         text_of(param), Py_TYPE(borrowed_obj)->tp_name);
            return false;
        }
        int truth = number->nb_bool(borrowed_obj);
        if (truth < 0) return wrap_conversion_error(param);
        out = truth != 0;
        return true;
    }
    return raise_cannot_convert(borrowed_obj, "PyBool", text_of(param));
}

bool has_surrogate(Text t) {
    // No early exit: the loops compile to vector code and most texts have none.
    if (t.width == 2) {
        uint16_t seen = 0;
        for (uint16_t c : t.units<uint16_t>()) seen |= (c & 0xF800) == 0xD800;
        return seen != 0;
    }
    uint32_t seen = 0;
    for (uint32_t c : t.units<uint32_t>()) seen |= (c & 0xFFFFF800) == 0xD800;
    return seen != 0;
}

[[gnu::cold]] bool raise_surrogate_error(PyObject* borrowed_str) {
    // The encoding fails (and so caches nothing on the str) with the very exception callers
    // have always seen for such a text.
    Py_ssize_t size;
    return PyUnicode_AsUTF8AndSize(borrowed_str, &size) != nullptr;
}

KernelFailure current_kernel_failure() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return KernelFailure::Memory;
    } catch (const std::length_error&) {
        return KernelFailure::Memory;
    } catch (...) {
        return KernelFailure::Other;
    }
}

[[gnu::cold]] PyObject* raise_kernel_failure(KernelFailure failure) {
    if (failure == KernelFailure::Memory) return PyErr_NoMemory();
    PyErr_SetString(PyExc_SystemError, "unexpected failure in a kernel");
    return nullptr;
}

bool convert_options_dict(const Row& row, PyObject* borrowed_dict, Options& options) {
    options = default_options(row.option_set);
    if (!PyDict_Check(borrowed_dict)) {
        PyErr_SetString(PyExc_TypeError, "options must be a dict");
        return false;
    }
    PyObject* slots[3] = {};
    const OptionSetInfo& info = option_set_info(row.option_set);
    for (size_t i = 0; i < info.count; ++i) {
        const NameId id = name_id(info.options[i].name);
        if (!g_interned[id]) {
            PyErr_SetString(PyExc_SystemError, "option names are not interned");
            return false;
        }
        slots[i] = PyDict_GetItemWithError(borrowed_dict, g_interned[id]);
        if (!slots[i] && PyErr_Occurred()) return false;
    }
    bool ok = true;
    using enum OptionSet;
    switch (row.option_set) {
        case None: break;
        case PrefixWeight: ok = convert_options<PrefixWeight>(slots, options); break;
        case Tversky: ok = convert_options<Tversky>(slots, options); break;
        case Alignment: ok = convert_options<Alignment>(slots, options); break;
        case Cosine: ok = convert_options<Cosine>(slots, options); break;
        case Threshold: ok = convert_options<Threshold>(slots, options); break;
    }
    if (!ok) return false;
    if (row.has_check) {
        if (const char* message = row.check(options)) {
            raise_value_error(message);
            return false;
        }
    }
    return true;
}

PyObject* raise_value_error(const char* message) {
    PyErr_SetString(PyExc_ValueError, message);
    return nullptr;
}

}  // namespace qx::py
