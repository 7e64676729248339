// Stops, signal combination, market-structure signals and the pivot and grid systems.
#include "indicators/sfg/pivot_grid.hpp"
#include "indicators/sfg_signals/signals.hpp"
#include "indicators/sfg_utils.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sig = indicators::sfg_signals;
namespace sfg = indicators::sfg;
namespace su = indicators::sfg_utils;

namespace {

// Every parameter must be passed; None selects a number's default.
Result<sig::StopLevels> calculate_stops(const Series& close, const Series& atr_values, Series& buy_signals,
                                        Series& sell_signals, std::optional<double> sl_multiplier,
                                        std::optional<double> tp_multiplier) {
    return sig::calculate_stops(close, atr_values, std::move(buy_signals), std::move(sell_signals),
                                sl_multiplier.value_or(1.5), tp_multiplier.value_or(2.5));
}
Result<Series> trailing_stop(const Series& close, const Series& atr_values, const Series& direction,
                             std::optional<double> multiplier) {
    return sig::trailing_stop(close, atr_values, direction, multiplier.value_or(2.0));
}
Result<su::VolumeFilter> volume_filter(const Series& volume, std::optional<std::uint64_t> period) {
    return su::volume_filter(volume, period.value_or(20));
}
Result<sig::CombinedSignals> combine_signals(Series& buy1, Series& sell1, Series& buy2, Series& sell2,
                                             std::optional<double> weight1) {
    return sig::combine_signals(std::move(buy1), std::move(sell1), std::move(buy2), std::move(sell2),
                                weight1.value_or(0.5));
}
Result<sig::TradeSignals> linreg_supply_demand_signals(const Series& high, const Series& low, const Series& close,
                                                       const Series& volume, std::optional<std::uint64_t> linreg_period,
                                                       std::optional<double> tolerance) {
    return sig::linreg_supply_demand_signals(high, low, close, volume, linreg_period.value_or(20),
                                             tolerance.value_or(0.02));
}
Result<sig::TradeSignals> pd_array_signals(const Series& high, const Series& low, const Series& close,
                                           std::optional<std::uint64_t> swing_lookback) {
    return sig::pd_array_signals(high, low, close, swing_lookback.value_or(20));
}
Result<sig::DivergenceSeries> detect_divergence(const Series& price, const Series& indicator,
                                                std::optional<std::uint64_t> lookback, std::optional<double> threshold) {
    return sig::detect_divergence(price, indicator, lookback.value_or(5), threshold.value_or(0.01));
}
Result<sfg::PivotSignals> pivot_buy_sell(const Series& high, const Series& low, const Series& close,
                                         std::optional<std::uint64_t> lookback) {
    return sfg::pivot_buy_sell(high, low, close, lookback.value_or(5));
}
Result<sig::TradeSignals> general_parameters_signals(const Series& high, const Series& low, const Series& close,
                                                     std::optional<std::uint64_t> ema_fast,
                                                     std::optional<std::uint64_t> ema_slow,
                                                     std::optional<std::uint64_t> atr_period,
                                                     std::optional<double> grid_multiplier) {
    return sfg::general_parameters_signals(high, low, close, ema_fast.value_or(20), ema_slow.value_or(50),
                                           atr_period.value_or(14), grid_multiplier.value_or(1.0));
}
Result<su::FvgSeries> fvg_signals(const Series& high, const Series& low) { return su::fvg_signals(high, low); }
Result<su::BreakerSeries> breaker_block_signals(const Series& open, const Series& high, const Series& low,
                                                const Series& close, std::optional<std::uint64_t> lookback) {
    return su::breaker_block_signals(open, high, low, close, lookback.value_or(20));
}

#define TRADE_RESULT "返回: (buy_signals, sell_signals, stop_loss, take_profit)"

}  // namespace

ENTRY(py_calculate_stops, calculate_stops)(
    "py_calculate_stops(close, atr_values, buy_signals, sell_signals, sl_multiplier, tp_multiplier)\n--\n\n"
    "计算止损止盈\n返回: (stop_loss, take_profit)",
    arg("close"), arg("atr_values"), arg("buy_signals"), arg("sell_signals"), arg_or_none("sl_multiplier"),
    arg_or_none("tp_multiplier"));

ENTRY(py_trailing_stop, trailing_stop)(
    "py_trailing_stop(close, atr_values, direction, multiplier)\n--\n\n计算追踪止损",
    arg("close"), arg("atr_values"), arg("direction"), arg_or_none("multiplier"));

ENTRY(py_volume_filter, volume_filter)(
    "py_volume_filter(volume, period)\n--\n\n成交量过滤器\n返回: (above_average, relative_volume, volume_spike)",
    arg("volume"), arg_or_none("period"));

ENTRY(py_combine_signals, combine_signals)(
    "py_combine_signals(buy1, sell1, buy2, sell2, weight1)\n--\n\n"
    "简单信号组合 (加权平均)\n返回: (combined_buy, combined_sell)",
    arg("buy1"), arg("sell1"), arg("buy2"), arg("sell2"), arg_or_none("weight1"));

ENTRY(py_linreg_supply_demand_signals, linreg_supply_demand_signals)(
    "py_linreg_supply_demand_signals(high, low, close, volume, linreg_period, tolerance)\n--\n\n"
    "Linear Regression + Supply/Demand Zones 信号\n" TRADE_RESULT,
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("linreg_period"), arg_or_none("tolerance"));

ENTRY(py_pd_array_signals, pd_array_signals)(
    "py_pd_array_signals(high, low, close, swing_lookback)\n--\n\n"
    "PD Array (Premium/Discount Array) 信号\n" TRADE_RESULT,
    arg("high"), arg("low"), arg("close"), arg_or_none("swing_lookback"));

ENTRY(py_detect_divergence, detect_divergence)(
    "py_detect_divergence(price, indicator, lookback, threshold)\n--\n\n"
    "背离检测\n返回: (divergence_type, strength)\n"
    "divergence_type: 0=None, 1=RegularBullish, 2=RegularBearish, 3=HiddenBullish, 4=HiddenBearish",
    arg("price"), arg("indicator"), arg_or_none("lookback"), arg_or_none("threshold"));

ENTRY(py_pivot_buy_sell, pivot_buy_sell)(
    "py_pivot_buy_sell(high, low, close, lookback)\n--\n\n"
    "Pivot 买卖信号\n返回: (pivot, r1, r2, s1, s2, buy_signals, sell_signals)",
    arg("high"), arg("low"), arg("close"), arg_or_none("lookback"));

ENTRY(py_general_parameters_signals, general_parameters_signals)(
    "py_general_parameters_signals(high, low, close, ema_fast, ema_slow, atr_period, grid_multiplier)\n--\n\n"
    "General Parameters 信号 (EMA通道 + 网格入场)\n" TRADE_RESULT,
    arg("high"), arg("low"), arg("close"), arg_or_none("ema_fast"), arg_or_none("ema_slow"),
    arg_or_none("atr_period"), arg_or_none("grid_multiplier"));

ENTRY(py_fvg_signals, fvg_signals)(
    "py_fvg_signals(high, low)\n--\n\nFVG (Fair Value Gap) 信号\n返回: (bullish_fvg, bearish_fvg, fvg_upper, fvg_lower)",
    arg("high"), arg("low"));

ENTRY(py_breaker_block_signals, breaker_block_signals)(
    "py_breaker_block_signals(open, high, low, close, lookback)\n--\n\n"
    "Breaker Block 信号\n返回: (buy_signals, sell_signals, breaker_upper, breaker_lower)",
    arg("open"), arg("high"), arg("low"), arg("close"), arg_or_none("lookback"));

#undef TRADE_RESULT


}  // namespace vorn::py::families
