// Trend measures: Aroon, TRIX, DPO, vortex, choppiness, Qstick and VHF.
#include "indicators/trend/measures.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace tr = indicators::trend;

namespace {

constexpr const char* kInvalid = "If inputs are empty, non-finite or of different lengths, or the period is invalid";
constexpr const char* kCloseInvalid = "If close is empty or non-finite, period is 0, or period exceeds the data length";

}  // namespace

ENTRY(py_aroon, tr::aroon)(
    doc("Calculate Aroon Indicator\n\n"
        "Measures the bars elapsed since the highest high and the lowest low of the last period + 1\n"
        "bars: 100 when the extreme is the current bar, 0 when it is the oldest.",
        params(lines::high, lines::low, Line{"period", "int", "Lookback period, at least 2 (None selects 25)"}),
        returns("tuple[list[float], list[float], list[float]]",
                "(aroon_up, aroon_down, aroon_oscillator), NaN before index period"),
        raises(kInvalid)),
    arg("high"), arg("low"), arg_or_none("period", 25));

ENTRY(py_trix, tr::trix)(
    doc("Calculate TRIX (Triple Exponential Average)\n\n"
        "The one-bar percentage rate of change of a triple exponential moving average.",
        params(lines::close, Line{"period", "int", "EMA period (None selects 15)"}),
        returns("list[float]", "TRIX values, NaN before index 3 * period - 2"), raises(kCloseInvalid),
        examples(">>> py_trix([1.0, 2.0, 4.0], 1)\n[nan, 100.0, 100.0]\n")),
    arg("close"), arg_or_none("period", 15));

ENTRY(py_dpo, tr::dpo)(
    doc("Calculate Detrended Price Oscillator (DPO)\n\n"
        "The close minus the simple moving average that ended period / 2 + 1 bars earlier.",
        params(lines::close, Line{"period", "int", "SMA period (None selects 20)"}),
        returns("list[float]", "DPO values, NaN before index period + period // 2"), raises(kCloseInvalid),
        examples(">>> py_dpo([1.0, 2.0, 3.0, 4.0, 5.0], 2)\n[nan, nan, nan, 2.5, 2.5]\n")),
    arg("close"), arg_or_none("period", 20));

ENTRY(py_vortex, tr::vortex)(
    doc("Calculate Vortex Indicator\n\n"
        "Sums of the upward and downward vortex movements over the last `period` bars, each divided\n"
        "by the sum of the true ranges.",
        params(lines::high_low_close, Line{"period", "int", "Summation period (None selects 14)"}),
        returns("tuple[list[float], list[float]]", "(vi_plus, vi_minus), NaN before index period"),
        raises(kInvalid)),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_choppiness, tr::choppiness)(
    doc("Calculate Choppiness Index\n\n"
        "100 * log10(sum of true ranges / (highest high - lowest low)) / log10(period): high values\n"
        "mark a sideways market, low values a trending one.",
        params(lines::high_low_close, Line{"period", "int", "Lookback period (None selects 14)"}),
        returns("list[float]", "Choppiness values, NaN before index period"), raises(kInvalid)),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_qstick, tr::qstick)(
    doc("Calculate Qstick Indicator\n\nThe exponential moving average of the candle bodies (close - open).",
        params(lines::open, lines::close, Line{"period", "int", "EMA period (None selects 14)"}),
        returns("list[float]", "Qstick values, NaN before index period - 1"), raises(kInvalid)),
    arg("open"), arg("close"), arg_or_none("period", 14));

ENTRY(py_vhf, tr::vhf)(
    doc("Calculate Vertical Horizontal Filter (VHF)\n\n"
        "The range of the last `period` closes divided by the sum of the absolute close changes over\n"
        "the same bars: high values mark a trend, low values congestion.",
        params(lines::close, Line{"period", "int", "Lookback period (None selects 28)"}),
        returns("list[float]", "VHF values, NaN before index period"), raises(kInvalid)),
    arg("close"), arg_or_none("period", 28));

}  // namespace vorn::py::families
