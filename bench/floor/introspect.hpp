#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>

// Adds parameters() (test-only introspection of every vorn_library binding) to a module.
bool add_introspection(PyObject* module);
// The product module's body run on a module of this extension's own (made once; a new
// reference): the same bindings over this extension's own copy of the kernels.
PyObject* own_library();
// Adds library() and fast_paths() (fast_paths.cpp) to a module.
bool add_fast_paths(PyObject* module);
