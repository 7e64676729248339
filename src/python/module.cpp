// Module start-up and the registration table, built from the registry in its order.
#include <atomic>
#include <cstring>

#include "python/families.hpp"

namespace vorn::py {

namespace {

struct Registered {
    const char* name;
    const FunctionDef* function;    // a function, or
    PyTypeObject* (*make_class)();  // a class
};

constexpr Registered kOrder[] = {
#define FUNCTION(name) {#name, &families::name, nullptr},
#define CLASS(name, maker) {#name, nullptr, &families::maker},
#include "python/registry.def"
#undef FUNCTION
#undef CLASS
};

// The module body: classes and functions in their fixed order.
bool module_body(PyObject* module) {
    for (const Registered& r : kOrder) {
        if (r.function) {
            if (!add_function(module, *r.function)) return false;
            continue;
        }
        PyTypeObject* type = r.make_class();
        if (!type) return false;
        if (std::strcmp(_PyType_Name(type), r.name) != 0) {
            PyErr_Format(PyExc_SystemError, "class %s is listed as %s", _PyType_Name(type), r.name);
            return false;
        }
        if (!add_class(module, type)) return false;
    }
    return true;
}

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "vorn_library", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

std::atomic<std::int64_t> owning_interpreter{-1};
PyObject* module_cell = nullptr;

}  // namespace

// The test-only introspection fills a throwaway module to learn every entry's parameters.
bool fill_module(PyObject* module) { return module_body(module); }

}  // namespace vorn::py

extern "C" PyMODINIT_FUNC PyInit_vorn_library(void) {
    using namespace vorn::py;
    return guarded([]() -> PyObject* {
        const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
        if (id == -1 && PyErr_Occurred()) return nullptr;
        std::int64_t expected = -1;
        if (!owning_interpreter.compare_exchange_strong(expected, id) && expected != id) {
            PyErr_SetString(PyExc_ImportError,
                            "vorn_library does not support being imported in more than one interpreter");
            return nullptr;
        }
        if (module_cell) return Py_NewRef(module_cell);
        if (!init_panic_exception()) return nullptr;
        Ref module(PyModule_Create(&module_def));
        if (!module) return nullptr;
        if (!module_body(module.get())) return nullptr;
        module_cell = Py_NewRef(module.get());
        return module.release();
    });
}
