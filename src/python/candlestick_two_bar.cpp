// Two-bar candlestick detectors.
#include "indicators/candlestick/two_bar.hpp"
#include "python/candlestick_common.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;

namespace {

// Reads open and close alone, without validation; high and low are converted and ignored.
Series counterattack(std::span<const double> open, std::span<const double>, std::span<const double>,
                     std::span<const double> close, double tolerance) {
    return cs::counterattack(open, close, tolerance);
}

}  // namespace

ENTRY(py_bullish_harami, cs::bullish_harami)(Doc{}, arg("open"), arg("close"));
ENTRY(py_bearish_harami, cs::bearish_harami)(Doc{}, arg("open"), arg("close"));
ENTRY(py_harami_cross, cs::harami_cross)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                         omissible_or_none("body_threshold", 0.1));
ENTRY(py_doji_star, cs::doji_star)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                   omissible_or_none("body_threshold", 0.1));
ENTRY(py_kicking, cs::kicking)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_counterattack, counterattack)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                      omissible_or_none("tolerance", 0.005));
ENTRY(py_matching_low, cs::matching_low)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                         omissible_or_none("tolerance", 0.01));
ENTRY(py_homing_pigeon, cs::homing_pigeon)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_inneck, cs::inneck)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                             omissible_or_none("tolerance", 0.01));
ENTRY(py_onneck, cs::onneck)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                             omissible_or_none("tolerance", 0.01));
ENTRY(py_thrusting, cs::thrusting)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_tweezers_top, cs::tweezers_top)(Doc{}, arg("open"), arg("high"), arg("close"),
                                         omissible_or_none("tolerance", 0.01));
ENTRY(py_bullish_engulfing, cs::bullish_engulfing)(
    doc("Detect Bullish Engulfing patterns: a bearish bar followed by a bullish bar whose body\n"
        "covers it (its open at or below the first close, its close at or above the first open).\n"
        "\n"
        "Returns: list of float, 1.0 on the second bar of the pattern, 0.0 elsewhere\n"),
    arg("open"), arg("close"));
ENTRY(py_bearish_engulfing, cs::bearish_engulfing)(
    doc("Detect Bearish Engulfing patterns: a bullish bar followed by a bearish bar whose body\n"
        "covers it (its open at or above the first close, its close at or below the first open).\n"
        "\n"
        "Returns: list of float, -1.0 on the second bar of the pattern, 0.0 elsewhere\n"),
    arg("open"), arg("close"));
ENTRY(py_tweezers_bottom, cs::tweezers_bottom)(
    doc("Detect Tweezers Bottom patterns\n\n"
        "A bearish bar followed by a bullish bar with nearly the same low: the two lows differ by\n"
        "less than `tolerance` times their mean, which must be above 0.",
        params(lines::open, lines::low, lines::close,
               Line{"tolerance", "float, optional",
                    "Largest relative difference of the lows (default: 0.01; None selects 0.01)"}),
        returns("list[float]", "1.0 on the second bar of the pattern, 0.0 elsewhere"), raises(kRaises),
        example(">>> py_tweezers_bottom([10.5, 10.0], [9.0, 8.98], [10.2, 10.7])\n[0.0, 1.0]\n")),
    arg("open"), arg("low"), arg("close"), omissible_or_none("tolerance", 0.01));
ENTRY(py_dark_cloud_cover, cs::dark_cloud_cover)(
    doc("Detect Dark Cloud Cover patterns: a bullish bar, then a bearish bar that opens above its\n"
        "high and closes below its body midpoint but above its open.\n"
        "\n"
        "Returns: list of float, -1.0 on the second bar of the pattern, 0.0 elsewhere\n"),
    arg("open"), arg("high"), arg("close"));
ENTRY(py_piercing_pattern, cs::piercing_pattern)(
    doc("Detect Piercing patterns: a bearish bar, then a bullish bar that opens below its low\n"
        "and closes above its body midpoint but below its open.\n"
        "\n"
        "Returns: list of float, 1.0 on the second bar of the pattern, 0.0 elsewhere\n"),
    arg("open"), arg("low"), arg("close"));
ENTRY(py_separating_lines, cs::separating_lines)(
    doc("Detect Separating Lines patterns\n\n"
        "Two bars of opposite colours opening at nearly the same price: the opens differ by less\n"
        "than `tolerance` times the first open. A bearish bar followed by a bullish one is\n"
        "bullish, a bullish bar followed by a bearish one bearish.",
        params(kOhlc, Line{"tolerance", "float, optional",
                           "Largest relative difference of the opens (default: 0.005; None selects 0.005)"}),
        returns("list[float]", "1.0 or -1.0 on the second bar of the pattern, 0.0 elsewhere"), raises(kRaises),
        example(">>> py_separating_lines([10.0, 10.02], [10.1, 10.9], [9.7, 10.0], [9.8, 10.8])\n[0.0, 1.0]\n")),
    arg("open"), arg("high"), arg("low"), arg("close"), omissible_or_none("tolerance", 0.005));

}  // namespace vorn::py::families
