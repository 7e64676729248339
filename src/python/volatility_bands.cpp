// True range, ATR and volatility bands.
#include "indicators/volatility/bands.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace vol = indicators::volatility;

namespace {

// None (or leaving it out) falls back to the EMA period.
Result<vol::BandSeries> keltner_channel(std::span<const double> high, std::span<const double> low,
                                        std::span<const double> close, std::uint64_t period,
                                        std::optional<std::uint64_t> atr_period, double multiplier) {
    return vol::keltner_channel(high, low, close, period, atr_period.value_or(period), multiplier);
}

constexpr const char* kPeriodRaises =
    "If an input is empty, contains a non-finite value or the lengths differ,\n"
    "or if the period is 0 or not below the data length";

}  // namespace

ENTRY(py_true_range, vol::true_range)(
    doc("Calculate True Range (TR)\n\n"
        "The largest of the bar's range and the distances of its high and low from the close\n"
        "`drift` bars back. The first `drift` bars have no true range and hold NaN.",
        params(lines::high_low_close,
               Line{"drift", "int, optional", "Bars back to the reference close (default: 1; None selects 1)"}),
        returns("list[float]", "True range values"), raises(kPeriodRaises)),
    arg("high"), arg("low"), arg("close"), omissible_or_none("drift", 1));

ENTRY(py_atr, vol::atr)(
    doc("Calculate Average True Range (ATR)\n\n"
        "Wilder's smoothing of the true range, seeded with the mean true range of bars 1 to\n"
        "`period` and defined from index `period` on.",
        params(lines::high_low_close, Line{"period", "int", "Smoothing period (None selects 14)"}),
        returns("list[float]", "ATR values, NaN before index `period`"), raises(kPeriodRaises)),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_natr, vol::natr)(
    doc("Calculate Normalized ATR (NATR)\n\n"
        "The ATR as a percentage of the close: ATR / close * 100, NaN where the close is zero.",
        params(lines::high_low_close, Line{"period", "int", "Smoothing period (None selects 14)"}),
        returns("list[float]", "NATR values, NaN before index `period`"), raises(kPeriodRaises)),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_bollinger_bands, vol::bollinger_bands)(
    doc("Calculate Bollinger Bands\n\n"
        "The rolling mean of the close with bands `std_multiplier` population standard deviations\n"
        "above and below it, defined from index `period` - 1 on.",
        params(lines::close, Line{"period", "int", "Window length (None selects 20)"},
               Line{"std_multiplier", "float", "Band width in standard deviations (None selects 2.0)"}),
        returns("tuple[list[float], list[float], list[float]]", "(upper, middle, lower)"),
        raises("If close is empty or contains a non-finite value, if period is 0 or exceeds\n"
               "the data length, or if std_multiplier is negative")),
    arg("close"), arg_or_none("period", 20), arg_or_none("std_multiplier", 2.0));

ENTRY(py_keltner_channel, keltner_channel)(
    doc("Calculate Keltner Channel\n\n"
        "The EMA of the close with bands `multiplier` ATRs above and below it.",
        params(lines::high_low_close, Line{"period", "int, optional", "EMA period (default: 20)"},
               Line{"atr_period", "int, optional", "ATR period (default: None, which uses `period`)"},
               Line{"multiplier", "float, optional", "Band width in ATRs (default: 2.0)"}),
        returns("tuple[list[float], list[float], list[float]]", "(upper, middle, lower)"),
        raises("If an input is empty, contains a non-finite value or the lengths differ,\n"
               "if a period is 0 or too long for the data, or if multiplier is negative")),
    arg("high"), arg("low"), arg("close"), omissible("period", 20), omissible_or_none("atr_period"),
    omissible("multiplier", 2.0));

}  // namespace vorn::py::families
