// Stochastic family: the stochastic oscillator, KDJ, Williams %R and the stochastic RSI.
#include "indicators/momentum/stochastic.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace mom = indicators::momentum;

namespace {

constexpr const char* kRaises =
    "If the series are empty, differ in length or hold non-finite values, or if a\n"
    "period is 0 or greater than the data length";

}  // namespace

ENTRY(py_stochastic, mom::stochastic)(
    doc("Calculate Stochastic Oscillator\n\n"
        "Places each close within the range of the highest high and lowest low of the last\n"
        "`k_period` bars (0 at the low, 100 at the high, 50 on a flat window), smooths that\n"
        "raw %K over `smooth_k` bars and takes %D as the simple average of %K over `d_period`.",
        params(lines::high_low_close,
               Line{"k_period", "int", "Look-back of the highest high and lowest low (default: 14)"},
               Line{"smooth_k", "int", "Smoothing of the raw %K (default: 3)"},
               Line{"d_period", "int", "Period of the %D average (default: 3)"}),
        returns("tuple[list[float], list[float]]", "(%K, %D), NaN during the warm-up"), raises(kRaises)),
    arg("high"), arg("low"), arg("close"), omissible("k_period", 14), omissible("smooth_k", 3),
    omissible("d_period", 3));

ENTRY(py_kdj, mom::kdj)(
    doc("Calculate KDJ Indicator\n\nThe stochastic oscillator's K and D lines with J = 3 * K - 2 * D.",
        params(lines::high_low_close,
               Line{"k_period", "int", "Look-back of the highest high and lowest low (default: 9)"},
               Line{"smooth_k", "int", "Smoothing of the raw K (default: 3)"},
               Line{"d_period", "int", "Period of the D average (default: 3)"}),
        returns("tuple[list[float], list[float], list[float]]",
                "(K, D, J), NaN during the warm-up; J is NaN wherever D is"),
        raises(kRaises)),
    arg("high"), arg("low"), arg("close"), omissible("k_period", 9), omissible("smooth_k", 3),
    omissible("d_period", 3));

ENTRY(py_williams_r, mom::williams_r)(
    doc("Calculate Williams %R\n\n"
        "Distance of the close below the highest high of the last `period` bars, as a share\n"
        "of that window's range: 0 at the high, -100 at the low, -50 on a flat window.",
        params(lines::high_low_close, Line{"period", "int", "Look-back period (None selects 14)"}),
        returns("list[float]", "Williams %R values, NaN before index period - 1"),
        raises("If the series are empty, differ in length or hold non-finite values, or if the\n"
               "period is 0 or greater than the data length")),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_stochrsi, mom::stochastic_rsi)(
    doc("Calculate Stochastic RSI\n\n"
        "The stochastic oscillator applied to the RSI: each RSI value placed within the range\n"
        "of the last `stoch_period` RSI values (50 on a flat window), averaged over `k_period`\n"
        "for %K and again over `d_period` for %D.",
        params(lines::close, Line{"rsi_period", "int", "RSI period (None selects 14)"},
               Line{"stoch_period", "int", "Look-back of the RSI's extremes (None selects 14)"},
               Line{"k_period", "int", "Period of the %K average (None selects 3)"},
               Line{"d_period", "int", "Period of the %D average (None selects 3)"}),
        returns("tuple[list[float], list[float]]", "(%K, %D), NaN during the warm-up"),
        raises("If close is empty or holds non-finite values, if a period is 0, if rsi_period is\n"
               "not below the data length, or if k_period or d_period exceeds it")),
    arg("close"), arg_or_none("rsi_period", 14), arg_or_none("stoch_period", 14), arg_or_none("k_period", 3),
    arg_or_none("d_period", 3));

ENTRY(py_stoch_rsi, mom::stochastic_rsi)(Doc{}, arg("close"), arg_or_none("rsi_period", 14),
                                         arg_or_none("stoch_period", 14), arg_or_none("k_period", 3),
                                         arg_or_none("d_period", 3));

}  // namespace vorn::py::families
