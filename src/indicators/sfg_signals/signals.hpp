#pragma once
// Signal post-processing (stops, trailing stop, combination) and the swing-based
// market-structure signals. Buy and sell series hold 1.0 or 0.0; stop and target series are
// NaN where no signal fired.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg_signals {

// A buy/sell series pair with its strength and levels. Only the stop and combination
// functions build it; it never leaves the library.
struct SFGSignal {
    Series buy_signals, sell_signals, signal_strength, stop_loss, take_profit, max_profit;
    std::optional<Series> trend_line, upper_band, lower_band;
    std::unordered_map<std::string, std::string> metadata;

    // Every present series as long as a non-empty buy_signals; `label` names an empty record.
    Status validate(const char* label) const;
};

// Takes both series; checks buy (empty, non-finite), then sell (empty, length, non-finite).
// Strength is each bar's larger signal, clamped to 0..1; the levels start as NaN, the
// optional series absent, the metadata empty.
Result<SFGSignal> build_sfg_signal(Series buy, Series sell);

struct StopLevels {
    Series stop_loss, take_profit;
    auto as_tuple() const { return std::tie(stop_loss, take_profit); }
};

struct CombinedSignals {
    Series buy_signals, sell_signals, signal_strength;
    auto as_tuple() const { return std::tie(buy_signals, sell_signals, signal_strength); }
};

struct TradeSignals {
    Series buy_signals, sell_signals, stop_loss, take_profit;
    static TradeSignals make(std::size_t n);
    auto as_tuple() const { return std::tie(buy_signals, sell_signals, stop_loss, take_profit); }
};

struct DivergenceSeries {
    std::vector<std::int64_t> divergence_type;  // 0 none, 1 regular bullish, 2 regular bearish
    Series strength;
    auto as_tuple() const { return std::tie(divergence_type, strength); }
};

// Stops `sl_multiplier` ATRs against and targets `tp_multiplier` ATRs along a buy (> 0.5,
// taking precedence) or sell at each signal bar. An infinite ATR anywhere fails the call.
Result<StopLevels> calculate_stops(std::span<const double> close, std::span<const double> atr_values, Series buy,
                                   Series sell, double sl_multiplier, double tp_multiplier);

// Weighted vote of two signal pairs: a side fires where its weighted strength passes 0.5.
Result<CombinedSignals> combine_signals(Series buy1, Series sell1, Series buy2, Series sell2, double weight1);

// A stop `multiplier` ATRs behind the best close of the current long (direction > 0.5) or
// short (< -0.5) run; flat bars are NaN. The best close restarts on every change of direction.
Result<Series> trailing_stop(std::span<const double> close, std::span<const double> atr_values,
                             std::span<const double> direction, double multiplier);

// Entries into strong supply/demand zones beyond a rolling regression channel of the close.
Result<TradeSignals> linreg_supply_demand_signals(std::span<const double> high, std::span<const double> low,
                                                  std::span<const double> close, std::span<const double> volume,
                                                  std::uint64_t linreg_period, double tolerance);

// Crossings between the premium and discount halves of the latest swing range.
Result<TradeSignals> pd_array_signals(std::span<const double> high, std::span<const double> low,
                                      std::span<const double> close, std::uint64_t swing_lookback);

// Regular divergences between price and indicator over the two latest swing lows / highs.
Result<DivergenceSeries> detect_divergence(std::span<const double> price, std::span<const double> indicator,
                                           std::uint64_t lookback, double threshold);

}  // namespace vorn::indicators::sfg_signals
