#pragma once
// Native -> Python conversion of a callable's result, chosen by its C++ type.
// Every result is a new object; a Result<T> error becomes ValueError.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "errors/errors.hpp"
#include "python/bind/core.hpp"
#include "utils/series.hpp"

namespace vorn::py {

PyObject* float_list(std::span<const double> v);

// The primary template converts instances of the module's classes (bind/klass.hpp);
// every other kind is a specialisation below.
template <class T>
struct ToPy {
    static PyObject* convert(const T& v);
};

template <class T>
PyObject* to_py(T&& v) {
    return ToPy<std::remove_cvref_t<T>>::convert(std::forward<T>(v));
}

template <>
struct ToPy<double> {
    static PyObject* convert(double v) { return PyFloat_FromDouble(v); }
};
template <>
struct ToPy<std::uint64_t> {
    static PyObject* convert(std::uint64_t v) { return PyLong_FromUnsignedLongLong(v); }
};
template <>
struct ToPy<std::int64_t> {
    static PyObject* convert(std::int64_t v) { return PyLong_FromLongLong(v); }
};
template <>
struct ToPy<int> {
    static PyObject* convert(int v) { return PyLong_FromLong(v); }
};
template <>
struct ToPy<bool> {
    static PyObject* convert(bool v) { return Py_NewRef(v ? Py_True : Py_False); }
};
template <>
struct ToPy<std::string> {
    static PyObject* convert(const std::string& v) {
        return PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size()));
    }
};
template <>
struct ToPy<std::nullopt_t> {
    static PyObject* convert(std::nullopt_t) { Py_RETURN_NONE; }
};
template <class T>
struct ToPy<std::optional<T>> {
    template <class O>
    static PyObject* convert(O&& v) {
        if (!v) Py_RETURN_NONE;
        return to_py(*std::forward<O>(v));
    }
};
template <>
struct ToPy<Series> {
    static PyObject* convert(const Series& v) { return float_list(v); }
};
// A view of a series owned elsewhere (a cache) becomes a new list all the same.
template <>
struct ToPy<std::span<const double>> {
    static PyObject* convert(std::span<const double> v) { return float_list(v); }
};
template <class T, class A>
struct ToPy<std::vector<T, A>> {
    template <class V>
    static PyObject* convert(V&& v) {
        Ref list(PyList_New(static_cast<Py_ssize_t>(v.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < v.size(); ++i) {
            PyObject* item = to_py(v[i]);
            if (!item) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
        }
        return list.release();
    }
};
// std::vector<bool> hands out bit proxies, not bools.
template <class A>
struct ToPy<std::vector<bool, A>> {
    static PyObject* convert(const std::vector<bool, A>& v) {
        Ref list(PyList_New(static_cast<Py_ssize_t>(v.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < v.size(); ++i)
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), Py_NewRef(v[i] ? Py_True : Py_False));
        return list.release();
    }
};

template <class Tuple>
PyObject* tuple_to_py(Tuple&& t) {
    constexpr std::size_t N = std::tuple_size_v<std::remove_cvref_t<Tuple>>;
    Ref out(PyTuple_New(N));
    if (!out) return nullptr;
    bool ok = [&]<std::size_t... I>(std::index_sequence<I...>) {
        return ([&] {
            PyObject* item = to_py(std::get<I>(std::forward<Tuple>(t)));
            if (!item) return false;
            PyTuple_SET_ITEM(out.get(), I, item);
            return true;
        }() && ...);
    }(std::make_index_sequence<N>{});
    return ok ? out.release() : nullptr;
}

template <class... Ts>
struct ToPy<std::tuple<Ts...>> {
    template <class T>
    static PyObject* convert(T&& t) { return tuple_to_py(std::forward<T>(t)); }
};
template <class A, class B>
struct ToPy<std::pair<A, B>> {
    template <class T>
    static PyObject* convert(T&& t) { return tuple_to_py(std::forward<T>(t)); }
};

template <class Map>
PyObject* map_to_py(const Map& m) {
    Ref d(PyDict_New());
    if (!d) return nullptr;
    for (const auto& [k, v] : m) {
        Ref key(to_py(k));
        Ref val(to_py(v));
        if (!key || !val || PyDict_SetItem(d.get(), key.get(), val.get()) < 0) return nullptr;
    }
    return d.release();
}
template <class K, class V, class H, class E, class A>
struct ToPy<std::unordered_map<K, V, H, E, A>> {
    static PyObject* convert(const std::unordered_map<K, V, H, E, A>& m) { return map_to_py(m); }
};
template <class K, class V, class C, class A>
struct ToPy<std::map<K, V, C, A>> {
    static PyObject* convert(const std::map<K, V, C, A>& m) { return map_to_py(m); }
};

// Named records of series (BandSeries, MacdSeries, ...) declare their Python tuple order
// with a member as_tuple() returning a tuple of references.
template <class T>
concept TupleRecord = requires(const T& t) { t.as_tuple(); };

template <TupleRecord T>
struct ToPy<T> {
    static PyObject* convert(const T& r) { return tuple_to_py(r.as_tuple()); }
};

template <class T>
struct ToPy<Result<T>> {
    template <class R>
    static PyObject* convert(R&& r) {
        if (!r) return raise_value_error(r.error().message());
        if constexpr (std::is_void_v<T>)
            Py_RETURN_NONE;
        else
            return to_py(*std::forward<R>(r));
    }
};

// A plain-message error (the model layer reports its failures as text alone) becomes
// ValueError with that text.
template <class T>
struct ToPy<std::expected<T, std::string>> {
    template <class R>
    static PyObject* convert(R&& r) {
        if (!r) return raise_value_error(r.error());
        return to_py(*std::forward<R>(r));
    }
};

// Instances of the module's classes: the class helper registers the type object of
// each payload type when it creates the class.
template <class T>
struct ClassOf {
    static inline PyTypeObject* type = nullptr;
};

PyObject* no_class_for(const char* what);

}  // namespace vorn::py
