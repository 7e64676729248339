#pragma once
// The adding step shared by classes and functions: append the name to __all__, then
// set the module attribute.
#include "python/bind/function.hpp"

namespace vorn::py {

bool add_object(PyObject* module, const char* name, PyObject* object);
bool add_class(PyObject* module, PyTypeObject* type);
bool add_function(PyObject* module, const FunctionDef& def);

}  // namespace vorn::py
