// The pivot and grid signal systems.
#include "indicators/sfg/pivot_grid.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sfg = indicators::sfg;

ENTRY(py_pivot_buy_sell, sfg::pivot_buy_sell)(
    doc("Pivot 买卖信号\n返回: (pivot, r1, r2, s1, s2, buy_signals, sell_signals)").names_only(), arg("high"),
    arg("low"), arg("close"), arg_or_none("lookback", 5));

ENTRY(py_general_parameters_signals, sfg::general_parameters_signals)(
    doc("General Parameters 信号 (EMA通道 + 网格入场)\n"
        "返回: (buy_signals, sell_signals, stop_loss, take_profit)")
        .names_only(),
    arg("high"), arg("low"), arg("close"), arg_or_none("ema_fast", 20), arg_or_none("ema_slow", 50),
    arg_or_none("atr_period", 14), arg_or_none("grid_multiplier", 1.0));

}  // namespace vorn::py::families
