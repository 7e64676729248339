// Stops, signal combination and the market-structure signals.
#include "indicators/sfg_signals/signals.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sig = indicators::sfg_signals;

namespace {

constexpr const char* kTradeResult = "返回: (buy_signals, sell_signals, stop_loss, take_profit)";

}  // namespace

// Every parameter must be passed; None selects a number's default.
ENTRY(py_calculate_stops, sig::calculate_stops)(
    doc("计算止损止盈\n返回: (stop_loss, take_profit)").names_only(), arg("close"), arg("atr_values"),
    arg("buy_signals"), arg("sell_signals"), arg_or_none("sl_multiplier", 1.5), arg_or_none("tp_multiplier", 2.5));

ENTRY(py_trailing_stop, sig::trailing_stop)(doc("计算追踪止损").names_only(), arg("close"), arg("atr_values"),
                                            arg("direction"), arg_or_none("multiplier", 2.0));

ENTRY(py_combine_signals, sig::combine_signals)(
    doc("简单信号组合 (加权平均)\n返回: (combined_buy, combined_sell)").names_only(), arg("buy1"), arg("sell1"),
    arg("buy2"), arg("sell2"), arg_or_none("weight1", 0.5));

ENTRY(py_linreg_supply_demand_signals, sig::linreg_supply_demand_signals)(
    doc(std::string("Linear Regression + Supply/Demand Zones 信号\n") + kTradeResult).names_only(), arg("high"),
    arg("low"), arg("close"), arg("volume"), arg_or_none("linreg_period", 20), arg_or_none("tolerance", 0.02));

ENTRY(py_pd_array_signals, sig::pd_array_signals)(
    doc(std::string("PD Array (Premium/Discount Array) 信号\n") + kTradeResult).names_only(), arg("high"),
    arg("low"), arg("close"), arg_or_none("swing_lookback", 20));

ENTRY(py_detect_divergence, sig::detect_divergence)(
    doc("背离检测\n返回: (divergence_type, strength)\n"
        "divergence_type: 0=None, 1=RegularBullish, 2=RegularBearish, 3=HiddenBullish, 4=HiddenBearish")
        .names_only(),
    arg("price"), arg("indicator"), arg_or_none("lookback", 5), arg_or_none("threshold", 0.01));

}  // namespace vorn::py::families
