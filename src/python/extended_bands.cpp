// Squeeze, aberration, WAE and the SSL channel.
#include "indicators/extended/bands.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

namespace {

constexpr Line kHighLowClose[] = {{"high", "list of float", "High prices"},
                                  {"low", "list of float", "Low prices"},
                                  {"close", "list of float", "Closing prices"}};

}  // namespace

ENTRY(py_squeeze, ext::squeeze)(
    doc("Calculate Squeeze Momentum Indicator\n\n"
        "Detects when BB is inside KC (squeeze on) indicating\n"
        "low volatility before potential breakout.",
        params(kHighLowClose, Line{"bb_period", "int, optional", "Bollinger Bands period (default: 20)"},
               Line{"bb_std", "float, optional", "BB standard deviation (default: 2.0)"},
               Line{"kc_period", "int, optional", "Keltner Channel period (default: 20)"},
               Line{"kc_atr_period", "int, optional", "KC ATR period (default: 20)"},
               Line{"kc_mult", "float, optional", "KC ATR multiplier (default: 1.5)"}),
        returns("tuple of (list, list, list) - (squeeze on, squeeze off, momentum)")),
    arg("high"), arg("low"), arg("close"), arg_or_none("bb_period", 20), arg_or_none("bb_std", 2.0),
    arg_or_none("kc_period", 20), arg_or_none("kc_atr_period", 20), arg_or_none("kc_mult", 1.5));

ENTRY(py_aberration, ext::aberration)(
    doc("Calculate Aberration Indicator\n\n"
        "Measures deviation from expected price movement based on\n"
        "ATR. Identifies abnormal price behavior.",
        params(kHighLowClose, Line{"period", "int, optional", "SMA period (default: 20)"},
               Line{"atr_period", "int, optional", "ATR period (default: 20)"}),
        returns("list of float - Aberration values")),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 20), arg_or_none("atr_period", 20));

ENTRY(py_wae, ext::wae)(Doc{}.names_only(), arg("close"), arg_or_none("fast", 20), arg_or_none("slow", 40),
                        arg_or_none("signal", 9), arg_or_none("bb_period", 20), arg_or_none("multiplier", 2.0));

ENTRY(py_ssl_channel, ext::ssl_channel)(Doc{}.names_only(), arg("high"), arg("low"), arg("close"),
                                        arg_or_none("period", 10));

}  // namespace vorn::py::families
