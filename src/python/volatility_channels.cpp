// Channels and volatility measures: Donchian, chandelier exit, historical volatility,
// ulcer index and mass index.
#include "indicators/volatility/channels.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace vol = indicators::volatility;

ENTRY(py_donchian_channel, vol::donchian_channel)(
    doc("Calculate Donchian Channel\n\n"
        "The highest high and lowest low of the last `period` bars, and their midpoint.",
        params(lines::high, lines::low, Line{"period", "int", "Lookback period (None selects 20)"}),
        returns("tuple[list[float], list[float], list[float]]", "(upper, middle, lower), NaN before index period - 1"),
        raises("If inputs are empty, non-finite or of different lengths, or period is 0 or\n"
               "greater than the data length")),
    arg("high"), arg("low"), arg_or_none("period", 20));

ENTRY(py_chandelier_exit, vol::chandelier_exit)(
    doc("Calculate Chandelier Exit\n\n"
        "ATR-based trailing stops: the long exit hangs multiplier * ATR below the highest high of the\n"
        "last `period` bars, the short exit the same distance above the lowest low.",
        params(lines::high_low_close, Line{"period", "int, optional", "Lookback period of the extremes (default 22)"},
               Line{"atr_period", "int, optional", "ATR period (default 22)"},
               Line{"multiplier", "float, optional", "ATR multiplier (default 3.0)"}),
        returns("tuple[list[float], list[float]]",
                "(long_exit, short_exit), NaN before index max(period - 1, atr_period)"),
        raises("If inputs are invalid, a period is out of range or multiplier is negative")),
    arg("high"), arg("low"), arg("close"), omissible_or_none("period", 22), omissible_or_none("atr_period", 22),
    omissible_or_none("multiplier", 3.0));

ENTRY(py_historical_volatility, vol::historical_volatility)(
    doc("Calculate Historical Volatility\n\n"
        "The sample standard deviation of the logarithmic returns over `period` returns, scaled by\n"
        "sqrt(period) * 100.",
        params(lines::close, Line{"period", "int", "Number of returns per window, at least 2 (None selects 20)"}),
        returns("list[float]", "Volatility in percent, NaN before index period and in every window\n"
                               "that holds an undefined return"),
        raises("If close is empty or non-finite, or period is below 2 or greater than\nthe data length")),
    arg("close"), arg_or_none("period", 20));

ENTRY(py_ulcer_index, vol::ulcer_index)(
    doc("Calculate Ulcer Index\n\n"
        "The root mean square of the percentage drawdowns from the highest close of the last\n"
        "`period` bars.",
        params(lines::close, Line{"period", "int", "Lookback period (None selects 14)"}),
        returns("list[float]", "Ulcer index, NaN before index 2 * period - 2"),
        raises("If close is empty or non-finite, or period is 0 or greater than the\ndata length")),
    arg("close"), arg_or_none("period", 14));

ENTRY(py_mass_index, vol::mass_index)(
    doc("Calculate Mass Index\n\n"
        "The sum, over the longer period, of the ratio of a single to a double exponential average\n"
        "of the bar range taken over the shorter period.",
        params(lines::high, lines::low, Line{"fast", "int, optional", "EMA period (default 9)"},
               Line{"slow", "int, optional", "Summation period (default 25)"}),
        returns("list[float]", "Mass index, NaN during the warm-up"),
        raises("If inputs are invalid, a period is 0, or there are fewer than\n2 * slow - fast bars")),
    arg("high"), arg("low"), omissible("fast", 9), omissible("slow", 25));

}  // namespace vorn::py::families
