// Momentum and price oscillators (MOM, ROC, APO, PPO, CMO) and the other oscillators
// (CCI, awesome, Fisher, TSI, ultimate). Every period accepts None for its default.
#include "indicators/momentum/oscillators.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace mom = indicators::momentum;

namespace {

constexpr Line kValues{"values", "list[float]", "Input series"};
constexpr const char* kSeriesPeriodRaises =
    "If the series are empty, differ in length or hold non-finite values, or if the\n"
    "period is 0 or greater than the data length";
constexpr const char* kFastSlowRaises =
    "If close is empty or holds non-finite values, if a period is 0, if fast_period\n"
    "exceeds slow_period, or if fast_period is not below slow_period and the data length";

}  // namespace

ENTRY(py_mom, mom::mom)(
    doc("Calculate Momentum\n\nThe change of the series over `period` bars: values[i] - values[i - period].",
        params(kValues, Line{"period", "int", "Look-back period (None selects 10)"}),
        returns("list[float]", "Momentum values, NaN before index period")),
    arg("values"), arg_or_none("period", 10));

ENTRY(py_roc, mom::roc)(
    doc("Calculate Rate of Change (ROC)\n\n"
        "The percentage change over `period` bars: (values[i] / values[i - period] - 1) * 100,\n"
        "NaN where the base value is zero.",
        params(kValues, Line{"period", "int", "Look-back period (None selects 10)"}),
        returns("list[float]", "Rate of change in percent, NaN before index period")),
    arg("values"), arg_or_none("period", 10));

ENTRY(py_apo, mom::apo)(
    doc("Calculate Absolute Price Oscillator (APO)\n\nThe fast EMA of the close minus its slow EMA.",
        params(lines::close, Line{"fast_period", "int", "Fast EMA period (None selects 12)"},
               Line{"slow_period", "int", "Slow EMA period (None selects 26)"}),
        returns("list[float]", "APO values, NaN until the slow EMA is defined"), raises(kFastSlowRaises)),
    arg("close"), arg_or_none("fast_period", 12), arg_or_none("slow_period", 26));

ENTRY(py_ppo, mom::ppo)(
    doc("Calculate Percentage Price Oscillator (PPO)\n\n"
        "The difference of the fast and slow EMAs of the close as a percentage of the slow EMA.",
        params(lines::close, Line{"fast_period", "int", "Fast EMA period (None selects 12)"},
               Line{"slow_period", "int", "Slow EMA period (None selects 26)"}),
        returns("list[float]", "PPO values in percent, NaN until the slow EMA is defined"),
        raises(kFastSlowRaises)),
    arg("close"), arg_or_none("fast_period", 12), arg_or_none("slow_period", 26));

ENTRY(py_cmo, mom::cmo)(
    doc("Calculate Chande Momentum Oscillator (CMO)\n\n"
        "(gains - losses) * 100 / (gains + losses) over Wilder-smoothed gains and losses, in -100..100.",
        params(lines::close, Line{"period", "int", "Smoothing period (None selects 14)"}),
        returns("list[float]", "CMO values, NaN before index period"),
        raises("If close is empty or holds non-finite values, if period is 0, or if period is not\n"
               "below the data length")),
    arg("close"), arg_or_none("period", 14));

ENTRY(py_cci, mom::cci)(
    doc("Calculate Commodity Channel Index (CCI)\n\n"
        "The typical price's distance from its moving average, in units of 0.015 times the\n"
        "mean absolute deviation.",
        params(lines::high_low_close, Line{"period", "int", "Look-back period (None selects 20)"}),
        returns("list[float]", "CCI values, NaN before index period - 1"), raises(kSeriesPeriodRaises)),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 20));

ENTRY(py_awesome_oscillator, mom::awesome_oscillator)(
    doc("Calculate Awesome Oscillator (AO)\n\n"
        "The fast simple average of the median price (high + low) / 2 minus its slow simple average.",
        params(lines::high, lines::low, Line{"fast_period", "int", "Fast period (None selects 5)"},
               Line{"slow_period", "int", "Slow period (None selects 34)"}),
        returns("list[float]", "AO values, NaN until the slow average is defined"),
        raises("If the series are empty, differ in length or hold non-finite values, if a period is\n"
               "0, if fast_period exceeds slow_period, or if fast_period is not below slow_period\n"
               "and the data length")),
    arg("high"), arg("low"), arg_or_none("fast_period", 5), arg_or_none("slow_period", 34));

// The signature shows period=10 and no close, but None has always meant 9.
ENTRY(py_fisher_transform, mom::fisher_transform)(
    doc("Calculate Fisher Transform\n\n"
        "The close's position within the window's high-low range, scaled to -1..1 (clamped to\n"
        "+/-0.999) and transformed by 0.5 * ln((1 + x) / (1 - x)); the signal is the previous\n"
        "bar's value.",
        params(lines::high_low_close, Line{"period", "int", "Look-back period (None selects 9)"}),
        returns("tuple[list[float], list[float]]", "(fisher, signal), NaN during the warm-up"),
        raises(kSeriesPeriodRaises))
        .fixed_signature("py_fisher_transform(high, low, period=10)"),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 9));

ENTRY(py_tsi, mom::tsi)(
    doc("Calculate True Strength Index (TSI)\n\n"
        "100 times the double-smoothed price change over the double-smoothed absolute price\n"
        "change, with an EMA signal line.",
        params(lines::close, Line{"long_period", "int", "First smoothing period (None selects 25)"},
               Line{"short_period", "int", "Second smoothing period (None selects 13)"},
               Line{"signal_period", "int", "Signal EMA period (None selects 13)"}),
        returns("tuple[list[float], list[float]]", "(tsi, signal), NaN during the warm-up"),
        raises("If close is empty, holds non-finite values or has a single element, or if a period\n"
               "is 0 or greater than the data length")),
    arg("close"), arg_or_none("long_period", 25), arg_or_none("short_period", 13), arg_or_none("signal_period", 13));

ENTRY(py_ultimate_oscillator, mom::ultimate_oscillator)(
    doc("Calculate Ultimate Oscillator\n\n"
        "A weighted blend (4:2:1) of the ratios of summed buying pressure to summed true range\n"
        "over three look-backs, scaled to 0..100.",
        params(lines::high_low_close, Line{"period1", "int", "Short period (None selects 7)"},
               Line{"period2", "int", "Middle period (None selects 14)"},
               Line{"period3", "int", "Long period (None selects 28)"}),
        returns("list[float]", "Ultimate oscillator values, NaN during the warm-up"),
        raises("If the series are empty, differ in length or hold non-finite values, if they hold a\n"
               "single bar, or if a period is 0")),
    arg("high"), arg("low"), arg("close"), arg_or_none("period1", 7), arg_or_none("period2", 14),
    arg_or_none("period3", 28));

}  // namespace vorn::py::families
