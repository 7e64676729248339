#pragma once
// The floor-pivot and EMA-grid signal systems. Their pivots are their own: rolling levels
// over the bars before each bar, not the scalar pivot kernels of the level family.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "indicators/sfg_signals/signals.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg {

struct PivotSignals {
    Series pivot, r1, r2, s1, s2, buy_signals, sell_signals;
    auto as_tuple() const { return std::tie(pivot, r1, r2, s1, s2, buy_signals, sell_signals); }
};

// Floor pivots over the `lookback` bars before each bar; crossings of S1 (buy) and R1 (sell).
Result<PivotSignals> pivot_buy_sell(std::span<const double> high, std::span<const double> low,
                                    std::span<const double> close, std::uint64_t lookback);

// Pull-backs into an ATR grid around the slow EMA in the direction of the EMA trend.
Result<sfg_signals::TradeSignals> general_parameters_signals(std::span<const double> high,
                                                             std::span<const double> low,
                                                             std::span<const double> close, std::uint64_t ema_fast,
                                                             std::uint64_t ema_slow, std::uint64_t atr_period,
                                                             double grid_multiplier);

}  // namespace vorn::indicators::sfg
