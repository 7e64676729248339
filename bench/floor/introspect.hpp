#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>

// Adds parameters() (test-only introspection of every vorn_library binding) to a module.
bool add_introspection(PyObject* module);
