#include "python/bind/result.hpp"

namespace vorn::py {

PyObject* float_list(std::span<const double> v) {
    const Py_ssize_t n = static_cast<Py_ssize_t>(v.size());
    PyObject* list = PyList_New(n);
    if (!list) return nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* f = PyFloat_FromDouble(v[static_cast<std::size_t>(i)]);
        if (!f) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, i, f);
    }
    return list;
}

PyObject* no_class_for(const char* what) {
    PyErr_Format(PyExc_SystemError, "no Python class is registered for %s", what);
    return nullptr;
}

}  // namespace vorn::py
