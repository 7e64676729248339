#pragma once
// Declarative functions: one entry names a plain C++ callable and its parameter table;
// the templates here generate the METH_FASTCALL | METH_KEYWORDS trampoline.
//
//   const FunctionDef py_sma = def<"py_sma", sma>(doc, arg("values"), arg("period"));
//
// Parameter declarations (the callable's parameter type decides the conversion):
//   arg(name)                      required; None refused
//   arg_or_none(name)              required; None -> absent (std::optional parameter)
//   omissible(name, v)             may be left out, then v; None refused
//   omissible_or_none(name)        may be left out or None -> absent (std::optional)
//   omissible_or_none(name, v)     left out -> v; None -> absent (std::optional)
#include <array>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "python/bind/convert.hpp"
#include "python/bind/result.hpp"

namespace vorn::py {

// ---- parameter declarations ------------------------------------------------------------

struct NoDefault {};

template <class D, bool NoneOk, bool Required>
struct Param {
    const char* name;
    D value;
    static constexpr bool none_ok = NoneOk;
    static constexpr bool required = Required;
    static constexpr bool has_default = !std::is_same_v<D, NoDefault>;
};

constexpr Param<NoDefault, false, true> arg(const char* name) { return {name, {}}; }
constexpr Param<NoDefault, true, true> arg_or_none(const char* name) { return {name, {}}; }
template <class D>
constexpr Param<D, false, false> omissible(const char* name, D value) { return {name, value}; }
constexpr Param<NoDefault, true, false> omissible_or_none(const char* name) { return {name, {}}; }
template <class D>
constexpr Param<D, true, false> omissible_or_none(const char* name, D value) { return {name, value}; }

// ---- argument binding ------------------------------------------------------------------

struct Signature {
    const char* display;  // "py_sma()" or "Candle.__new__()"
    const char* const* names;
    std::size_t count;
    std::size_t required;
};

// Binds positional then keyword arguments to slots (borrowed references, nullptr when
// left out), with CPython's wording for every refusal. Returns false with TypeError set.
bool bind_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    PyObject** slots);

// tp_new and tp_init receive (tuple, dict): flatten them into the vectorcall form.
struct FlatArgs {
    std::vector<PyObject*> items;
    Ref kwnames;
    Py_ssize_t nargs = 0;
    bool flatten(PyObject* args, PyObject* kwargs);
};

// ---- callable introspection ------------------------------------------------------------

template <class F>
struct Callable;
template <class R, class... A>
struct Callable<R (*)(A...)> {
    using result = R;
    using args = std::tuple<A...>;
    static constexpr std::size_t arity = sizeof...(A);
};

// ---- argument conversion ---------------------------------------------------------------

template <class Storage, class P>
[[gnu::always_inline]] inline bool convert_one(PyObject* o, const P& param, Storage& out) {
    if constexpr (std::is_same_v<Storage, double>) {
        // The per-tick path: an exact float is read in place, everything else goes the long way.
        if (o && PyFloat_CheckExact(o)) {
            out = PyFloat_AS_DOUBLE(o);
            return true;
        }
    }
    if (o == nullptr) {  // left out: an omissible parameter's default
        if constexpr (P::has_default) {
            if constexpr (is_optional_v<Storage>)
                out = typename Storage::value_type(param.value);
            else
                out = Storage(param.value);
        } else if constexpr (is_optional_v<Storage>) {
            out.reset();
        }
        return true;
    }
    if constexpr (!P::none_ok && is_optional_v<Storage>) {
        // An optional native type whose declaration refuses None: convert the inner kind.
        typename Storage::value_type v{};
        if (!Convert<typename Storage::value_type>::from(o, v)) {
            rewrap_argument_error(param.name);
            return false;
        }
        out = std::move(v);
        return true;
    } else {
        if (!Convert<Storage>::from(o, out)) {
            rewrap_argument_error(param.name);
            return false;
        }
        return true;
    }
}


// Checks that a parameter table fits its callable; violations are compile errors.
template <class Args, std::size_t Offset, class... Ps>
constexpr bool params_fit() {
    static_assert(std::tuple_size_v<Args> == Offset + sizeof...(Ps),
                  "parameter table and callable differ in their number of parameters");
    constexpr bool req[] = {true, Ps::required...};
    for (std::size_t i = 2; i < sizeof...(Ps) + 1; ++i)
        if (req[i] && !req[i - 1]) return false;
    return true;
}

template <class P, class A>
constexpr bool param_matches() {
    using S = storage_t<A>;
    if constexpr (P::none_ok) return is_optional_v<S>;
    return true;
}

template <class Args, std::size_t Offset, class... Ps>
constexpr bool all_params_match() {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return (param_matches<Ps, std::tuple_element_t<Offset + I, Args>>() && ...);
    }(std::index_sequence_for<Ps...>{});
}

template <class Args, std::size_t Offset, class Seq>
struct StorageTuple;
template <class Args, std::size_t Offset, std::size_t... I>
struct StorageTuple<Args, Offset, std::index_sequence<I...>> {
    using type = std::tuple<storage_t<std::tuple_element_t<Offset + I, Args>>...>;
};
template <class Args, std::size_t Offset, class... Ps>
using storage_tuple_t = typename StorageTuple<Args, Offset, std::index_sequence_for<Ps...>>::type;

// Converts bound slots in parameter order into the storage tuple; stops at the first failure.
template <class Store, class... Ps>
bool convert_all(PyObject* const* slots, const std::tuple<Ps...>& params, Store& store) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return (convert_one(slots[I], std::get<I>(params), std::get<I>(store)) && ...);
    }(std::index_sequence_for<Ps...>{});
}

// A trampoline's parameter table, filled once when its entry is declared. Entries are
// declared during static initialisation, so every member here is constant-initialised.
template <class... Ps>
struct ParamTable {
    static constexpr std::size_t N = sizeof...(Ps);
    std::tuple<Ps...> params{};
    std::array<const char*, N + 1> names{};
    char display[160]{};
    Signature sig{};

    // owner is the class name for a member ("Candle.__new__()"), null for a module function.
    void fill(const char* owner, const char* member, Ps... ps) {
        params = std::tuple<Ps...>(ps...);
        names = {ps.name..., nullptr};
        if (owner)
            std::snprintf(display, sizeof display, "%s.%s()", owner, member);
        else
            std::snprintf(display, sizeof display, "%s()", member);
        sig = Signature{display, names.data(), N, (std::size_t{Ps::required} + ... + 0)};
    }

    // Binds the arguments to slots[N + 1]; when all are positional and present the
    // arguments themselves are the slots. False with a TypeError set.
    bool bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots,
              PyObject* const*& given) const {
        given = args;
        if (!kwnames && static_cast<std::size_t>(nargs) == N) return true;
        given = slots;
        return bind_arguments(sig, args, nargs, kwnames, slots);
    }
};

template <class R>
PyObject* result_to_py(R&& r) {
    return to_py(std::forward<R>(r));
}

// Calls f(prefix..., stored...) and converts the result (void -> None).
template <auto F, class Store, class... Prefix>
PyObject* invoke(Store& store, Prefix&&... prefix) {
    using R = typename Callable<decltype(F)>::result;
    return std::apply(
        [&](auto&... stored) -> PyObject* {
            if constexpr (std::is_void_v<R>) {
                F(std::forward<Prefix>(prefix)..., stored...);
                Py_RETURN_NONE;
            } else {
                return result_to_py(F(std::forward<Prefix>(prefix)..., stored...));
            }
        },
        store);
}

// ---- module functions ------------------------------------------------------------------

struct FunctionDef {
    PyMethodDef method;
    const char* name() const { return method.ml_name; }
};

template <fixed_string Name, auto F, class... Ps>
struct Function {
    using Info = Callable<decltype(F)>;
    using Store = storage_tuple_t<typename Info::args, 0, Ps...>;
    static inline ParamTable<Ps...> table{};

    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        return guarded([&]() -> PyObject* {
            PyObject* slots[sizeof...(Ps) + 1] = {};
            PyObject* const* given;
            if (!table.bind(args, nargs, kwnames, slots, given)) return nullptr;
            Store store;
            if (!convert_all(given, table.params, store)) return nullptr;
            return invoke<F>(store);
        });
    }
};

template <fixed_string Name, auto F, class... Ps>
FunctionDef def(const char* doc, Ps... ps) {
    using Info = Callable<decltype(F)>;
    static_assert(params_fit<typename Info::args, 0, Ps...>(), "required parameters must come first");
    static_assert(all_params_match<typename Info::args, 0, Ps...>(),
                  "a parameter that accepts None needs a std::optional native type");
    using Fn = Function<Name, F, Ps...>;
    Fn::table.fill(nullptr, Name.c_str(), ps...);
    return FunctionDef{{Name.c_str(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&Fn::call)),
                        METH_FASTCALL | METH_KEYWORDS, doc}};
}

}  // namespace vorn::py
