// Test-only: which fast paths the kernels took (utils/fast_path.hpp). The counts are those of
// this extension's copy of the kernels (and of the product module's too, where the loader makes
// the counters one object, as GCC's unique symbols do), so the calls to count go through
// library(), the product's bindings run from this module, and count either way:
//
//   lib = vorn_bench_floor.library()       # every vorn_library function and class
//   vorn_bench_floor.fast_paths()          # {"lanes": 2, ...}: taken since the previous call,
//                                          # None in a build without the counts
#include "bench/floor/introspect.hpp"
#include "python/bind/core.hpp"
#include "utils/fast_path.hpp"

namespace {

using namespace vorn::py;

PyObject* library(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { return own_library(); });
}

PyObject* fast_paths(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
#if defined(VORN_FAST_PATH_COUNTS)
        Ref out(PyDict_New());
        if (!out) return nullptr;
        for (const auto& [path, count] : vorn::utils::fast_path::take_counts()) {
            Ref k(PyLong_FromUnsignedLongLong(count));
            if (!k || PyDict_SetItemString(out.get(), path.c_str(), k.get()) < 0) return nullptr;
        }
        return out.release();
#else
        return Py_NewRef(Py_None);
#endif
    });
}

PyMethodDef library_def = {"library", library, METH_NOARGS,
                           "library()\n--\n\nThe vorn_library bindings over this module's own kernels."};
PyMethodDef fast_paths_def = {"fast_paths", fast_paths, METH_NOARGS,
                              "fast_paths()\n--\n\nEach fast path taken since the previous call, with how often."};

}  // namespace

bool add_fast_paths(PyObject* module) {
    for (PyMethodDef* def : {&library_def, &fast_paths_def}) {
        Ref fn(PyCFunction_NewEx(def, nullptr, nullptr));
        if (!fn || PyModule_AddObjectRef(module, def->ml_name, fn.get()) != 0) return false;
    }
    return true;
}
