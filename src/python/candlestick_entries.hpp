#pragma once
// Entry builders shared by the four candlestick tables. A detector is one declaration:
//
//   const FunctionDef py_doji =
//       ohlc<registry::Fn::py_doji, cs::doji, 0.1>(SIG("py_doji(open, high, low, close, body_threshold=0.1)"), "body_threshold");
//
// Its series are required; its one trailing parameter may be left out or given as None,
// both of which select the default named here.
#include <optional>
#include <span>

#include "python/families.hpp"

namespace vorn::py::families::candles {

using In = std::span<const double>;

template <auto Kernel, auto Default>
Result<Series> four_with_default(In open, In high, In low, In close, std::optional<decltype(Default)> p) {
    return Kernel(open, high, low, close, p.value_or(Default));
}

template <auto Kernel, auto Default>
Result<Series> three_with_default(In open, In side, In close, std::optional<decltype(Default)> p) {
    return Kernel(open, side, close, p.value_or(Default));
}

// (open, high, low, close)
template <auto Name, auto Kernel>
FunctionDef ohlc(const char* doc) {
    return def<Name, Kernel>(doc, arg("open"), arg("high"), arg("low"), arg("close"));
}

// (open, high, low, close, param=Default)
template <auto Name, auto Kernel, auto Default>
FunctionDef ohlc(const char* doc, const char* param) {
    return def<Name, &four_with_default<Kernel, Default>>(doc, arg("open"), arg("high"), arg("low"), arg("close"),
                                                           omissible_or_none(param));
}

// (open, side, close), the side series named `side`
template <auto Name, auto Kernel>
FunctionDef osc(const char* doc, const char* side) {
    return def<Name, Kernel>(doc, arg("open"), arg(side), arg("close"));
}

// (open, side, close, param=Default)
template <auto Name, auto Kernel, auto Default>
FunctionDef osc(const char* doc, const char* side, const char* param) {
    return def<Name, &three_with_default<Kernel, Default>>(doc, arg("open"), arg(side), arg("close"),
                                                            omissible_or_none(param));
}

// (open, close)
template <auto Name, auto Kernel>
FunctionDef oc(const char* doc) {
    return def<Name, Kernel>(doc, arg("open"), arg("close"));
}

}  // namespace vorn::py::families::candles

// A docstring's text signature line.
#define CANDLE_SIG(sig) sig "\n--\n\n"

// The parts of the longer docstrings that every detector shares.
#define CANDLE_OHLC_PARAMS                                                                                   \
    "Parameters\n----------\nopen : list[float]\n    Open prices\nhigh : list[float]\n    High prices\n"        \
    "low : list[float]\n    Low prices\nclose : list[float]\n    Close prices\n"
#define CANDLE_RAISES                                                                                        \
    "\nRaises\n------\nValueError\n    If a series is empty, contains a non-finite value or differs in length\n" \
    "    from the others\n"
