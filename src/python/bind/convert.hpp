#pragma once
// Python -> native conversion of one argument, chosen by the native parameter type.
// Each Convert<T> returns false with a Python exception set; the caller adds the
// argument's name. Families may specialise Convert for kinds of their own.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "errors/errors.hpp"
#include "python/bind/core.hpp"
#include "utils/series.hpp"

namespace vorn::py {

using vorn::Series;

bool convert_series(PyObject* o, Series& out);
bool convert_count(PyObject* o, std::uint64_t& out);
bool convert_signed(PyObject* o, std::int64_t& out);
bool convert_flag(PyObject* o, bool& out);
bool convert_text(PyObject* o, std::string& out);
// Exactly n numbers from any sequence; another length is a ValueError.
bool convert_fixed_reals(PyObject* o, double* out, std::size_t n);

// A setting (a real that configures a computation) given as NaN: ValueError
// "{name} (NaN) must be a number". Always returns false.
[[gnu::cold]] bool refuse_nan_setting(const char* name);

// What every sequence kind refuses before reading an item: a str, then anything that fails
// CPython's sequence check. False with TypeError set.
bool check_sequence(PyObject* o);
// A tuple (or subclass) of exactly n items: another object is a TypeError, another length a
// ValueError naming both lengths.
bool check_tuple(PyObject* o, Py_ssize_t n);

inline bool convert_real(PyObject* o, double& out) {
    if (PyFloat_CheckExact(o)) {
        out = PyFloat_AS_DOUBLE(o);
        return true;
    }
    double v = PyFloat_AsDouble(o);
    if (v == -1.0 && PyErr_Occurred()) return false;
    out = v;
    return true;
}

template <class T>
struct Convert;

template <>
struct Convert<Series> {
    static bool from(PyObject* o, Series& out) { return convert_series(o, out); }
};
template <>
struct Convert<std::uint64_t> {
    static bool from(PyObject* o, std::uint64_t& out) { return convert_count(o, out); }
};
template <>
struct Convert<std::int64_t> {
    static bool from(PyObject* o, std::int64_t& out) { return convert_signed(o, out); }
};
template <>
struct Convert<double> {
    static bool from(PyObject* o, double& out) { return convert_real(o, out); }
};
template <>
struct Convert<bool> {
    static bool from(PyObject* o, bool& out) { return convert_flag(o, out); }
};
template <>
struct Convert<std::string> {
    static bool from(PyObject* o, std::string& out) { return convert_text(o, out); }
};
template <std::size_t N>
struct Convert<std::array<double, N>> {
    static bool from(PyObject* o, std::array<double, N>& out) { return convert_fixed_reals(o, out.data(), N); }
};
template <class T>
struct Convert<std::optional<T>> {
    static bool from(PyObject* o, std::optional<T>& out) {
        if (o == Py_None) {
            out.reset();
            return true;
        }
        T v{};
        if (!Convert<T>::from(o, v)) return false;
        out = std::move(v);
        return true;
    }
};

// A 2-tuple, its items converted in order.
template <class A, class B>
struct Convert<std::pair<A, B>> {
    static bool from(PyObject* o, std::pair<A, B>& out) {
        return check_tuple(o, 2) && Convert<A>::from(PyTuple_GET_ITEM(o, 0), out.first) &&
               Convert<B>::from(PyTuple_GET_ITEM(o, 1), out.second);
    }
};

// A sequence of items of one kind, read by iteration (so a list changed while it is read
// is never indexed past its end). Series have their own fast conversion above.
template <class T, class Alloc>
struct Convert<std::vector<T, Alloc>> {
    static bool from(PyObject* o, std::vector<T, Alloc>& out) {
        if (!check_sequence(o)) return false;
        Ref it(PyObject_GetIter(o));
        if (!it) return false;
        out.clear();
        while (PyObject* raw = PyIter_Next(it.get())) {
            Ref item(raw);
            T v{};
            if (!Convert<T>::from(item.get(), v)) return false;
            out.push_back(std::move(v));
        }
        return !PyErr_Occurred();
    }
};

// How a callable's parameter type is stored while the call runs: views and references
// are held as the owned value they look at.
template <class P>
struct StorageOf {
    using type = std::remove_cvref_t<P>;
};
template <class T>
struct StorageOf<std::span<const T>> {
    using type = std::vector<T>;
};
template <>
struct StorageOf<std::span<const double>> {
    using type = Series;
};
template <>
struct StorageOf<std::string_view> {
    using type = std::string;
};
template <class P>
using storage_t = typename StorageOf<std::remove_cvref_t<P>>::type;

template <class T>
inline constexpr bool is_optional_v = false;
template <class T>
inline constexpr bool is_optional_v<std::optional<T>> = true;

}  // namespace vorn::py
