#include "python/bind/core.hpp"

#include <stdexcept>

#include "utils/memory.hpp"

namespace vorn::py {

namespace {
PyObject* g_panic = nullptr;
}

PyObject* panic_exception_type() { return g_panic; }

bool init_panic_exception() {
    if (g_panic) return true;
    g_panic = PyErr_NewExceptionWithDoc("vorn_library.PanicException",
                                        "Raised when the library fails internally; not meant to be caught.",
                                        PyExc_BaseException, nullptr);
    return g_panic != nullptr;
}

PyObject* raise_current_exception() noexcept {
    try {
        throw;
    } catch (const utils::TooLarge& e) {
        PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(g_panic ? g_panic : PyExc_SystemError, e.what());
    } catch (...) {
        PyErr_SetString(g_panic ? g_panic : PyExc_SystemError, "unknown C++ exception");
    }
    return nullptr;
}

std::string type_name(PyObject* o) {
    const char* full = Py_TYPE(o)->tp_name;
    const char* dot = nullptr;
    for (const char* p = full; *p; ++p)
        if (*p == '.') dot = p;
    return dot ? std::string(dot + 1) : std::string(full);
}

PyObject* raise_type_error(const std::string& msg) {
    PyErr_SetString(PyExc_TypeError, msg.c_str());
    return nullptr;
}

// The message is taken with its length: a text quoted from a caller's string (a method name)
// may hold NUL characters, and the whole of it belongs in the message.
PyObject* raise_value_error(const std::string& msg) {
    if (Ref text{PyUnicode_FromStringAndSize(msg.data(), static_cast<Py_ssize_t>(msg.size()))})
        PyErr_SetObject(PyExc_ValueError, text.get());
    return nullptr;
}

void rewrap_argument_error(const char* name) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    if (type != PyExc_TypeError) {
        PyErr_Restore(type, value, tb);
        return;
    }
    PyErr_NormalizeException(&type, &value, &tb);
    Ref old_type(type), old_value(value), old_tb(tb);
    Ref text(old_value ? PyObject_Str(old_value.get()) : PyUnicode_FromString(""));
    if (!text) return;
    Ref msg(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
    if (!msg) return;
    Ref exc(PyObject_CallOneArg(PyExc_TypeError, msg.get()));
    if (!exc) return;
    if (old_value) {
        if (PyObject* cause = PyException_GetCause(old_value.get()))  // new reference, stolen below
            PyException_SetCause(exc.get(), cause);
    }
    PyErr_SetObject(PyExc_TypeError, exc.get());
}

}  // namespace vorn::py
