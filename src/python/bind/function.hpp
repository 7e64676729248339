#pragma once
// Declarative functions: one entry names a plain C++ callable (a kernel, as a rule) and its
// parameter declarations; the templates here generate the METH_FASTCALL | METH_KEYWORDS
// trampoline, and the text signature is rendered from the same declarations.
//
//   def<Id, vol::atr>(doc(...), arg("high"), arg("low"), arg("close"), arg_or_none("period", 14))
//
// Parameter declarations (the callable's parameter type decides the conversion). "None
// selects D" is said one way: a declared default.
//   arg(name)                    required; None refused
//   arg_or_none(name, D)         required; None selects D
//   omissible(name, D)           may be left out, which selects D; None refused
//   omissible_or_none(name, D)   may be left out or None, either of which selects D
// Without a default, None (or leaving the argument out) gives an empty std::optional:
//   arg_or_none(name)            required; None -> absent
//   omissible_or_none(name)      may be left out or None -> absent
// A std::optional parameter with a declared default receives the default, never empty.
//
// A real (a float, an optional float, a fixed number of floats) configures its computation
// unless declared otherwise: a multiplier, a threshold, a weight. NaN there is refused with
// "{name} (NaN) must be a number" as the argument is converted, before any work. A real that
// carries market data (a price, a level to test, a bar's value) is declared as such, and its
// NaN goes to the kernel like any other value (which answers with its own data checks):
//   data_arg(name)               required; None refused; NaN passes
// Settings are the default so that a real left undeclared fails loudly instead of computing
// with NaN. A settable attribute holds a record's data: its setter passes NaN.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "python/bind/convert.hpp"
#include "python/bind/doc.hpp"
#include "python/bind/result.hpp"
#include "utils/series.hpp"

namespace vorn::py {

// ---- parameter declarations ------------------------------------------------------------

struct NoDefault {};

template <class D, bool NoneOk, bool Required, bool Data = false>
struct Param {
    const char* name;
    D value;
    static constexpr bool none_ok = NoneOk;
    static constexpr bool required = Required;
    static constexpr bool has_default = !std::is_same_v<D, NoDefault>;
    static constexpr bool data = Data;  // a real that carries data: NaN passes on
};

constexpr Param<NoDefault, false, true> arg(const char* name) { return {name, {}}; }
constexpr Param<NoDefault, false, true, true> data_arg(const char* name) { return {name, {}}; }
constexpr Param<NoDefault, true, true> arg_or_none(const char* name) { return {name, {}}; }
template <class D>
constexpr Param<D, true, true> arg_or_none(const char* name, D value) { return {name, value}; }
template <class D>
constexpr Param<D, false, false> omissible(const char* name, D value) { return {name, value}; }
constexpr Param<NoDefault, true, false> omissible_or_none(const char* name) { return {name, {}}; }
template <class D>
constexpr Param<D, true, false> omissible_or_none(const char* name, D value) { return {name, value}; }

// ---- what a parameter is, for rendering and introspection -------------------------------

// The kind of argument a native type accepts, as the test-only introspection reports it.
// Families may specialise Kind for kinds of their own (the pivot levels, say).
template <class T>
struct Kind {
    static std::string name() { return "any"; }
};
template <>
struct Kind<Series> {
    static std::string name() { return "series"; }
};
template <>
struct Kind<std::uint64_t> {
    static std::string name() { return "count"; }
};
template <>
struct Kind<std::int64_t> {
    static std::string name() { return "int64"; }
};
template <>
struct Kind<double> {
    static std::string name() { return "real"; }
};
template <>
struct Kind<bool> {
    static std::string name() { return "flag"; }
};
template <>
struct Kind<std::string> {
    static std::string name() { return "text"; }
};
template <class T>
struct Kind<std::optional<T>> {
    static std::string name() { return Kind<T>::name(); }
};
template <std::size_t N>
struct Kind<std::array<double, N>> {
    static std::string name() { return "reals[" + std::to_string(N) + "]"; }
};
template <class T, class A>
struct Kind<std::vector<T, A>> {
    static std::string name() { return "list[" + Kind<T>::name() + "]"; }
};
template <class A, class B>
struct Kind<std::pair<A, B>> {
    static std::string name() { return "tuple[" + Kind<A>::name() + ", " + Kind<B>::name() + "]"; }
};

// The native types a setting can have. Lists, pairs and family kinds (the pivot rows) carry data.
template <class S>
inline constexpr bool is_real_v = false;
template <>
inline constexpr bool is_real_v<double> = true;
template <std::size_t N>
inline constexpr bool is_real_v<std::array<double, N>> = true;
template <class T>
inline constexpr bool is_real_v<std::optional<T>> = is_real_v<T>;

// A parameter stored as S that refuses NaN: a real not declared as data.
template <class S, class P>
inline constexpr bool is_setting_v = is_real_v<S> && !P::data;

template <class S>
[[gnu::always_inline]] inline bool holds_nan(const S& v) {
    if constexpr (std::is_same_v<S, double>)
        return v != v;
    else if constexpr (is_optional_v<S>)
        return v && holds_nan(*v);
    else
        return std::any_of(v.begin(), v.end(), [](double x) { return x != x; });
}

// A setting's kind as the introspection reports it: "setting", or "settings[N]" for a fixed
// number of them (their data forms are "real" and "reals[N]").
template <class S>
std::string setting_kind() {
    if constexpr (is_optional_v<S>)
        return setting_kind<typename S::value_type>();
    else if constexpr (std::is_same_v<S, double>)
        return "setting";
    else
        return "settings[" + std::to_string(std::tuple_size_v<S>) + "]";
}

// A default as Python spells it in a text signature: 14, 2.0, 0.02, True, 'linreg'.
std::string python_literal(double v);
std::string python_literal(std::uint64_t v);
std::string python_literal(std::int64_t v);
std::string python_literal(bool v);
std::string python_literal(const std::string& v);
template <class T>
std::string python_literal(const std::optional<T>& v) {
    return v ? python_literal(*v) : std::string("None");
}

// The value a declared default gives a parameter stored as S.
template <class S, class D>
S default_as(const D& d) {
    if constexpr (is_optional_v<S>)
        return S(typename S::value_type(d));
    else
        return S(d);
}

struct ParamInfo {
    const char* name;
    std::string kind;
    bool required;
    bool none_ok;
    bool has_default;
    std::string default_text;  // the declared default; "None" for an omissible without one
};

// Every entry's parameters (module functions, constructors, methods, setters), in declaration order.
struct EntryInfo {
    std::string name;  // "py_atr", "OnlineSMA.__new__", "OnlineSMA.update", "Candle.open.__set__"
    std::vector<ParamInfo> params;
};
std::vector<const EntryInfo*>& entry_infos();

// The parameter list of a text signature ("high, low, close, period=14").
std::string render_params(const std::vector<ParamInfo>& params, Shown shown);

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

// A plain function, or a member function seen as a function of (receiver, arguments...).
template <class F>
struct Callable;
template <class R, class... A>
struct Callable<R (*)(A...)> {
    using result = R;
    using args = std::tuple<A...>;
};
template <class R, class... A>
struct Callable<R (*)(A...) noexcept> : Callable<R (*)(A...)> {};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...)> {
    using result = R;
    using args = std::tuple<C&, A...>;
};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...) noexcept> : Callable<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...) const> {
    using result = R;
    using args = std::tuple<const C&, A...>;
};
template <class R, class C, class... A>
struct Callable<R (C::*)(A...) const noexcept> : Callable<R (C::*)(A...) const> {};

// ---- argument conversion ---------------------------------------------------------------

// A converted setting that holds NaN is refused; everything else passes. Declared defaults
// are never looked at: they are numbers.
template <class Storage, class P>
[[gnu::always_inline]] inline bool settled(const Storage& v, const P& param) {
    if constexpr (is_setting_v<Storage, P>)
        if (holds_nan(v)) [[unlikely]]
            return refuse_nan_setting(param.name);
    return true;
}

template <class Storage, class P>
[[gnu::always_inline]] inline bool convert_one(PyObject* o, const P& param, Storage& out) {
    if constexpr (std::is_same_v<Storage, double>) {
        // The per-tick path: an exact float is read in place, everything else goes the long way.
        if (o && PyFloat_CheckExact(o)) {
            out = PyFloat_AS_DOUBLE(o);
            return settled(out, param);
        }
    }
    if constexpr (P::has_default) {
        if (o == nullptr || (P::none_ok && o == Py_None)) {  // left out, or None where None selects it
            out = default_as<Storage>(param.value);
            return true;
        }
    } else {
        if (o == nullptr) {  // left out without a default: absent
            if constexpr (is_optional_v<Storage>) out.reset();
            return true;
        }
        if constexpr (P::none_ok) {
            if (o == Py_None) {
                out.reset();
                return true;
            }
        }
    }
    if constexpr (is_optional_v<Storage>) {
        typename Storage::value_type v{};
        if (!Convert<typename Storage::value_type>::from(o, v)) {
            rewrap_argument_error(param.name);
            return false;
        }
        out = std::move(v);
        return settled(out, param);
    } else {
        if (!Convert<Storage>::from(o, out)) {
            rewrap_argument_error(param.name);
            return false;
        }
        return settled(out, param);
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

// None (or leaving an argument out) must select something: a declared default, or an
// empty std::optional.
template <class P, class A>
constexpr bool param_matches() {
    using S = storage_t<A>;
    if constexpr ((P::none_ok || !P::required) && !P::has_default) return is_optional_v<S>;
    return true;
}

template <class Args, std::size_t Offset, class... Ps>
constexpr bool all_params_match() {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return (param_matches<Ps, std::tuple_element_t<Offset + I, Args>>() && ...);
    }(std::index_sequence_for<Ps...>{});
}

// Only a real can be declared as data: elsewhere the declaration would say nothing.
template <class Args, std::size_t Offset, class... Ps>
constexpr bool data_params_are_reals() {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return ((!Ps::data || is_real_v<storage_t<std::tuple_element_t<Offset + I, Args>>>) && ...);
    }(std::index_sequence_for<Ps...>{});
}

// The declaration checks every entry, constructor and method passes; violations are compile errors.
template <class Args, std::size_t Offset, class... Ps>
constexpr void check_declarations() {
    static_assert(params_fit<Args, Offset, Ps...>(), "required parameters must come first");
    static_assert(all_params_match<Args, Offset, Ps...>(),
                  "a parameter that accepts None or may be left out needs a default or a std::optional type");
    static_assert(data_params_are_reals<Args, Offset, Ps...>(), "data_arg declares a real parameter only");
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

template <class S, class P>
ParamInfo param_info(const P& p) {
    std::string kind;
    if constexpr (is_setting_v<S, P>)
        kind = setting_kind<S>();
    else
        kind = Kind<S>::name();
    ParamInfo info{p.name, std::move(kind), P::required, P::none_ok, P::has_default, {}};
    if constexpr (P::has_default)
        info.default_text = python_literal(default_as<S>(p.value));
    else if constexpr (!P::required)
        info.default_text = "None";
    return info;
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
    EntryInfo info{};

    // owner is the class name for a member ("Candle.__new__()"), null for a module function.
    // Store is the tuple of native types the arguments convert to.
    template <class Store>
    void fill(const char* owner, const char* member, Ps... ps) {
        params = std::tuple<Ps...>(ps...);
        names = {ps.name..., nullptr};
        if (owner)
            std::snprintf(display, sizeof display, "%s.%s()", owner, member);
        else
            std::snprintf(display, sizeof display, "%s()", member);
        sig = Signature{display, names.data(), N, (std::size_t{Ps::required} + ... + 0)};
        const bool first = info.name.empty();
        info.name = display;
        info.name.resize(info.name.size() - 2);  // without the "()"
        info.params.clear();
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (info.params.push_back(param_info<std::tuple_element_t<I, Store>>(std::get<I>(params))), ...);
        }(std::index_sequence_for<Ps...>{});
        if (first) entry_infos().push_back(&info);
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

// A converted argument as the callable's parameter A takes it: a value parameter of the
// stored type takes the converted value over (a series moves into the kernel that keeps it).
template <class A, class S>
[[gnu::always_inline]] inline decltype(auto) pass(S& stored) {
    if constexpr (!std::is_reference_v<A> && std::is_same_v<std::remove_cv_t<A>, S>)
        return std::move(stored);
    else
        return (stored);
}

// Calls F: a function, or a member function on its receiver (the first argument). Written
// out rather than through std::invoke so that the kernel inlines into the trampoline as it
// would from a direct call.
template <auto F, class First, class... A>
[[gnu::always_inline]] inline decltype(auto) call(First&& first, A&&... a) {
    if constexpr (std::is_member_function_pointer_v<decltype(F)>)
        return (std::forward<First>(first).*F)(std::forward<A>(a)...);
    else
        return F(std::forward<First>(first), std::forward<A>(a)...);
}
template <auto F>
[[gnu::always_inline]] inline decltype(auto) call() {
    return F();
}

// Calls f(prefix..., stored...) and converts the result (void -> None).
template <auto F, class Store, class... Prefix>
[[gnu::always_inline]] inline PyObject* invoke(Store& store, Prefix&&... prefix) {
    using Info = Callable<decltype(F)>;
    using R = typename Info::result;
    constexpr std::size_t Offset = sizeof...(Prefix);
    return [&]<std::size_t... I>(std::index_sequence<I...>) -> PyObject* {
        if constexpr (std::is_void_v<R>) {
            call<F>(std::forward<Prefix>(prefix)...,
                    pass<std::tuple_element_t<Offset + I, typename Info::args>>(std::get<I>(store))...);
            Py_RETURN_NONE;
        } else {
            return result_to_py(
                call<F>(std::forward<Prefix>(prefix)...,
                        pass<std::tuple_element_t<Offset + I, typename Info::args>>(std::get<I>(store))...));
        }
    }(std::make_index_sequence<std::tuple_size_v<Store>>{});
}

// ---- module functions ------------------------------------------------------------------

struct FunctionDef {
    PyMethodDef method;
    const char* name() const { return method.ml_name; }
};

// An entry's Python name: a name written in place (the benchmark module's entries) or, via
// entry_name overloads found by argument-dependent lookup, the registry's.
template <std::size_t N>
constexpr const char* entry_name(const fixed_string<N>& s) {
    return s.c_str();
}

// Id gives the binding its identity: one callable registered under two names stays two
// functions, each naming itself in its messages.
template <auto Id, auto F, class... Ps>
struct Function {
    using Info = Callable<decltype(F)>;
    using Store = storage_tuple_t<typename Info::args, 0, Ps...>;
    static inline constinit ParamTable<Ps...> table{};
    static inline constinit std::string doc{};

    // One flat trampoline: binding, conversion, the call (a header kernel or member inlined)
    // and the result, with no call of its own between them; a raw call is the product.
    [[gnu::flatten]] static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
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

template <auto Id, auto F, class... Ps>
FunctionDef def(Doc d, Ps... ps) {
    using Info = Callable<decltype(F)>;
    check_declarations<typename Info::args, 0, Ps...>();
    using Fn = Function<Id, F, Ps...>;
    const char* name = entry_name(Id);
    Fn::table.template fill<typename Fn::Store>(nullptr, name, ps...);
    Fn::doc = docstring(name, render_params(Fn::table.info.params, d.shown), d);
    return FunctionDef{{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&Fn::call)),
                        METH_FASTCALL | METH_KEYWORDS, Fn::doc.c_str()}};
}

}  // namespace vorn::py
