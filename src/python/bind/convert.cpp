#include "python/bind/convert.hpp"

#include <algorithm>
#include <cstring>

namespace vorn::py {

namespace {

// A sequence's reported length only sizes a first reservation; a sequence that claims
// billions of items must not make us allocate for them before reading any.
constexpr Py_ssize_t kReserveCap = Py_ssize_t{1} << 20;

bool native_double_format(const char* f) {
    if (!f) return false;
    if (f[0] == '@' || f[0] == '=' || f[0] == '<') ++f;  // all describe a little-endian IEEE double here
    return f[0] == 'd' && f[1] == '\0';
}

// The item conversions of list/tuple: exact floats first, everything else through
// CPython's float protocol. Lists are re-measured per item, as iteration would be,
// because an item's __float__ may change the list.
bool from_list(PyObject* o, Series& out) {
    Py_ssize_t n = PyList_GET_SIZE(o);
    out.resize(static_cast<std::size_t>(n));
    Py_ssize_t i = 0;
    for (; i < PyList_GET_SIZE(o); ++i) {
        PyObject* item = PyList_GET_ITEM(o, i);
        double v;
        if (PyFloat_CheckExact(item)) {
            v = PyFloat_AS_DOUBLE(item);
        } else {
            Py_INCREF(item);
            v = PyFloat_AsDouble(item);
            Py_DECREF(item);
            if (v == -1.0 && PyErr_Occurred()) return false;
        }
        if (static_cast<std::size_t>(i) < out.size())
            out[static_cast<std::size_t>(i)] = v;
        else
            out.push_back(v);
    }
    out.resize(static_cast<std::size_t>(i));
    return true;
}

bool from_tuple(PyObject* o, Series& out) {
    Py_ssize_t n = PyTuple_GET_SIZE(o);
    out.resize(static_cast<std::size_t>(n));
    PyObject** items = &PyTuple_GET_ITEM(o, 0);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* item = items[i];
        if (PyFloat_CheckExact(item)) {
            out[static_cast<std::size_t>(i)] = PyFloat_AS_DOUBLE(item);
        } else {
            double v = PyFloat_AsDouble(item);
            if (v == -1.0 && PyErr_Occurred()) return false;
            out[static_cast<std::size_t>(i)] = v;
        }
    }
    return true;
}

// 1-D C-contiguous float64 memory (NumPy arrays, array('d'), memoryview): one copy.
// Returns 1 when taken, 0 when the object is not such a buffer (generic path), -1 on error.
int from_buffer(PyObject* o, Series& out) {
    if (!PyObject_CheckBuffer(o)) return 0;
    Py_buffer view;
    if (PyObject_GetBuffer(o, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
        PyErr_Clear();
        return 0;
    }
    int taken = 0;
    if (view.ndim == 1 && view.itemsize == sizeof(double) && native_double_format(view.format)) {
        const std::size_t n = static_cast<std::size_t>(view.len) / sizeof(double);
        const double* first = static_cast<const double*>(view.buf);
        try {
            out.assign(first, first + n);  // one copy, no fill before it
        } catch (...) {
            PyBuffer_Release(&view);
            throw;
        }
        taken = 1;
    }
    PyBuffer_Release(&view);
    return taken;
}

bool from_iteration(PyObject* o, Series& out) {
    Py_ssize_t hint = PySequence_Size(o);
    if (hint < 0) PyErr_Clear();
    out.clear();
    if (hint > 0) out.reserve(static_cast<std::size_t>(std::min(hint, kReserveCap)));
    Ref it(PyObject_GetIter(o));
    if (!it) return false;
    while (PyObject* raw = PyIter_Next(it.get())) {
        Ref item(raw);
        double v;
        if (!convert_real(item.get(), v)) return false;
        out.push_back(v);
    }
    return !PyErr_Occurred();
}

}  // namespace

bool refuse_nan_setting(const char* name) {
    PyErr_Format(PyExc_ValueError, "%s (NaN) must be a number", name);
    return false;
}

bool check_sequence(PyObject* o) {
    if (PyUnicode_Check(o)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(o)) {
        raise_type_error("'" + type_name(o) + "' object cannot be cast as 'Sequence'");
        return false;
    }
    return true;
}

bool check_tuple(PyObject* o, Py_ssize_t n) {
    if (!PyTuple_Check(o)) {
        raise_type_error("'" + type_name(o) + "' object cannot be cast as 'tuple'");
        return false;
    }
    if (PyTuple_GET_SIZE(o) != n) {
        raise_value_error("expected tuple of length " + std::to_string(n) + ", but got tuple of length " +
                          std::to_string(PyTuple_GET_SIZE(o)));
        return false;
    }
    return true;
}

bool convert_series(PyObject* o, Series& out) {
    if (PyList_CheckExact(o)) return from_list(o, out);
    if (PyTuple_CheckExact(o)) return from_tuple(o, out);
    if (!check_sequence(o)) return false;
    if (int r = from_buffer(o, out); r != 0) return r > 0;
    return from_iteration(o, out);
}

bool convert_fixed_reals(PyObject* o, double* out, std::size_t n) {
    if (!PySequence_Check(o)) {
        raise_type_error("'" + type_name(o) + "' object cannot be cast as 'Sequence'");
        return false;
    }
    const Py_ssize_t len = PySequence_Size(o);
    if (len < 0) return false;
    if (static_cast<std::size_t>(len) != n) {
        raise_value_error("expected a sequence of length " + std::to_string(n) + " (got " + std::to_string(len) + ")");
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        Ref item(PySequence_GetItem(o, static_cast<Py_ssize_t>(i)));
        if (!item || !convert_real(item.get(), out[i])) return false;
    }
    return true;
}

bool convert_count(PyObject* o, std::uint64_t& out) {
    if (PyLong_CheckExact(o)) {
        unsigned long long v = PyLong_AsUnsignedLongLong(o);
        if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
        out = v;
        return true;
    }
    Ref idx(PyNumber_Index(o));
    if (!idx) return false;
    unsigned long long v = PyLong_AsUnsignedLongLong(idx.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    out = v;
    return true;
}

bool convert_signed(PyObject* o, std::int64_t& out) {
    Ref idx(PyNumber_Index(o));
    if (!idx) return false;
    long long v = PyLong_AsLongLong(idx.get());
    if (v == -1 && PyErr_Occurred()) return false;
    out = v;
    return true;
}

bool convert_flag(PyObject* o, bool& out) {
    if (o == Py_True || o == Py_False) {
        out = (o == Py_True);
        return true;
    }
    const char* tn = Py_TYPE(o)->tp_name;
    if (std::strcmp(tn, "numpy.bool") == 0 || std::strcmp(tn, "numpy.bool_") == 0) {
        int t = PyObject_IsTrue(o);
        if (t < 0) return false;
        out = t != 0;
        return true;
    }
    raise_type_error("'" + type_name(o) + "' object cannot be cast as 'bool'");
    return false;
}

bool convert_text(PyObject* o, std::string& out) {
    if (!PyUnicode_Check(o)) {
        raise_type_error("'" + type_name(o) + "' object cannot be cast as 'str'");
        return false;
    }
    Py_ssize_t n;
    const char* s = PyUnicode_AsUTF8AndSize(o, &n);
    if (!s) return false;
    out.assign(s, static_cast<std::size_t>(n));
    return true;
}

}  // namespace vorn::py
