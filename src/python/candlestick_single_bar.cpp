// Single-bar candlestick detectors.
#include "indicators/candlestick/single_bar.hpp"
#include "python/candlestick_common.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;

ENTRY(py_doji, cs::doji)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                         omissible_or_none("body_threshold", 0.1));
ENTRY(py_dragonfly_doji, cs::dragonfly_doji)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                             omissible_or_none("body_threshold", 0.1));
ENTRY(py_rickshaw_man, cs::rickshaw_man)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                         omissible_or_none("body_threshold", 0.1));
ENTRY(py_spinning_top, cs::spinning_top)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_highwave, cs::highwave)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                 omissible_or_none("body_threshold", 0.15));
ENTRY(py_marubozu, cs::marubozu)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_belthold, cs::belthold)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_takuri, cs::takuri)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_hammer, cs::hammer)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_hanging_man, cs::hanging_man)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_shooting_star, cs::shooting_star)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_long_line, cs::long_line)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                   omissible_or_none("lookback", 10));
ENTRY(py_short_line, cs::short_line)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                     omissible_or_none("lookback", 10));
ENTRY(py_gravestone_doji, cs::gravestone_doji)(
    doc("Detect Gravestone Doji candlestick patterns\n\n"
        "A bar with a tiny body at its low and a long upper shadow: its range is above 0, its\n"
        "body is under `body_threshold` of the range, its lower shadow under 10% and its upper\n"
        "shadow over 60% of the range. Bearish whatever the bar's colour.",
        params(kOhlc, kBodyThreshold), returns("list[float]", "-1.0 on a gravestone doji, 0.0 elsewhere"),
        raises(kRaises), example(">>> py_gravestone_doji([10.0], [10.8], [9.95], [10.05])\n[-1.0]\n")),
    arg("open"), arg("high"), arg("low"), arg("close"), omissible_or_none("body_threshold", 0.1));
ENTRY(py_inverted_hammer, cs::inverted_hammer)(
    doc("Detect Inverted Hammer candlestick patterns: a non-zero body, a lower shadow of at most\n"
        "the body and an upper shadow of at least twice the body.\n"
        "\n"
        "Returns: list of float, 1.0 on a bullish bar and -1.0 on a bearish bar that forms the\n"
        "pattern, 0.0 elsewhere\n"),
    arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_long_legged_doji, cs::long_legged_doji)(
    doc("Detect Long-Legged Doji candlestick patterns\n\n"
        "A bar with a tiny body and long shadows on both sides: its range is above 0, its body\n"
        "is under `body_threshold` of the range, and each shadow is over 30% of the range.",
        params(kOhlc, kBodyThreshold), returns("list[float]", "1.0 on a long-legged doji, 0.0 elsewhere"),
        raises(kRaises), example(">>> py_long_legged_doji([10.3], [11.0], [9.5], [10.35])\n[1.0]\n")),
    arg("open"), arg("high"), arg("low"), arg("close"), omissible_or_none("body_threshold", 0.1));
ENTRY(py_closing_marubozu, cs::closing_marubozu)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));

}  // namespace vorn::py::families
