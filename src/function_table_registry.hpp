// What module initialisation needs from the function table: each row with its wrapper.
#pragma once

#include <Python.h>

#include <span>

#include "function_table.hpp"

namespace qx {

// METH_FASTCALL | METH_KEYWORDS: module, argument vector, positional count, keyword names.
using Wrapper = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

struct RegisteredFunction {
    const Row* row;
    Wrapper wrapper;
};

// All rows in registration order.
std::span<const RegisteredFunction> registered_functions();

}  // namespace qx
