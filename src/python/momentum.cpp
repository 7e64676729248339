// RSI and MACD.
#include "indicators/momentum/rsi_macd.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace mom = indicators::momentum;

namespace {

Result<Series> rsi(const Series& close, std::optional<std::uint64_t> period) {
    return mom::rsi(close, period.value_or(14));
}
Result<mom::MacdSeries> macd(const Series& close, std::optional<std::uint64_t> fast,
                             std::optional<std::uint64_t> slow, std::optional<std::uint64_t> signal) {
    return mom::macd(close, fast.value_or(12), slow.value_or(26), signal.value_or(9));
}

}  // namespace

ENTRY(py_rsi, rsi)(
    "py_rsi(close, period=14)\n--\n\n"
    "Calculate Relative Strength Index (RSI)\n\n"
    "Wilder's RSI: 100 - 100 / (1 + average gain / average loss), the averages seeded with the\n"
    "mean gain and loss of the first `period` changes. Defined from index `period` on.\n"
    "\nParameters\n----------\nclose : list[float]\n    Close prices\n"
    "period : int\n    Smoothing period (None selects 14)\n"
    "\nReturns\n-------\nlist[float]\n    RSI values between 0 and 100, NaN before index `period`\n"
    "\nRaises\n------\nValueError\n    If close is empty or contains a non-finite value, or if period is 0 or not\n"
    "    below the data length\n"
    "\nExamples\n--------\n>>> py_rsi([1.0, 2.0, 3.0, 4.0], 2)\n[nan, nan, 100.0, 100.0]\n",
    arg("close"), arg_or_none("period"));

ENTRY(py_macd, macd)(
    "py_macd(close, fast_period=12, slow_period=26, signal_period=9)\n--\n\n"
    "Calculate Moving Average Convergence Divergence (MACD)\n\n"
    "The fast EMA minus the slow EMA, its EMA as the signal line, and their difference as the\n"
    "histogram. All three lines start at index slow_period + signal_period - 2.\n"
    "\nParameters\n----------\nclose : list[float]\n    Close prices\n"
    "fast_period : int\n    Fast EMA period (None selects 12)\n"
    "slow_period : int\n    Slow EMA period (None selects 26)\n"
    "signal_period : int\n    Signal EMA period (None selects 9)\n"
    "\nReturns\n-------\ntuple[list[float], list[float], list[float]]\n    (macd, signal, histogram)\n"
    "\nRaises\n------\nValueError\n    If close is empty or contains a non-finite value, if a period is 0, if\n"
    "    fast_period exceeds slow_period, or if the data is too short\n",
    arg("close"), arg_or_none("fast_period"), arg_or_none("slow_period"), arg_or_none("signal_period"));


}  // namespace vorn::py::families
