// Single-bar candlestick detectors.
#include "indicators/candlestick/single_bar.hpp"
#include "python/candlestick_entries.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;
using candles::ohlc;

const FunctionDef py_doji =
    ohlc<registry::Fn::py_doji, cs::doji, 0.1>(CANDLE_SIG("py_doji(open, high, low, close, body_threshold=0.1)"), "body_threshold");
const FunctionDef py_dragonfly_doji = ohlc<registry::Fn::py_dragonfly_doji, cs::dragonfly_doji, 0.1>(
    CANDLE_SIG("py_dragonfly_doji(open, high, low, close, body_threshold=0.1)"), "body_threshold");
const FunctionDef py_rickshaw_man = ohlc<registry::Fn::py_rickshaw_man, cs::rickshaw_man, 0.1>(
    CANDLE_SIG("py_rickshaw_man(open, high, low, close, body_threshold=0.1)"), "body_threshold");
const FunctionDef py_spinning_top =
    ohlc<registry::Fn::py_spinning_top, cs::spinning_top>(CANDLE_SIG("py_spinning_top(open, high, low, close)"));
const FunctionDef py_highwave = ohlc<registry::Fn::py_highwave, cs::highwave, 0.15>(
    CANDLE_SIG("py_highwave(open, high, low, close, body_threshold=0.15)"), "body_threshold");
const FunctionDef py_marubozu = ohlc<registry::Fn::py_marubozu, cs::marubozu>(CANDLE_SIG("py_marubozu(open, high, low, close)"));
const FunctionDef py_belthold = ohlc<registry::Fn::py_belthold, cs::belthold>(CANDLE_SIG("py_belthold(open, high, low, close)"));
const FunctionDef py_takuri = ohlc<registry::Fn::py_takuri, cs::takuri>(CANDLE_SIG("py_takuri(open, high, low, close)"));
const FunctionDef py_hammer = ohlc<registry::Fn::py_hammer, cs::hammer>(CANDLE_SIG("py_hammer(open, high, low, close)"));
const FunctionDef py_hanging_man =
    ohlc<registry::Fn::py_hanging_man, cs::hanging_man>(CANDLE_SIG("py_hanging_man(open, high, low, close)"));
const FunctionDef py_shooting_star =
    ohlc<registry::Fn::py_shooting_star, cs::shooting_star>(CANDLE_SIG("py_shooting_star(open, high, low, close)"));
const FunctionDef py_long_line = ohlc<registry::Fn::py_long_line, cs::long_line, std::uint64_t{10}>(
    CANDLE_SIG("py_long_line(open, high, low, close, lookback=10)"), "lookback");
const FunctionDef py_short_line = ohlc<registry::Fn::py_short_line, cs::short_line, std::uint64_t{10}>(
    CANDLE_SIG("py_short_line(open, high, low, close, lookback=10)"), "lookback");

const FunctionDef py_gravestone_doji = ohlc<registry::Fn::py_gravestone_doji, cs::gravestone_doji, 0.1>(
    CANDLE_SIG("py_gravestone_doji(open, high, low, close, body_threshold=0.1)")
    "Detect Gravestone Doji candlestick patterns\n\n"
    "A bar with a tiny body at its low and a long upper shadow: its range is above 0, its\n"
    "body is under `body_threshold` of the range, its lower shadow under 10% and its upper\n"
    "shadow over 60% of the range. Bearish whatever the bar's colour.\n\n" CANDLE_OHLC_PARAMS
    "body_threshold : float, optional\n    Largest body / range ratio (default: 0.1; None selects 0.1)\n"
    "\nReturns\n-------\nlist[float]\n    -1.0 on a gravestone doji, 0.0 elsewhere\n" CANDLE_RAISES
    "\nExample\n-------\n>>> py_gravestone_doji([10.0], [10.8], [9.95], [10.05])\n[-1.0]\n",
    "body_threshold");
const FunctionDef py_inverted_hammer = ohlc<registry::Fn::py_inverted_hammer, cs::inverted_hammer>(
    CANDLE_SIG("py_inverted_hammer(open, high, low, close)")
    "Detect Inverted Hammer candlestick patterns: a non-zero body, a lower shadow of at most\n"
    "the body and an upper shadow of at least twice the body.\n\n"
    "Returns: list of float, 1.0 on a bullish bar and -1.0 on a bearish bar that forms the\n"
    "pattern, 0.0 elsewhere\n");
const FunctionDef py_long_legged_doji = ohlc<registry::Fn::py_long_legged_doji, cs::long_legged_doji, 0.1>(
    CANDLE_SIG("py_long_legged_doji(open, high, low, close, body_threshold=0.1)")
    "Detect Long-Legged Doji candlestick patterns\n\n"
    "A bar with a tiny body and long shadows on both sides: its range is above 0, its body\n"
    "is under `body_threshold` of the range, and each shadow is over 30% of the range.\n\n" CANDLE_OHLC_PARAMS
    "body_threshold : float, optional\n    Largest body / range ratio (default: 0.1; None selects 0.1)\n"
    "\nReturns\n-------\nlist[float]\n    1.0 on a long-legged doji, 0.0 elsewhere\n" CANDLE_RAISES
    "\nExample\n-------\n>>> py_long_legged_doji([10.3], [11.0], [9.5], [10.35])\n[1.0]\n",
    "body_threshold");
const FunctionDef py_closing_marubozu =
    ohlc<registry::Fn::py_closing_marubozu, cs::closing_marubozu>(CANDLE_SIG("py_closing_marubozu(open, high, low, close)"));



}  // namespace vorn::py::families
