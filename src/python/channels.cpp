// Channels and volatility measures: Donchian, chandelier exit, historical volatility,
// ulcer index and mass index.
#include "indicators/volatility/channels.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace vol = indicators::volatility;

namespace {

Result<vol::BandSeries> donchian_channel(const Series& high, const Series& low, std::optional<std::uint64_t> period) {
    return vol::donchian_channel(high, low, period.value_or(20));
}
Result<vol::ChandelierSeries> chandelier_exit(const Series& high, const Series& low, const Series& close,
                                              std::optional<std::uint64_t> period,
                                              std::optional<std::uint64_t> atr_period,
                                              std::optional<double> multiplier) {
    return vol::chandelier_exit(high, low, close, period.value_or(22), atr_period.value_or(22),
                                multiplier.value_or(3.0));
}
Result<Series> historical_volatility(const Series& close, std::optional<std::uint64_t> period) {
    return vol::historical_volatility(close, period.value_or(20));
}
Result<Series> ulcer_index(const Series& close, std::optional<std::uint64_t> period) {
    return vol::ulcer_index(close, period.value_or(14));
}

}  // namespace

ENTRY(py_donchian_channel, donchian_channel)(
    "py_donchian_channel(high, low, period=20)\n--\n\n"
    "Calculate Donchian Channel\n\n"
    "The highest high and lowest low of the last `period` bars, and their midpoint.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "period : int\n    Lookback period (None selects 20)\n\n"
    "Returns\n-------\ntuple[list[float], list[float], list[float]]\n"
    "    (upper, middle, lower), NaN before index period - 1\n\n"
    "Raises\n------\nValueError\n    If inputs are empty, non-finite or of different lengths, or period is 0 or\n"
    "    greater than the data length\n",
    arg("high"), arg("low"), arg_or_none("period"));

ENTRY(py_chandelier_exit, chandelier_exit)(
    "py_chandelier_exit(high, low, close, period=22, atr_period=22, multiplier=3.0)\n--\n\n"
    "Calculate Chandelier Exit\n\n"
    "ATR-based trailing stops: the long exit hangs multiplier * ATR below the highest high of the\n"
    "last `period` bars, the short exit the same distance above the lowest low.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "period : int, optional\n    Lookback period of the extremes (default 22)\n"
    "atr_period : int, optional\n    ATR period (default 22)\n"
    "multiplier : float, optional\n    ATR multiplier (default 3.0)\n\n"
    "Returns\n-------\ntuple[list[float], list[float]]\n"
    "    (long_exit, short_exit), NaN before index max(period - 1, atr_period)\n\n"
    "Raises\n------\nValueError\n    If inputs are invalid, a period is out of range or multiplier is negative\n",
    arg("high"), arg("low"), arg("close"), omissible_or_none("period"), omissible_or_none("atr_period"),
    omissible_or_none("multiplier"));

ENTRY(py_historical_volatility, historical_volatility)(
    "py_historical_volatility(close, period=20)\n--\n\n"
    "Calculate Historical Volatility\n\n"
    "The sample standard deviation of the logarithmic returns over `period` returns, scaled by\n"
    "sqrt(period) * 100.\n\n"
    "Parameters\n----------\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    Number of returns per window, at least 2 (None selects 20)\n\n"
    "Returns\n-------\nlist[float]\n    Volatility in percent, NaN before index period and in every window\n"
    "    that holds an undefined return\n\n"
    "Raises\n------\nValueError\n    If close is empty or non-finite, or period is below 2 or greater than\n"
    "    the data length\n",
    arg("close"), arg_or_none("period"));

ENTRY(py_ulcer_index, ulcer_index)(
    "py_ulcer_index(close, period=14)\n--\n\n"
    "Calculate Ulcer Index\n\n"
    "The root mean square of the percentage drawdowns from the highest close of the last\n"
    "`period` bars.\n\n"
    "Parameters\n----------\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    Lookback period (None selects 14)\n\n"
    "Returns\n-------\nlist[float]\n    Ulcer index, NaN before index 2 * period - 2\n\n"
    "Raises\n------\nValueError\n    If close is empty or non-finite, or period is 0 or greater than the\n"
    "    data length\n",
    arg("close"), arg_or_none("period"));

ENTRY(py_mass_index, vol::mass_index)(
    "py_mass_index(high, low, fast=9, slow=25)\n--\n\n"
    "Calculate Mass Index\n\n"
    "The sum, over the longer period, of the ratio of a single to a double exponential average\n"
    "of the bar range taken over the shorter period.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "fast : int, optional\n    EMA period (default 9)\n"
    "slow : int, optional\n    Summation period (default 25)\n\n"
    "Returns\n-------\nlist[float]\n    Mass index, NaN during the warm-up\n\n"
    "Raises\n------\nValueError\n    If inputs are invalid, a period is 0, or there are fewer than\n"
    "    2 * slow - fast bars\n",
    arg("high"), arg("low"), omissible("fast", std::uint64_t{9}), omissible("slow", std::uint64_t{25}));


}  // namespace vorn::py::families
