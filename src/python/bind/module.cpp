#include "python/bind/module.hpp"

namespace vorn::py {

bool add_object(PyObject* module, const char* name, PyObject* object) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyList_New(0);
        if (!all || PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_XDECREF(all);
            return false;
        }
    }
    Ref all_ref(all);
    if (!PyList_Check(all)) {
        PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyList'", Py_TYPE(all)->tp_name);
        return false;
    }
    Ref text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all, text.get()) < 0) return false;
    return PyObject_SetAttrString(module, name, object) == 0;
}

bool add_class(PyObject* module, PyTypeObject* type) {
    if (!type) return false;
    return add_object(module, _PyType_Name(type), reinterpret_cast<PyObject*>(type));
}

bool add_function(PyObject* module, const FunctionDef& def) {
    Ref modname(PyModule_GetNameObject(module));
    if (!modname) return false;
    Ref fn(PyCFunction_NewEx(const_cast<PyMethodDef*>(&def.method), module, modname.get()));
    if (!fn) return false;
    return add_object(module, def.name(), fn.get());
}

}  // namespace vorn::py
