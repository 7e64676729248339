// True range, ATR and volatility bands.
#include "indicators/volatility/bands.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace vol = indicators::volatility;

namespace {

Result<Series> true_range(const Series& high, const Series& low, const Series& close,
                          std::optional<std::uint64_t> drift) {
    return vol::true_range(high, low, close, drift.value_or(1));
}
Result<Series> atr(const Series& high, const Series& low, const Series& close, std::optional<std::uint64_t> period) {
    return vol::atr(high, low, close, period.value_or(14));
}
Result<Series> natr(const Series& high, const Series& low, const Series& close, std::optional<std::uint64_t> period) {
    return vol::natr(high, low, close, period.value_or(14));
}
Result<vol::BandSeries> bollinger_bands(const Series& close, std::optional<std::uint64_t> period,
                                        std::optional<double> std_multiplier) {
    return vol::bollinger_bands(close, period.value_or(20), std_multiplier.value_or(2.0));
}
Result<vol::BandSeries> keltner_channel(const Series& high, const Series& low, const Series& close,
                                        std::uint64_t period, std::optional<std::uint64_t> atr_period,
                                        double multiplier) {
    return vol::keltner_channel(high, low, close, period, atr_period.value_or(period), multiplier);
}

#define HLC_PARAMS                                                                                             \
    "Parameters\n----------\nhigh : list[float]\n    High prices\nlow : list[float]\n    Low prices\n"           \
    "close : list[float]\n    Close prices\n"

#define HLC_RAISES                                                                                             \
    "\nRaises\n------\nValueError\n    If an input is empty, contains a non-finite value or the lengths differ,\n" \
    "    or if the period is 0 or not below the data length\n"

}  // namespace

ENTRY(py_true_range, true_range)(
    "py_true_range(high, low, close, drift=1)\n--\n\n"
    "Calculate True Range (TR)\n\n"
    "The largest of the bar's range and the distances of its high and low from the close\n"
    "`drift` bars back. The first `drift` bars have no true range and hold NaN.\n\n" HLC_PARAMS
    "drift : int, optional\n    Bars back to the reference close (default: 1; None selects 1)\n"
    "\nReturns\n-------\nlist[float]\n    True range values\n" HLC_RAISES,
    arg("high"), arg("low"), arg("close"), omissible_or_none("drift"));

ENTRY(py_atr, atr)(
    "py_atr(high, low, close, period=14)\n--\n\n"
    "Calculate Average True Range (ATR)\n\n"
    "Wilder's smoothing of the true range, seeded with the mean true range of bars 1 to\n"
    "`period` and defined from index `period` on.\n\n" HLC_PARAMS
    "period : int\n    Smoothing period (None selects 14)\n"
    "\nReturns\n-------\nlist[float]\n    ATR values, NaN before index `period`\n" HLC_RAISES,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_natr, natr)(
    "py_natr(high, low, close, period=14)\n--\n\n"
    "Calculate Normalized ATR (NATR)\n\n"
    "The ATR as a percentage of the close: ATR / close * 100, NaN where the close is zero.\n\n" HLC_PARAMS
    "period : int\n    Smoothing period (None selects 14)\n"
    "\nReturns\n-------\nlist[float]\n    NATR values, NaN before index `period`\n" HLC_RAISES,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_bollinger_bands, bollinger_bands)(
    "py_bollinger_bands(close, period=20, std_multiplier=2.0)\n--\n\n"
    "Calculate Bollinger Bands\n\n"
    "The rolling mean of the close with bands `std_multiplier` population standard deviations\n"
    "above and below it, defined from index `period` - 1 on.\n\n"
    "Parameters\n----------\nclose : list[float]\n    Close prices\n"
    "period : int\n    Window length (None selects 20)\n"
    "std_multiplier : float\n    Band width in standard deviations (None selects 2.0)\n"
    "\nReturns\n-------\ntuple[list[float], list[float], list[float]]\n    (upper, middle, lower)\n"
    "\nRaises\n------\nValueError\n    If close is empty or contains a non-finite value, if period is 0 or exceeds\n"
    "    the data length, or if std_multiplier is negative\n",
    arg("close"), arg_or_none("period"), arg_or_none("std_multiplier"));

ENTRY(py_keltner_channel, keltner_channel)(
    "py_keltner_channel(high, low, close, period=20, atr_period=None, multiplier=2.0)\n--\n\n"
    "Calculate Keltner Channel\n\n"
    "The EMA of the close with bands `multiplier` ATRs above and below it.\n\n" HLC_PARAMS
    "period : int, optional\n    EMA period (default: 20)\n"
    "atr_period : int, optional\n    ATR period (default: None, which uses `period`)\n"
    "multiplier : float, optional\n    Band width in ATRs (default: 2.0)\n"
    "\nReturns\n-------\ntuple[list[float], list[float], list[float]]\n    (upper, middle, lower)\n"
    "\nRaises\n------\nValueError\n    If an input is empty, contains a non-finite value or the lengths differ,\n"
    "    if a period is 0 or too long for the data, or if multiplier is negative\n",
    arg("high"), arg("low"), arg("close"), omissible("period", std::uint64_t{20}), omissible_or_none("atr_period"),
    omissible("multiplier", 2.0));


}  // namespace vorn::py::families
