#pragma once
// What a family file needs: the binding layer and the registry's declarations. The
// registry (registry.def) lists every name once, in order; from it come the identities of
// the entries, their declarations here, and the module's table (module.cpp).
//
//   ENTRY(py_atr, vol::atr)(doc(...), arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));
#include <cstddef>

#include "python/bind/module.hpp"

namespace vorn::py::registry {

enum class Fn : unsigned short {
#define FUNCTION(name) name,
#define CLASS(name, maker)
#include "python/registry.def"
#undef FUNCTION
#undef CLASS
};

inline constexpr const char* kFunctionNames[] = {
#define FUNCTION(name) #name,
#define CLASS(name, maker)
#include "python/registry.def"
#undef FUNCTION
#undef CLASS
};

// The Python name of a registered function (found by def<> through argument-dependent lookup).
constexpr const char* entry_name(Fn id) { return kFunctionNames[static_cast<std::size_t>(id)]; }

}  // namespace vorn::py::registry

namespace vorn::py::families {

#define FUNCTION(name) extern const FunctionDef name;
#define CLASS(name, maker) PyTypeObject* maker();
#include "python/registry.def"
#undef FUNCTION
#undef CLASS

}  // namespace vorn::py::families

namespace vorn::py::families::lines {

// The documentation lines of the price and volume series, as most entries word them.
inline constexpr Line open{"open", "list[float]", "Open prices"};
inline constexpr Line high{"high", "list[float]", "High prices"};
inline constexpr Line low{"low", "list[float]", "Low prices"};
inline constexpr Line close{"close", "list[float]", "Close prices"};
inline constexpr Line volume{"volume", "list[float]", "Volume data"};
inline constexpr Line high_low_close[] = {high, low, close};

}  // namespace vorn::py::families::lines

// Defines the registered function NAME (in vorn::py::families) bound to a callable; the
// call that follows gives its docstring and parameter declarations.
#define ENTRY(name, ...) const FunctionDef name = def<::vorn::py::registry::Fn::name, __VA_ARGS__>
