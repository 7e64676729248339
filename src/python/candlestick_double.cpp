// Two-bar candlestick detectors.
#include "indicators/candlestick/two_bar.hpp"
#include "python/candlestick_entries.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;
using candles::In;
using candles::oc;
using candles::ohlc;
using candles::osc;

namespace {

// Reads open and close alone, without validation; high and low are converted and ignored.
Series counterattack(In open, In, In, In close, std::optional<double> tolerance) {
    return cs::counterattack(open, close, tolerance.value_or(0.005));
}

}  // namespace

const FunctionDef py_bullish_harami = oc<registry::Fn::py_bullish_harami, cs::bullish_harami>(
    CANDLE_SIG("py_bullish_harami(open, close)"));
const FunctionDef py_bearish_harami = oc<registry::Fn::py_bearish_harami, cs::bearish_harami>(
    CANDLE_SIG("py_bearish_harami(open, close)"));
const FunctionDef py_harami_cross = ohlc<registry::Fn::py_harami_cross, cs::harami_cross, 0.1>(
    CANDLE_SIG("py_harami_cross(open, high, low, close, body_threshold=0.1)"), "body_threshold");
const FunctionDef py_doji_star = ohlc<registry::Fn::py_doji_star, cs::doji_star, 0.1>(
    CANDLE_SIG("py_doji_star(open, high, low, close, body_threshold=0.1)"), "body_threshold");
const FunctionDef py_kicking = ohlc<registry::Fn::py_kicking, cs::kicking>(CANDLE_SIG("py_kicking(open, high, low, close)"));
ENTRY(py_counterattack, counterattack)(
    CANDLE_SIG("py_counterattack(open, high, low, close, tolerance=0.005)"), arg("open"), arg("high"), arg("low"),
    arg("close"), omissible_or_none("tolerance"));
const FunctionDef py_matching_low = ohlc<registry::Fn::py_matching_low, cs::matching_low, 0.01>(
    CANDLE_SIG("py_matching_low(open, high, low, close, tolerance=0.01)"), "tolerance");
const FunctionDef py_homing_pigeon =
    ohlc<registry::Fn::py_homing_pigeon, cs::homing_pigeon>(CANDLE_SIG("py_homing_pigeon(open, high, low, close)"));
const FunctionDef py_inneck = ohlc<registry::Fn::py_inneck, cs::inneck, 0.01>(
    CANDLE_SIG("py_inneck(open, high, low, close, tolerance=0.01)"), "tolerance");
const FunctionDef py_onneck = ohlc<registry::Fn::py_onneck, cs::onneck, 0.01>(
    CANDLE_SIG("py_onneck(open, high, low, close, tolerance=0.01)"), "tolerance");
const FunctionDef py_thrusting =
    ohlc<registry::Fn::py_thrusting, cs::thrusting>(CANDLE_SIG("py_thrusting(open, high, low, close)"));
const FunctionDef py_tweezers_top = osc<registry::Fn::py_tweezers_top, cs::tweezers_top, 0.01>(
    CANDLE_SIG("py_tweezers_top(open, high, close, tolerance=0.01)"), "high", "tolerance");

const FunctionDef py_bullish_engulfing = oc<registry::Fn::py_bullish_engulfing, cs::bullish_engulfing>(
    CANDLE_SIG("py_bullish_engulfing(open, close)")
    "Detect Bullish Engulfing patterns: a bearish bar followed by a bullish bar whose body\n"
    "covers it (its open at or below the first close, its close at or above the first open).\n\n"
    "Returns: list of float, 1.0 on the second bar of the pattern, 0.0 elsewhere\n");
const FunctionDef py_bearish_engulfing = oc<registry::Fn::py_bearish_engulfing, cs::bearish_engulfing>(
    CANDLE_SIG("py_bearish_engulfing(open, close)")
    "Detect Bearish Engulfing patterns: a bullish bar followed by a bearish bar whose body\n"
    "covers it (its open at or above the first close, its close at or below the first open).\n\n"
    "Returns: list of float, -1.0 on the second bar of the pattern, 0.0 elsewhere\n");
const FunctionDef py_tweezers_bottom = osc<registry::Fn::py_tweezers_bottom, cs::tweezers_bottom, 0.01>(
    CANDLE_SIG("py_tweezers_bottom(open, low, close, tolerance=0.01)")
    "Detect Tweezers Bottom patterns\n\n"
    "A bearish bar followed by a bullish bar with nearly the same low: the two lows differ by\n"
    "less than `tolerance` times their mean, which must be above 0.\n\n"
    "Parameters\n----------\nopen : list[float]\n    Open prices\nlow : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "tolerance : float, optional\n    Largest relative difference of the lows (default: 0.01; None selects 0.01)\n"
    "\nReturns\n-------\nlist[float]\n    1.0 on the second bar of the pattern, 0.0 elsewhere\n" CANDLE_RAISES
    "\nExample\n-------\n>>> py_tweezers_bottom([10.5, 10.0], [9.0, 8.98], [10.2, 10.7])\n[0.0, 1.0]\n",
    "low", "tolerance");
const FunctionDef py_dark_cloud_cover = osc<registry::Fn::py_dark_cloud_cover, cs::dark_cloud_cover>(
    CANDLE_SIG("py_dark_cloud_cover(open, high, close)")
    "Detect Dark Cloud Cover patterns: a bullish bar, then a bearish bar that opens above its\n"
    "high and closes below its body midpoint but above its open.\n\n"
    "Returns: list of float, -1.0 on the second bar of the pattern, 0.0 elsewhere\n",
    "high");
const FunctionDef py_piercing_pattern = osc<registry::Fn::py_piercing_pattern, cs::piercing_pattern>(
    CANDLE_SIG("py_piercing_pattern(open, low, close)")
    "Detect Piercing patterns: a bearish bar, then a bullish bar that opens below its low\n"
    "and closes above its body midpoint but below its open.\n\n"
    "Returns: list of float, 1.0 on the second bar of the pattern, 0.0 elsewhere\n",
    "low");
const FunctionDef py_separating_lines = ohlc<registry::Fn::py_separating_lines, cs::separating_lines, 0.005>(
    CANDLE_SIG("py_separating_lines(open, high, low, close, tolerance=0.005)")
    "Detect Separating Lines patterns\n\n"
    "Two bars of opposite colours opening at nearly the same price: the opens differ by less\n"
    "than `tolerance` times the first open. A bearish bar followed by a bullish one is\n"
    "bullish, a bullish bar followed by a bearish one bearish.\n\n" CANDLE_OHLC_PARAMS
    "tolerance : float, optional\n    Largest relative difference of the opens (default: 0.005; None selects 0.005)\n"
    "\nReturns\n-------\nlist[float]\n    1.0 or -1.0 on the second bar of the pattern, 0.0 elsewhere\n" CANDLE_RAISES
    "\nExample\n-------\n>>> py_separating_lines([10.0, 10.02], [10.1, 10.9], [9.7, 10.0], [9.8, 10.8])\n"
    "[0.0, 1.0]\n",
    "tolerance");



}  // namespace vorn::py::families
