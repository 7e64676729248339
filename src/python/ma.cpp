// Moving averages.
#include "python/families.hpp"
#include "utils/ma.hpp"

namespace vorn::py::families {

namespace ma = utils::ma;

namespace {

Result<Series> t3(const Series& values, std::optional<std::uint64_t> period, std::optional<double> vfactor) {
    return ma::t3(values, period.value_or(5), vfactor.value_or(0.7));
}
Result<Series> kama(const Series& values, std::optional<std::uint64_t> period, std::optional<std::uint64_t> fast,
                    std::optional<std::uint64_t> slow) {
    return ma::kama(values, period.value_or(10), fast, slow);
}
Result<Series> frama(const Series& values, std::optional<std::uint64_t> period) {
    return ma::frama(values, period.value_or(16));
}

#define MA_DOC(sig, title, what, extra)                                                                         \
    sig "\n--\n\n" title "\n\n" what                                                                            \
        "\n\nParameters\n----------\nvalues : list[float]\n    Input price series\nperiod : int\n" extra          \
        "\nReturns\n-------\nlist[float]\n    Moving average values, NaN where the average is not yet defined\n" \
        "\nRaises\n------\nValueError\n    If period <= 0 or insufficient data\n"

}  // namespace

ENTRY(py_sma, ma::sma)(
    MA_DOC("py_sma(values, period)", "Calculate Simple Moving Average (SMA)",
           "The arithmetic mean of the last `period` values.", "    Lookback period (default: 20)\n")
    "\nExamples\n--------\n>>> py_sma([1.0, 2.0, 3.0, 4.0, 5.0], 3)\n[nan, nan, 2.0, 3.0, 4.0]\n",
    arg("values"), arg("period"));
ENTRY(py_ema, ma::ema)(
    MA_DOC("py_ema(values, period)", "Calculate Exponential Moving Average (EMA)",
           "Exponential smoothing with alpha = 2 / (period + 1), seeded with the mean of the first `period` values.",
           "    Lookback period (default: 20)\n"),
    arg("values"), arg("period"));
ENTRY(py_rma, ma::rma)(
    MA_DOC("py_rma(values, period)", "Calculate Rolling/Wilder Moving Average (RMA)",
           "Wilder's smoothing with alpha = 1 / period, seeded with the mean of the first `period` values.",
           "    Lookback period\n"),
    arg("values"), arg("period"));
ENTRY(py_wma, ma::wma)(
    MA_DOC("py_wma(values, period)", "Calculate Weighted Moving Average (WMA)",
           "Linearly weighted mean of the last `period` values, the newest weighted most.", "    Lookback period\n"),
    arg("values"), arg("period"));
ENTRY(py_hma, ma::hma)(
    MA_DOC("py_hma(values, period)", "Calculate Hull Moving Average (HMA)",
           "WMA of 2*WMA(period/2) - WMA(period) over sqrt(period) bars.", "    Lookback period\n"),
    arg("values"), arg("period"));
ENTRY(py_dema, ma::dema)(
    MA_DOC("py_dema(values, period)", "Calculate Double Exponential Moving Average (DEMA)",
           "2*EMA - EMA(EMA).", "    Lookback period\n"),
    arg("values"), arg("period"));
ENTRY(py_tema, ma::tema)(
    MA_DOC("py_tema(values, period)", "Calculate Triple Exponential Moving Average (TEMA)",
           "3*EMA - 3*EMA(EMA) + EMA(EMA(EMA)).", "    Lookback period\n"),
    arg("values"), arg("period"));
ENTRY(py_zlma, ma::zlma)("py_zlma(values, period)\n--\n\n", arg("values"), arg("period"));
ENTRY(py_t3, t3)(
    MA_DOC("py_t3(values, period=5, vfactor=0.7)", "Calculate T3 Moving Average (Tilson T3)",
           "Six chained EMAs combined with the volume factor's coefficients.",
           "    Lookback period (None selects 5)\nvfactor : float\n    Volume factor (None selects 0.7)\n"),
    arg("values"), arg_or_none("period"), arg_or_none("vfactor"));
ENTRY(py_kama, kama)(
    MA_DOC("py_kama(values, period=10, fast_period=2, slow_period=30)",
           "Calculate Kaufman Adaptive Moving Average (KAMA)",
           "An average whose smoothing follows the efficiency ratio of the last `period` bars.",
           "    Efficiency-ratio period (None selects 10)\nfast_period : int\n    Fast period (None selects 2)\n"
           "slow_period : int\n    Slow period (None selects 30)\n"),
    arg("values"), arg_or_none("period"), arg_or_none("fast_period"), arg_or_none("slow_period"));
ENTRY(py_frama, frama)("py_frama(values, period)\n--\n\n", arg("values"),
                                                    arg_or_none("period"));


}  // namespace vorn::py::families
