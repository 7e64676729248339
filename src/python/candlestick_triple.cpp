// Three-bar candlestick detectors.
#include "indicators/candlestick/three_bar.hpp"
#include "python/candlestick_entries.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;
using candles::In;
using candles::ohlc;
using candles::osc;

namespace {

// Reads high and low alone, without validation; open and close are converted and ignored.
Series hikkake(In, In high, In low, In) { return cs::hikkake(high, low); }

}  // namespace

const FunctionDef py_morning_star =
    ohlc<registry::Fn::py_morning_star, cs::morning_star>(CANDLE_SIG("py_morning_star(open, high, low, close)"));
const FunctionDef py_evening_star =
    ohlc<registry::Fn::py_evening_star, cs::evening_star>(CANDLE_SIG("py_evening_star(open, high, low, close)"));
const FunctionDef py_abandoned_baby = ohlc<registry::Fn::py_abandoned_baby, cs::abandoned_baby, 0.1>(
    CANDLE_SIG("py_abandoned_baby(open, high, low, close, body_threshold=0.1)"), "body_threshold");
const FunctionDef py_tristar = ohlc<registry::Fn::py_tristar, cs::tristar, 0.1>(
    CANDLE_SIG("py_tristar(open, high, low, close, body_threshold=0.1)"), "body_threshold");
const FunctionDef py_three_inside =
    ohlc<registry::Fn::py_three_inside, cs::three_inside>(CANDLE_SIG("py_three_inside(open, high, low, close)"));
const FunctionDef py_three_outside =
    ohlc<registry::Fn::py_three_outside, cs::three_outside>(CANDLE_SIG("py_three_outside(open, high, low, close)"));
const FunctionDef py_advance_block =
    ohlc<registry::Fn::py_advance_block, cs::advance_block>(CANDLE_SIG("py_advance_block(open, high, low, close)"));
const FunctionDef py_stick_sandwich = ohlc<registry::Fn::py_stick_sandwich, cs::stick_sandwich, 0.01>(
    CANDLE_SIG("py_stick_sandwich(open, high, low, close, tolerance=0.01)"), "tolerance");
const FunctionDef py_unique_3_river =
    ohlc<registry::Fn::py_unique_3_river, cs::unique_3_river>(CANDLE_SIG("py_unique_3_river(open, high, low, close)"));
ENTRY(py_hikkake, hikkake)(CANDLE_SIG("py_hikkake(open, high, low, close)"), arg("open"), arg("high"),
                               arg("low"), arg("close"));

const FunctionDef py_three_black_crows = osc<registry::Fn::py_three_black_crows, cs::three_black_crows>(
    CANDLE_SIG("py_three_black_crows(open, low, close)")
    "Detect Three Black Crows patterns: three bearish bars, each opening inside the previous\n"
    "body, with falling closes and lower shadows under 30% of their bodies.\n\n"
    "Returns: list of float, -1.0 on the third bar of the pattern, 0.0 elsewhere\n",
    "low");
const FunctionDef py_three_white_soldiers = osc<registry::Fn::py_three_white_soldiers, cs::three_white_soldiers>(
    CANDLE_SIG("py_three_white_soldiers(open, high, close)")
    "Detect Three White Soldiers patterns: three bullish bars, each opening inside the\n"
    "previous body, with rising closes and upper shadows under 30% of their bodies.\n\n"
    "Returns: list of float, 1.0 on the third bar of the pattern, 0.0 elsewhere\n",
    "high");
const FunctionDef py_identical_three_crows = ohlc<registry::Fn::py_identical_three_crows, cs::identical_three_crows>(
    CANDLE_SIG("py_identical_three_crows(open, high, low, close)"));
const FunctionDef py_stalled_pattern =
    ohlc<registry::Fn::py_stalled_pattern, cs::stalled_pattern>(CANDLE_SIG("py_stalled_pattern(open, high, low, close)"));
const FunctionDef py_evening_doji_star = ohlc<registry::Fn::py_evening_doji_star, cs::evening_doji_star, 0.1>(
    CANDLE_SIG("py_evening_doji_star(open, high, low, close, body_threshold=0.1)")
    "Detect Evening Doji Star patterns\n\n"
    "A bullish bar, then a doji (range above 0, body under `body_threshold` of the range)\n"
    "whose low lies above the first body, then a bearish bar closing below the first bar's\n"
    "body midpoint.\n\n" CANDLE_OHLC_PARAMS
    "body_threshold : float, optional\n    Largest body / range ratio of the doji (default: 0.1; None selects 0.1)\n"
    "\nReturns\n-------\nlist[float]\n    -1.0 on the third bar of the pattern, 0.0 elsewhere; all NaN for fewer than\n"
    "    three bars\n" CANDLE_RAISES
    "\nExample\n-------\n"
    ">>> py_evening_doji_star([10.0, 11.5, 11.2], [11.2, 11.8, 11.3], [9.9, 11.3, 10.2], [11.0, 11.52, 10.4])\n"
    "[0.0, 0.0, -1.0]\n",
    "body_threshold");
const FunctionDef py_morning_doji_star = ohlc<registry::Fn::py_morning_doji_star, cs::morning_doji_star, 0.1>(
    CANDLE_SIG("py_morning_doji_star(open, high, low, close, body_threshold=0.1)")
    "Detect Morning Doji Star patterns\n\n"
    "A bearish bar, then a doji (range above 0, body under `body_threshold` of the range)\n"
    "whose high lies below the first body, then a bullish bar closing above the first bar's\n"
    "body midpoint.\n\n" CANDLE_OHLC_PARAMS
    "body_threshold : float, optional\n    Largest body / range ratio of the doji (default: 0.1; None selects 0.1)\n"
    "\nReturns\n-------\nlist[float]\n    1.0 on the third bar of the pattern, 0.0 elsewhere; all NaN for fewer than\n"
    "    three bars\n" CANDLE_RAISES
    "\nExample\n-------\n"
    ">>> py_morning_doji_star([11.0, 9.5, 9.8], [11.1, 9.7, 10.9], [9.8, 9.2, 9.7], [10.0, 9.48, 10.6])\n"
    "[0.0, 0.0, 1.0]\n",
    "body_threshold");
const FunctionDef py_upside_gap_two_crows = ohlc<registry::Fn::py_upside_gap_two_crows, cs::upside_gap_two_crows>(
    CANDLE_SIG("py_upside_gap_two_crows(open, high, low, close)"));
const FunctionDef py_gap_sidesidewhite =
    ohlc<registry::Fn::py_gap_sidesidewhite, cs::gap_sidesidewhite>(CANDLE_SIG("py_gap_sidesidewhite(open, high, low, close)"));
const FunctionDef py_xside_gap_3_methods = ohlc<registry::Fn::py_xside_gap_3_methods, cs::xside_gap_3_methods>(
    CANDLE_SIG("py_xside_gap_3_methods(open, high, low, close)"));



}  // namespace vorn::py::families
