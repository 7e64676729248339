// Four- and five-bar candlestick detectors.
#include "indicators/candlestick/multi_bar.hpp"
#include "python/candlestick_entries.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;
using candles::ohlc;

const FunctionDef py_hikkake_mod =
    ohlc<registry::Fn::py_hikkake_mod, cs::hikkake_mod>(CANDLE_SIG("py_hikkake_mod(open, high, low, close)"));
const FunctionDef py_ladder_bottom =
    ohlc<registry::Fn::py_ladder_bottom, cs::ladder_bottom>(CANDLE_SIG("py_ladder_bottom(open, high, low, close)"));
const FunctionDef py_mat_hold = ohlc<registry::Fn::py_mat_hold, cs::mat_hold>(CANDLE_SIG("py_mat_hold(open, high, low, close)"));
const FunctionDef py_breakaway =
    ohlc<registry::Fn::py_breakaway, cs::breakaway>(CANDLE_SIG("py_breakaway(open, high, low, close)"));
const FunctionDef py_rising_three_methods = ohlc<registry::Fn::py_rising_three_methods, cs::rising_three_methods>(
    CANDLE_SIG("py_rising_three_methods(open, high, low, close)"));
const FunctionDef py_falling_three_methods = ohlc<registry::Fn::py_falling_three_methods, cs::falling_three_methods>(
    CANDLE_SIG("py_falling_three_methods(open, high, low, close)"));
const FunctionDef py_concealing_baby_swallow = ohlc<registry::Fn::py_concealing_baby_swallow, cs::concealing_baby_swallow>(
    CANDLE_SIG("py_concealing_baby_swallow(open, high, low, close)"));



}  // namespace vorn::py::families
