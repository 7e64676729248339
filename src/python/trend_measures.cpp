// Trend measures: Aroon, Parabolic SAR, TRIX, DPO, vortex, choppiness, Qstick and VHF.
#include "indicators/trend/measures.hpp"
#include "indicators/trend/psar.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace tr = indicators::trend;

namespace {

using Period = std::optional<std::uint64_t>;

Result<tr::AroonSeries> aroon(const Series& high, const Series& low, Period period) {
    return tr::aroon(high, low, period.value_or(25));
}
Result<Series> trix(const Series& close, Period period) { return tr::trix(close, period.value_or(15)); }
Result<Series> dpo(const Series& close, Period period) { return tr::dpo(close, period.value_or(20)); }
Result<tr::VortexSeries> vortex(const Series& high, const Series& low, const Series& close, Period period) {
    return tr::vortex(high, low, close, period.value_or(14));
}
Result<tr::PsarSeries> psar(const Series& high, const Series& low, const Series& close,
                            std::optional<double> af_init, std::optional<double> af_increment,
                            std::optional<double> af_max) {
    return tr::psar(high, low, close, af_init.value_or(0.02), af_increment.value_or(0.02), af_max.value_or(0.2));
}
Result<Series> choppiness(const Series& high, const Series& low, const Series& close, Period period) {
    return tr::choppiness(high, low, close, period.value_or(14));
}
Result<Series> qstick(const Series& open, const Series& close, Period period) {
    return tr::qstick(open, close, period.value_or(14));
}
Result<Series> vhf(const Series& close, Period period) { return tr::vhf(close, period.value_or(28)); }

#define RAISES_INVALID "Raises\n------\nValueError\n    If inputs are empty, non-finite or of different lengths, or the period is invalid\n"

}  // namespace

ENTRY(py_aroon, aroon)(
    "py_aroon(high, low, period=25)\n--\n\n"
    "Calculate Aroon Indicator\n\n"
    "Measures the bars elapsed since the highest high and the lowest low of the last period + 1\n"
    "bars: 100 when the extreme is the current bar, 0 when it is the oldest.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "period : int\n    Lookback period, at least 2 (None selects 25)\n\n"
    "Returns\n-------\ntuple[list[float], list[float], list[float]]\n"
    "    (aroon_up, aroon_down, aroon_oscillator), NaN before index period\n\n" RAISES_INVALID,
    arg("high"), arg("low"), arg_or_none("period"));

ENTRY(py_psar, psar)(
    "py_psar(high, low, close, af_initial=0.02, af_increment=0.02, af_max=0.2)\n--\n\n"
    "Calculate Parabolic SAR\n\n"
    "Wilder's stop-and-reverse: a trailing stop that accelerates towards price with every new\n"
    "extreme and flips to the other side when price crosses it.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "af_init : float\n    Starting acceleration factor (None selects 0.02)\n"
    "af_increment : float\n    Acceleration step per new extreme (None selects 0.02)\n"
    "af_max : float\n    Acceleration ceiling (None selects 0.2)\n\n"
    "Returns\n-------\ntuple[list[float], list[float]]\n"
    "    (sar, direction), direction +1.0 for an up trend and -1.0 for a down trend\n\n"
    "Raises\n------\nValueError\n    If inputs are invalid, an acceleration parameter is not positive,\n"
    "    af_max is below af_init, or there are fewer than 2 bars\n",
    arg("high"), arg("low"), arg("close"), arg_or_none("af_init"), arg_or_none("af_increment"),
    arg_or_none("af_max"));

ENTRY(py_parabolic_sar, psar)(
    "py_parabolic_sar(high, low, close, af_init=0.02, af_increment=0.02, af_max=0.2)\n--\n\n", arg("high"),
    arg("low"), arg("close"), arg_or_none("af_init"), arg_or_none("af_increment"), arg_or_none("af_max"));

ENTRY(py_trix, trix)(
    "py_trix(close, period=15)\n--\n\n"
    "Calculate TRIX (Triple Exponential Average)\n\n"
    "The one-bar percentage rate of change of a triple exponential moving average.\n\n"
    "Parameters\n----------\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    EMA period (None selects 15)\n\n"
    "Returns\n-------\nlist[float]\n    TRIX values, NaN before index 3 * period - 2\n\n"
    "Raises\n------\nValueError\n    If close is empty or non-finite, period is 0, or period exceeds the data length\n\n"
    "Examples\n--------\n>>> py_trix([1.0, 2.0, 4.0], 1)\n[nan, 100.0, 100.0]\n",
    arg("close"), arg_or_none("period"));

ENTRY(py_dpo, dpo)(
    "py_dpo(close, period=20)\n--\n\n"
    "Calculate Detrended Price Oscillator (DPO)\n\n"
    "The close minus the simple moving average that ended period / 2 + 1 bars earlier.\n\n"
    "Parameters\n----------\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    SMA period (None selects 20)\n\n"
    "Returns\n-------\nlist[float]\n    DPO values, NaN before index period + period // 2\n\n"
    "Raises\n------\nValueError\n    If close is empty or non-finite, period is 0, or period exceeds the data length\n\n"
    "Examples\n--------\n>>> py_dpo([1.0, 2.0, 3.0, 4.0, 5.0], 2)\n[nan, nan, nan, 2.5, 2.5]\n",
    arg("close"), arg_or_none("period"));

ENTRY(py_vortex, vortex)(
    "py_vortex(high, low, close, period=14)\n--\n\n"
    "Calculate Vortex Indicator\n\n"
    "Sums of the upward and downward vortex movements over the last `period` bars, each divided\n"
    "by the sum of the true ranges.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    Summation period (None selects 14)\n\n"
    "Returns\n-------\ntuple[list[float], list[float]]\n    (vi_plus, vi_minus), NaN before index period\n\n" RAISES_INVALID,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_choppiness, choppiness)(
    "py_choppiness(high, low, close, period=14)\n--\n\n"
    "Calculate Choppiness Index\n\n"
    "100 * log10(sum of true ranges / (highest high - lowest low)) / log10(period): high values\n"
    "mark a sideways market, low values a trending one.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    Lookback period (None selects 14)\n\n"
    "Returns\n-------\nlist[float]\n    Choppiness values, NaN before index period\n\n" RAISES_INVALID,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_qstick, qstick)(
    "py_qstick(open, close, period=14)\n--\n\n"
    "Calculate Qstick Indicator\n\n"
    "The exponential moving average of the candle bodies (close - open).\n\n"
    "Parameters\n----------\n"
    "open : list[float]\n    Open prices\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    EMA period (None selects 14)\n\n"
    "Returns\n-------\nlist[float]\n    Qstick values, NaN before index period - 1\n\n" RAISES_INVALID,
    arg("open"), arg("close"), arg_or_none("period"));

ENTRY(py_vhf, vhf)(
    "py_vhf(close, period=28)\n--\n\n"
    "Calculate Vertical Horizontal Filter (VHF)\n\n"
    "The range of the last `period` closes divided by the sum of the absolute close changes over\n"
    "the same bars: high values mark a trend, low values congestion.\n\n"
    "Parameters\n----------\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    Lookback period (None selects 28)\n\n"
    "Returns\n-------\nlist[float]\n    VHF values, NaN before index period\n\n" RAISES_INVALID,
    arg("close"), arg_or_none("period"));


}  // namespace vorn::py::families
