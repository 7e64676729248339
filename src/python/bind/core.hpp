#pragma once
// Shared pieces of the binding layer: owned references, the panic exception and the
// error helpers every trampoline uses. This directory is the only code that knows Python.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <string_view>

namespace vorn::py {

// An owned reference; releases it on scope exit.
class Ref {
public:
    Ref() = default;
    explicit Ref(PyObject* p) noexcept : p_(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref&& o) noexcept { std::swap(p_, o.p_); return *this; }
    ~Ref() { Py_XDECREF(p_); }
    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { PyObject* p = p_; p_ = nullptr; return p; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

// A template-argument string: names are part of a binding's identity, so that two
// registrations of one callable under two names stay two functions.
template <std::size_t N>
struct fixed_string {
    char data[N]{};
    constexpr fixed_string(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) data[i] = s[i];
    }
    constexpr const char* c_str() const { return data; }
};

// BaseException subclass raised when C++ code fails in a way no input should reach.
PyObject* panic_exception_type();
bool init_panic_exception();

// Converts whatever C++ exception is in flight into a Python exception; always returns nullptr.
PyObject* raise_current_exception() noexcept;

// The short type name CPython prints in messages ("set", "NoneType", "ndarray").
std::string type_name(PyObject* o);

PyObject* raise_type_error(const std::string& msg);
PyObject* raise_value_error(const std::string& msg);

// A failed conversion of argument NAME: an exact TypeError becomes
// "argument 'NAME': <message>" (keeping its cause); anything else passes through.
void rewrap_argument_error(const char* name);

// Call F under a guard that never lets a C++ exception reach the interpreter.
template <class F>
PyObject* guarded(F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return raise_current_exception();
    }
}

}  // namespace vorn::py
