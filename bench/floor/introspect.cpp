// Test-only: every binding's parameters as the binding layer declares them, so that the
// robustness fuzzer aims each argument by its kind instead of guessing from its name.
//
//   vorn_bench_floor.parameters() -> {"py_atr": [{"name": "high", "kind": "series",
//       "required": True, "none": False, "default": None}, ...], "OnlineSMA.__new__": [...],
//       "OnlineSMA.update": [...], "Candle.open.__set__": [{"name": "open", "kind": "real", ...}], ...}
//
// A settable attribute is listed as "Owner.name.__set__" with the one value its setter takes.
// kind: series, count (unsigned 64-bit), int64, real (a float that carries data), setting (a
// float that configures the computation: NaN refused), flag, text, reals[N], settings[N],
// list[...], tuple[...], levels (the pivot rows), any. none: None is accepted. default: what leaving the
// argument out (or None, where accepted) selects, as a Python literal ("14", "2.0", "None").
#include "bench/floor/introspect.hpp"

#include <string>

#include "python/bind/function.hpp"

namespace vorn::py {
// The product module's body, run here on a module of this extension's own.
bool fill_module(PyObject* module);
}  // namespace vorn::py

PyObject* own_library() {
    static vorn::py::Ref filled;
    if (!filled) {
        vorn::py::Ref module(PyModule_New("vorn_library"));
        if (!module || !vorn::py::fill_module(module.get())) return nullptr;
        filled = std::move(module);
    }
    return Py_NewRef(filled.get());
}

namespace {

using namespace vorn::py;

PyObject* param_dict(const ParamInfo& p) {
    Ref d(PyDict_New());
    if (!d) return nullptr;
    Ref name(PyUnicode_FromString(p.name));
    Ref kind(PyUnicode_FromStringAndSize(p.kind.data(), static_cast<Py_ssize_t>(p.kind.size())));
    Ref dflt(p.default_text.empty() ? Py_NewRef(Py_None)
                                    : PyUnicode_FromStringAndSize(p.default_text.data(),
                                                                  static_cast<Py_ssize_t>(p.default_text.size())));
    if (!name || !kind || !dflt) return nullptr;
    if (PyDict_SetItemString(d.get(), "name", name.get()) < 0 ||
        PyDict_SetItemString(d.get(), "kind", kind.get()) < 0 ||
        PyDict_SetItemString(d.get(), "required", p.required ? Py_True : Py_False) < 0 ||
        PyDict_SetItemString(d.get(), "none", p.none_ok ? Py_True : Py_False) < 0 ||
        PyDict_SetItemString(d.get(), "default", dflt.get()) < 0)
        return nullptr;
    return d.release();
}

PyObject* parameters(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
        // Class members declare their parameters when their class is made: make them all.
        Ref filled(own_library());
        if (!filled) return nullptr;
        Ref all(PyObject_GetAttrString(filled.get(), "__all__"));
        if (!all) return nullptr;
        Ref out(PyDict_New());
        if (!out) return nullptr;
        for (const EntryInfo* e : entry_infos()) {
            // Only the product's entries: this module's own are not asked about.
            const std::string owner = e->name.substr(0, e->name.find('.'));
            Ref key(PyUnicode_FromStringAndSize(owner.data(), static_cast<Py_ssize_t>(owner.size())));
            if (!key) return nullptr;
            const int listed = PySequence_Contains(all.get(), key.get());
            if (listed < 0) return nullptr;
            if (!listed) continue;
            Ref list(PyList_New(static_cast<Py_ssize_t>(e->params.size())));
            if (!list) return nullptr;
            for (std::size_t i = 0; i < e->params.size(); ++i) {
                PyObject* d = param_dict(e->params[i]);
                if (!d) return nullptr;
                PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d);
            }
            if (PyDict_SetItemString(out.get(), e->name.c_str(), list.get()) < 0) return nullptr;
        }
        return out.release();
    });
}

PyMethodDef parameters_def = {"parameters", parameters, METH_NOARGS,
                              "parameters()\n--\n\nEvery vorn_library binding's declared parameters."};

}  // namespace

bool add_introspection(PyObject* module) {
    Ref fn(PyCFunction_NewEx(&parameters_def, nullptr, nullptr));
    return fn && PyModule_AddObjectRef(module, "parameters", fn.get()) == 0;
}
