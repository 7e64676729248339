#pragma once
// Signal systems driven by a linear model trained on the series itself: the online trainers
// fit once on the first train_window feature rows and forecast every bar (0.0 on the bars
// before the look-back, and on every bar when training fails).
#include <cstdint>
#include <span>
#include <string_view>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg {

struct Atr2MlSignals {
    Series rsi, buy_signals, sell_signals, signal_strength, stop_loss, take_profit;
    auto as_tuple() const { return std::tie(rsi, buy_signals, sell_signals, signal_strength, stop_loss, take_profit); }
};

struct AiSuperTrendMlSignals {
    Series supertrend, direction, buy_signals, sell_signals, stop_loss, take_profit;
    auto as_tuple() const { return std::tie(supertrend, direction, buy_signals, sell_signals, stop_loss, take_profit); }
};

struct AiMomentumMlSignals {
    Series rsi, predicted_momentum, zero_cross_buy, zero_cross_sell, overbought, oversold;
    auto as_tuple() const {
        return std::tie(rsi, predicted_momentum, zero_cross_buy, zero_cross_sell, overbought, oversold);
    }
};

// RSI levels 30 - p and 70 + p, p the ridge forecast of the next return in percent clamped
// to [-10, 10] (200 training rows, look-back momentum_window); a volume above its atr_period
// mean (or a mean at or below 0) lets a signal fire. Strength is the RSI's distance past
// the level over 30; stops 2 ATR, targets 3 ATR.
// Checks: close (empty, non-finite), then high, low, close, volume as a group, rsi_period,
// atr_period (0 or above n invalid), momentum_window 0, the 64-bit sum of 200 and
// momentum_window, n below that sum; then the RSI's and the ATR's own checks.
Result<Atr2MlSignals> atr2_signals_ml(std::span<const double> high, std::span<const double> low,
                                      std::span<const double> close, std::span<const double> volume,
                                      std::uint64_t rsi_period, std::uint64_t atr_period, double ridge_alpha,
                                      std::uint64_t momentum_window);

// A SuperTrend turn is a buy (up) or sell (down) when the forecast of the next return agrees
// in sign; model_type "linreg" (least squares) or "ridge" (alpha 1.0).
// Checks: close (empty, non-finite), then high, low, close as a group, st_length, lookback
// (0 or above n invalid), train_window 0, the 64-bit sum, n below it; then the SuperTrend's
// and the ATR's own checks; the model type only after them.
Result<AiSuperTrendMlSignals> ai_supertrend_ml(std::span<const double> high, std::span<const double> low,
                                               std::span<const double> close, std::uint64_t st_length,
                                               double st_multiplier, std::string_view model_type,
                                               std::uint64_t lookback, std::uint64_t train_window);

// A least-squares forecast of the next RSI change (optionally on pairwise products of the
// lagged RSI values), with zero-cross flags and the levels +-25.
// Checks: close (empty, non-finite), rsi_period, smooth_period, lookback (0 or above n
// invalid), train_window 0, the 64-bit sum, n below it; then the RSI's own checks.
// smooth_period takes part in the checks only.
Result<AiMomentumMlSignals> ai_momentum_index_ml(std::span<const double> close, std::uint64_t rsi_period,
                                                 std::uint64_t smooth_period, bool use_polynomial,
                                                 std::uint64_t lookback, std::uint64_t train_window);

}  // namespace vorn::indicators::sfg
