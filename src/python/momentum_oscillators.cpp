// Momentum and price oscillators (MOM, ROC, APO, PPO, CMO) and the other oscillators
// (CCI, awesome, Fisher, TSI, ultimate). Every period accepts None for its default.
#include "indicators/momentum/oscillators.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace mom = indicators::momentum;

namespace {

using Period = std::optional<std::uint64_t>;

Result<Series> mom_py(const Series& values, Period period) { return mom::mom(values, period.value_or(10)); }
Result<Series> roc_py(const Series& values, Period period) { return mom::roc(values, period.value_or(10)); }
Result<Series> apo_py(const Series& close, Period fast, Period slow) {
    return mom::apo(close, fast.value_or(12), slow.value_or(26));
}
Result<Series> ppo_py(const Series& close, Period fast, Period slow) {
    return mom::ppo(close, fast.value_or(12), slow.value_or(26));
}
Result<Series> cmo_py(const Series& close, Period period) { return mom::cmo(close, period.value_or(14)); }
Result<Series> cci_py(const Series& high, const Series& low, const Series& close, Period period) {
    return mom::cci(high, low, close, period.value_or(20));
}
Result<Series> awesome_py(const Series& high, const Series& low, Period fast, Period slow) {
    return mom::awesome_oscillator(high, low, fast.value_or(5), slow.value_or(34));
}
// The docstring shows period=10, but None has always meant 9.
Result<mom::FisherSeries> fisher_py(const Series& high, const Series& low, const Series& close, Period period) {
    return mom::fisher_transform(high, low, close, period.value_or(9));
}
Result<mom::TsiSeries> tsi_py(const Series& close, Period long_period, Period short_period, Period signal_period) {
    return mom::tsi(close, long_period.value_or(25), short_period.value_or(13), signal_period.value_or(13));
}
Result<Series> uo_py(const Series& high, const Series& low, const Series& close, Period p1, Period p2, Period p3) {
    return mom::ultimate_oscillator(high, low, close, p1.value_or(7), p2.value_or(14), p3.value_or(28));
}

#define PARAMS "\nParameters\n----------\n"
#define HLC "high : list[float]\n    High prices\nlow : list[float]\n    Low prices\nclose : list[float]\n    Close prices\n"

constexpr const char* mom_doc =
    "py_mom(values, period=10)\n--\n\n"
    "Calculate Momentum\n\n"
    "The change of the series over `period` bars: values[i] - values[i - period].\n" PARAMS
    "values : list[float]\n    Input series\nperiod : int\n    Look-back period (None selects 10)\n\n"
    "Returns\n-------\nlist[float]\n    Momentum values, NaN before index period\n";

constexpr const char* roc_doc =
    "py_roc(values, period=10)\n--\n\n"
    "Calculate Rate of Change (ROC)\n\n"
    "The percentage change over `period` bars: (values[i] / values[i - period] - 1) * 100,\n"
    "NaN where the base value is zero.\n" PARAMS
    "values : list[float]\n    Input series\nperiod : int\n    Look-back period (None selects 10)\n\n"
    "Returns\n-------\nlist[float]\n    Rate of change in percent, NaN before index period\n";

constexpr const char* apo_doc =
    "py_apo(close, fast_period=12, slow_period=26)\n--\n\n"
    "Calculate Absolute Price Oscillator (APO)\n\n"
    "The fast EMA of the close minus its slow EMA.\n" PARAMS
    "close : list[float]\n    Close prices\nfast_period : int\n    Fast EMA period (None selects 12)\n"
    "slow_period : int\n    Slow EMA period (None selects 26)\n\n"
    "Returns\n-------\nlist[float]\n    APO values, NaN until the slow EMA is defined\n\n"
    "Raises\n------\nValueError\n"
    "    If close is empty or holds non-finite values, if a period is 0, if fast_period\n"
    "    exceeds slow_period, or if fast_period is not below slow_period and the data length\n";

constexpr const char* ppo_doc =
    "py_ppo(close, fast_period=12, slow_period=26)\n--\n\n"
    "Calculate Percentage Price Oscillator (PPO)\n\n"
    "The difference of the fast and slow EMAs of the close as a percentage of the slow EMA.\n" PARAMS
    "close : list[float]\n    Close prices\nfast_period : int\n    Fast EMA period (None selects 12)\n"
    "slow_period : int\n    Slow EMA period (None selects 26)\n\n"
    "Returns\n-------\nlist[float]\n    PPO values in percent, NaN until the slow EMA is defined\n\n"
    "Raises\n------\nValueError\n"
    "    If close is empty or holds non-finite values, if a period is 0, if fast_period\n"
    "    exceeds slow_period, or if fast_period is not below slow_period and the data length\n";

constexpr const char* cmo_doc =
    "py_cmo(close, period=14)\n--\n\n"
    "Calculate Chande Momentum Oscillator (CMO)\n\n"
    "(gains - losses) * 100 / (gains + losses) over Wilder-smoothed gains and losses, in -100..100.\n" PARAMS
    "close : list[float]\n    Close prices\nperiod : int\n    Smoothing period (None selects 14)\n\n"
    "Returns\n-------\nlist[float]\n    CMO values, NaN before index period\n\n"
    "Raises\n------\nValueError\n"
    "    If close is empty or holds non-finite values, if period is 0, or if period is not\n"
    "    below the data length\n";

constexpr const char* cci_doc =
    "py_cci(high, low, close, period=20)\n--\n\n"
    "Calculate Commodity Channel Index (CCI)\n\n"
    "The typical price's distance from its moving average, in units of 0.015 times the\n"
    "mean absolute deviation.\n" PARAMS HLC "period : int\n    Look-back period (None selects 20)\n\n"
    "Returns\n-------\nlist[float]\n    CCI values, NaN before index period - 1\n\n"
    "Raises\n------\nValueError\n"
    "    If the series are empty, differ in length or hold non-finite values, or if the\n"
    "    period is 0 or greater than the data length\n";

constexpr const char* awesome_doc =
    "py_awesome_oscillator(high, low, fast_period=5, slow_period=34)\n--\n\n"
    "Calculate Awesome Oscillator (AO)\n\n"
    "The fast simple average of the median price (high + low) / 2 minus its slow simple average.\n" PARAMS
    "high : list[float]\n    High prices\nlow : list[float]\n    Low prices\n"
    "fast_period : int\n    Fast period (None selects 5)\nslow_period : int\n    Slow period (None selects 34)\n\n"
    "Returns\n-------\nlist[float]\n    AO values, NaN until the slow average is defined\n\n"
    "Raises\n------\nValueError\n"
    "    If the series are empty, differ in length or hold non-finite values, if a period is\n"
    "    0, if fast_period exceeds slow_period, or if fast_period is not below slow_period\n"
    "    and the data length\n";

constexpr const char* fisher_doc =
    "py_fisher_transform(high, low, period=10)\n--\n\n"
    "Calculate Fisher Transform\n\n"
    "The close's position within the window's high-low range, scaled to -1..1 (clamped to\n"
    "+/-0.999) and transformed by 0.5 * ln((1 + x) / (1 - x)); the signal is the previous\n"
    "bar's value.\n" PARAMS HLC "period : int\n    Look-back period (None selects 9)\n\n"
    "Returns\n-------\ntuple[list[float], list[float]]\n    (fisher, signal), NaN during the warm-up\n\n"
    "Raises\n------\nValueError\n"
    "    If the series are empty, differ in length or hold non-finite values, or if the\n"
    "    period is 0 or greater than the data length\n";

constexpr const char* tsi_doc =
    "py_tsi(close, long_period=25, short_period=13, signal_period=13)\n--\n\n"
    "Calculate True Strength Index (TSI)\n\n"
    "100 times the double-smoothed price change over the double-smoothed absolute price\n"
    "change, with an EMA signal line.\n" PARAMS
    "close : list[float]\n    Close prices\nlong_period : int\n    First smoothing period (None selects 25)\n"
    "short_period : int\n    Second smoothing period (None selects 13)\n"
    "signal_period : int\n    Signal EMA period (None selects 13)\n\n"
    "Returns\n-------\ntuple[list[float], list[float]]\n    (tsi, signal), NaN during the warm-up\n\n"
    "Raises\n------\nValueError\n"
    "    If close is empty, holds non-finite values or has a single element, or if a period\n"
    "    is 0 or greater than the data length\n";

constexpr const char* uo_doc =
    "py_ultimate_oscillator(high, low, close, period1=7, period2=14, period3=28)\n--\n\n"
    "Calculate Ultimate Oscillator\n\n"
    "A weighted blend (4:2:1) of the ratios of summed buying pressure to summed true range\n"
    "over three look-backs, scaled to 0..100.\n" PARAMS HLC
    "period1 : int\n    Short period (None selects 7)\nperiod2 : int\n    Middle period (None selects 14)\n"
    "period3 : int\n    Long period (None selects 28)\n\n"
    "Returns\n-------\nlist[float]\n    Ultimate oscillator values, NaN during the warm-up\n\n"
    "Raises\n------\nValueError\n"
    "    If the series are empty, differ in length or hold non-finite values, if they hold a\n"
    "    single bar, or if a period is 0\n";

#undef PARAMS
#undef HLC

}  // namespace

ENTRY(py_mom, mom_py)(mom_doc, arg("values"), arg_or_none("period"));
ENTRY(py_roc, roc_py)(roc_doc, arg("values"), arg_or_none("period"));
ENTRY(py_apo, apo_py)(apo_doc, arg("close"), arg_or_none("fast_period"), arg_or_none("slow_period"));
ENTRY(py_ppo, ppo_py)(ppo_doc, arg("close"), arg_or_none("fast_period"), arg_or_none("slow_period"));
ENTRY(py_cmo, cmo_py)(cmo_doc, arg("close"), arg_or_none("period"));
ENTRY(py_cci, cci_py)(cci_doc, arg("high"), arg("low"), arg("close"), arg_or_none("period"));
ENTRY(py_awesome_oscillator, awesome_py)(
    awesome_doc, arg("high"), arg("low"), arg_or_none("fast_period"), arg_or_none("slow_period"));
ENTRY(py_fisher_transform, fisher_py)(
    fisher_doc, arg("high"), arg("low"), arg("close"), arg_or_none("period"));
ENTRY(py_tsi, tsi_py)(tsi_doc, arg("close"), arg_or_none("long_period"),
                                                 arg_or_none("short_period"), arg_or_none("signal_period"));
ENTRY(py_ultimate_oscillator, uo_py)(uo_doc, arg("high"), arg("low"), arg("close"), arg_or_none("period1"),
                                         arg_or_none("period2"), arg_or_none("period3"));


}  // namespace vorn::py::families
