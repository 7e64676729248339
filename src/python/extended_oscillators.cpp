// The extended oscillators.
#include "indicators/extended/oscillators.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

namespace {

using Count = std::optional<std::uint64_t>;

Result<ext::QqeSeries> qqe(const Series& close, Count rsi_period, Count smooth, std::optional<double> multiplier) {
    return ext::qqe(close, rsi_period.value_or(14), smooth.value_or(5), multiplier.value_or(4.236));
}
Result<ext::KstSeries> kst(const Series& close, Count roc1, Count roc2, Count roc3, Count roc4, Count signal_period) {
    return ext::kst(close, roc1.value_or(10), roc2.value_or(15), roc3.value_or(20), roc4.value_or(30),
                    signal_period.value_or(9));
}
Result<Series> stc(const Series& close, Count fast, Count slow, Count cycle) {
    return ext::stc(close, fast.value_or(23), slow.value_or(50), cycle.value_or(10));
}
Result<Series> smi(const Series& high, const Series& low, const Series& close, Count period, Count smooth1,
                   Count smooth2) {
    return ext::smi(high, low, close, period.value_or(13), smooth1.value_or(25), smooth2.value_or(2));
}
Result<Series> tdfi(const Series& close, Count period, Count smooth) {
    return ext::tdfi(close, period.value_or(13), smooth.value_or(3));
}
Result<Series> coppock(const Series& close, Count period1, Count period2, Count wma_period) {
    return ext::coppock(close, period1.value_or(11), period2.value_or(14), wma_period.value_or(10));
}

}  // namespace

ENTRY(py_qqe, qqe)(
    "py_qqe(close, rsi_period=14, smooth=5, multiplier=4.236)\n--\n\n"
    "Calculate QQE (Quantitative Qualitative Estimation)\n\n"
    "Smoothed RSI with dynamic volatility-based trailing stops.\n"
    "Generates cleaner signals than standard RSI.\n\n"
    "Parameters\n----------\n"
    "close : list of float\n    Closing prices\n"
    "rsi_period : int, optional\n    RSI period (default: 14)\n"
    "smooth : int, optional\n    Smoothing period (default: 5)\n"
    "multiplier : float, optional\n    ATR multiplier for bands (default: 4.236)\n\n"
    "Returns\n-------\ntuple of (list, list, list) - (QQE line, trailing line, histogram)",
    arg("close"), arg_or_none("rsi_period"), arg_or_none("smooth"), arg_or_none("multiplier"));
ENTRY(py_kst, kst)("py_kst(close, roc1, roc2, roc3, roc4, signal_period)\n--\n\n",
                                              arg("close"), arg_or_none("roc1"), arg_or_none("roc2"),
                                              arg_or_none("roc3"), arg_or_none("roc4"), arg_or_none("signal_period"));
ENTRY(py_stc, stc)("py_stc(close, fast, slow, cycle)\n--\n\n", arg("close"),
                                              arg_or_none("fast"), arg_or_none("slow"), arg_or_none("cycle"));
ENTRY(py_smi, smi)("py_smi(high, low, close, period, smooth1, smooth2)\n--\n\n",
                                              arg("high"), arg("low"), arg("close"), arg_or_none("period"),
                                              arg_or_none("smooth1"), arg_or_none("smooth2"));
ENTRY(py_tdfi, tdfi)("py_tdfi(close, period, smooth)\n--\n\n", arg("close"),
                                                 arg_or_none("period"), arg_or_none("smooth"));
ENTRY(py_coppock, coppock)("py_coppock(close, period1, period2, wma_period)\n--\n\n", arg("close"),
                               arg_or_none("period1"), arg_or_none("period2"), arg_or_none("wma_period"));



}  // namespace vorn::py::families
