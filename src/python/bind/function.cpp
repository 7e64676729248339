#include "python/bind/function.hpp"

#include <charconv>

namespace vorn::py {

std::string python_literal(double v) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string out(buf, ec == std::errc() ? end : buf);
    // Python spells a whole float with its point: 2.0, not 2.
    if (out.find_first_of(".en") == std::string::npos) out += ".0";
    return out;
}
std::string python_literal(std::uint64_t v) { return std::to_string(v); }
std::string python_literal(std::int64_t v) { return std::to_string(v); }
std::string python_literal(bool v) { return v ? "True" : "False"; }
std::string python_literal(const std::string& v) { return "'" + v + "'"; }

std::vector<const EntryInfo*>& entry_infos() {
    static std::vector<const EntryInfo*> all;
    return all;
}

std::string render_params(const std::vector<ParamInfo>& params, Shown shown) {
    std::string out;
    for (const ParamInfo& p : params) {
        if (!out.empty()) out += ", ";
        out += p.name;
        const bool show = shown == Shown::defaults ? !p.default_text.empty() : !p.required;
        if (show) {
            out += '=';
            out += p.default_text;
        }
    }
    return out;
}

namespace {

PyObject* too_many_positional(const Signature& sig, Py_ssize_t given) {
    const char* verb = given == 1 ? "was" : "were";
    if (sig.required == sig.count)
        PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", sig.display, sig.count,
                     given, verb);
    else
        PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given", sig.display,
                     sig.required, sig.count, given, verb);
    return nullptr;
}

void missing_required(const Signature& sig, PyObject** slots) {
    std::string list;
    std::size_t k = 0;
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < sig.required; ++i)
        if (!slots[i]) missing.push_back(sig.names[i]);
    k = missing.size();
    for (std::size_t i = 0; i < k; ++i) {
        if (i > 0) list += (k == 2) ? " and " : (i + 1 == k ? ", and " : ", ");
        list += "'";
        list += missing[i];
        list += "'";
    }
    PyErr_Format(PyExc_TypeError, "%s missing %zu required positional argument%s: %s", sig.display, k,
                 k == 1 ? "" : "s", list.c_str());
}

}  // namespace

bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** slots) {
    if (static_cast<std::size_t>(nargs) > sig.count) {
        too_many_positional(sig, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    if (kwnames) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GET_ITEM(kwnames, k);
            std::size_t found = sig.count;
            for (std::size_t p = 0; p < sig.count; ++p) {
                if (PyUnicode_CompareWithASCIIString(key, sig.names[p]) == 0) {
                    found = p;
                    break;
                }
            }
            if (found == sig.count) {
                PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", sig.display, key);
                return false;
            }
            if (slots[found]) {
                PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", sig.display,
                             sig.names[found]);
                return false;
            }
            slots[found] = args[nargs + k];
        }
    }
    for (std::size_t i = 0; i < sig.required; ++i) {
        if (!slots[i]) {
            missing_required(sig, slots);
            return false;
        }
    }
    return true;
}

bool FlatArgs::flatten(PyObject* args, PyObject* kwargs) {
    nargs = args ? PyTuple_GET_SIZE(args) : 0;
    items.clear();
    for (Py_ssize_t i = 0; i < nargs; ++i) items.push_back(PyTuple_GET_ITEM(args, i));
    if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
        kwnames = Ref(PyTuple_New(PyDict_GET_SIZE(kwargs)));
        if (!kwnames) return false;
        Py_ssize_t pos = 0, k = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            PyTuple_SET_ITEM(kwnames.get(), k++, Py_NewRef(key));
            items.push_back(value);
        }
    }
    items.push_back(nullptr);
    return true;
}

}  // namespace vorn::py
