// Squeeze, aberration, WAE and the SSL channel.
#include "indicators/extended/bands.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

namespace {

using Count = std::optional<std::uint64_t>;
using Real = std::optional<double>;

Result<ext::SqueezeSeries> squeeze(const Series& high, const Series& low, const Series& close, Count bb_period,
                                   Real bb_std, Count kc_period, Count kc_atr_period, Real kc_mult) {
    return ext::squeeze(high, low, close, bb_period.value_or(20), bb_std.value_or(2.0), kc_period.value_or(20),
                        kc_atr_period.value_or(20), kc_mult.value_or(1.5));
}
Result<Series> aberration(const Series& high, const Series& low, const Series& close, Count period,
                          Count atr_period) {
    return ext::aberration(high, low, close, period.value_or(20), atr_period.value_or(20));
}
Result<ext::WaeSeries> wae(const Series& close, Count fast, Count slow, Count signal, Count bb_period,
                           Real multiplier) {
    return ext::wae(close, fast.value_or(20), slow.value_or(40), signal.value_or(9), bb_period.value_or(20),
                    multiplier.value_or(2.0));
}
Result<ext::SslSeries> ssl_channel(const Series& high, const Series& low, const Series& close, Count period) {
    return ext::ssl_channel(high, low, close, period.value_or(10));
}

#define HLC_PARAMS                                                                                              \
    "high : list of float\n    High prices\nlow : list of float\n    Low prices\n"                               \
    "close : list of float\n    Closing prices\n"

}  // namespace

ENTRY(py_squeeze, squeeze)(
    "py_squeeze(high, low, close, bb_period=20, bb_std=2.0, kc_period=20, kc_atr_period=20, kc_mult=1.5)\n--\n\n"
    "Calculate Squeeze Momentum Indicator\n\n"
    "Detects when BB is inside KC (squeeze on) indicating\n"
    "low volatility before potential breakout.\n\n"
    "Parameters\n----------\n" HLC_PARAMS
    "bb_period : int, optional\n    Bollinger Bands period (default: 20)\n"
    "bb_std : float, optional\n    BB standard deviation (default: 2.0)\n"
    "kc_period : int, optional\n    Keltner Channel period (default: 20)\n"
    "kc_atr_period : int, optional\n    KC ATR period (default: 20)\n"
    "kc_mult : float, optional\n    KC ATR multiplier (default: 1.5)\n\n"
    "Returns\n-------\ntuple of (list, list, list) - (squeeze on, squeeze off, momentum)",
    arg("high"), arg("low"), arg("close"), arg_or_none("bb_period"), arg_or_none("bb_std"), arg_or_none("kc_period"),
    arg_or_none("kc_atr_period"), arg_or_none("kc_mult"));

ENTRY(py_aberration, aberration)(
    "py_aberration(high, low, close, period=20, atr_period=20)\n--\n\n"
    "Calculate Aberration Indicator\n\n"
    "Measures deviation from expected price movement based on\n"
    "ATR. Identifies abnormal price behavior.\n\n"
    "Parameters\n----------\n" HLC_PARAMS
    "period : int, optional\n    SMA period (default: 20)\n"
    "atr_period : int, optional\n    ATR period (default: 20)\n\n"
    "Returns\n-------\nlist of float - Aberration values",
    arg("high"), arg("low"), arg("close"), arg_or_none("period"), arg_or_none("atr_period"));

ENTRY(py_wae, wae)("py_wae(close, fast, slow, signal, bb_period, multiplier)\n--\n\n",
                                              arg("close"), arg_or_none("fast"), arg_or_none("slow"),
                                              arg_or_none("signal"), arg_or_none("bb_period"),
                                              arg_or_none("multiplier"));

ENTRY(py_ssl_channel, ssl_channel)("py_ssl_channel(high, low, close, period)\n--\n\n", arg("high"), arg("low"),
                                       arg("close"), arg_or_none("period"));

#undef HLC_PARAMS



}  // namespace vorn::py::families
