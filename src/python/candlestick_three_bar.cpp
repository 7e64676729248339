// Three-bar candlestick detectors.
#include "indicators/candlestick/three_bar.hpp"
#include "python/candlestick_common.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;

namespace {

// Reads high and low alone, without validation; open and close are converted and ignored.
Series hikkake(std::span<const double>, std::span<const double> high, std::span<const double> low,
               std::span<const double>) {
    return cs::hikkake(high, low);
}

}  // namespace

ENTRY(py_morning_star, cs::morning_star)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_evening_star, cs::evening_star)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_abandoned_baby, cs::abandoned_baby)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                             omissible_or_none("body_threshold", 0.1));
ENTRY(py_tristar, cs::tristar)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                               omissible_or_none("body_threshold", 0.1));
ENTRY(py_three_inside, cs::three_inside)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_three_outside, cs::three_outside)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_advance_block, cs::advance_block)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_stick_sandwich, cs::stick_sandwich)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                             omissible_or_none("tolerance", 0.01));
ENTRY(py_unique_3_river, cs::unique_3_river)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_hikkake, hikkake)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_three_black_crows, cs::three_black_crows)(
    doc("Detect Three Black Crows patterns: three bearish bars, each opening inside the previous\n"
        "body, with falling closes and lower shadows under 30% of their bodies.\n"
        "\n"
        "Returns: list of float, -1.0 on the third bar of the pattern, 0.0 elsewhere\n"),
    arg("open"), arg("low"), arg("close"));
ENTRY(py_three_white_soldiers, cs::three_white_soldiers)(
    doc("Detect Three White Soldiers patterns: three bullish bars, each opening inside the\n"
        "previous body, with rising closes and upper shadows under 30% of their bodies.\n"
        "\n"
        "Returns: list of float, 1.0 on the third bar of the pattern, 0.0 elsewhere\n"),
    arg("open"), arg("high"), arg("close"));
ENTRY(py_identical_three_crows, cs::identical_three_crows)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_stalled_pattern, cs::stalled_pattern)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_evening_doji_star, cs::evening_doji_star)(
    doc("Detect Evening Doji Star patterns\n\n"
        "A bullish bar, then a doji (range above 0, body under `body_threshold` of the range)\n"
        "whose low lies above the first body, then a bearish bar closing below the first bar's\n"
        "body midpoint.",
        params(kOhlc, kDojiThreshold),
        returns("list[float]", "-1.0 on the third bar of the pattern, 0.0 elsewhere; all NaN for fewer than\n"
                               "three bars"),
        raises(kRaises),
        example(">>> py_evening_doji_star([10.0, 11.5, 11.2], [11.2, 11.8, 11.3], [9.9, 11.3, 10.2], "
                "[11.0, 11.52, 10.4])\n[0.0, 0.0, -1.0]\n")),
    arg("open"), arg("high"), arg("low"), arg("close"), omissible_or_none("body_threshold", 0.1));
ENTRY(py_morning_doji_star, cs::morning_doji_star)(
    doc("Detect Morning Doji Star patterns\n\n"
        "A bearish bar, then a doji (range above 0, body under `body_threshold` of the range)\n"
        "whose high lies below the first body, then a bullish bar closing above the first bar's\n"
        "body midpoint.",
        params(kOhlc, kDojiThreshold),
        returns("list[float]", "1.0 on the third bar of the pattern, 0.0 elsewhere; all NaN for fewer than\n"
                               "three bars"),
        raises(kRaises),
        example(">>> py_morning_doji_star([11.0, 9.5, 9.8], [11.1, 9.7, 10.9], [9.8, 9.2, 9.7], "
                "[10.0, 9.48, 10.6])\n[0.0, 0.0, 1.0]\n")),
    arg("open"), arg("high"), arg("low"), arg("close"), omissible_or_none("body_threshold", 0.1));
ENTRY(py_upside_gap_two_crows, cs::upside_gap_two_crows)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_gap_sidesidewhite, cs::gap_sidesidewhite)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_xside_gap_3_methods, cs::xside_gap_3_methods)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));

}  // namespace vorn::py::families
