// RSI and MACD.
#include "indicators/momentum/rsi_macd.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace mom = indicators::momentum;

ENTRY(py_rsi, mom::rsi)(
    doc("Calculate Relative Strength Index (RSI)\n\n"
        "Wilder's RSI: 100 - 100 / (1 + average gain / average loss), the averages seeded with the\n"
        "mean gain and loss of the first `period` changes. Defined from index `period` on.",
        params(lines::close, Line{"period", "int", "Smoothing period (None selects 14)"}),
        returns("list[float]", "RSI values between 0 and 100, NaN before index `period`"),
        raises("If close is empty or contains a non-finite value, or if period is 0 or not\n"
               "below the data length"),
        examples(">>> py_rsi([1.0, 2.0, 3.0, 4.0], 2)\n[nan, nan, 100.0, 100.0]\n")),
    arg("close"), arg_or_none("period", 14));

ENTRY(py_macd, mom::macd)(
    doc("Calculate Moving Average Convergence Divergence (MACD)\n\n"
        "The fast EMA minus the slow EMA, its EMA as the signal line, and their difference as the\n"
        "histogram. All three lines start at index slow_period + signal_period - 2.",
        params(lines::close, Line{"fast_period", "int", "Fast EMA period (None selects 12)"},
               Line{"slow_period", "int", "Slow EMA period (None selects 26)"},
               Line{"signal_period", "int", "Signal EMA period (None selects 9)"}),
        returns("tuple[list[float], list[float], list[float]]", "(macd, signal, histogram)"),
        raises("If close is empty or contains a non-finite value, if a period is 0, if\n"
               "fast_period exceeds slow_period, or if the data is too short")),
    arg("close"), arg_or_none("fast_period", 12), arg_or_none("slow_period", 26), arg_or_none("signal_period", 9));

}  // namespace vorn::py::families
