#pragma once
// Channels and volatility measures over the rolling-window and ATR kernels.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "indicators/volatility/bands.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::volatility {

struct ChandelierSeries {
    Series long_exit, short_exit;
    auto as_tuple() const { return std::tie(long_exit, short_exit); }
};

// Highest high, midpoint and lowest low of the last `period` bars (BandSeries order).
Result<BandSeries> donchian_channel(std::span<const double> high, std::span<const double> low, std::uint64_t period);

// ATR stops hung below the highest high and above the lowest low. Defined from
// max(period - 1, atr_period).
Result<ChandelierSeries> chandelier_exit(std::span<const double> high, std::span<const double> low,
                                         std::span<const double> close, std::uint64_t period,
                                         std::uint64_t atr_period, double multiplier);

// Sample deviation of the log returns over `period` returns, times sqrt(period) * 100.
// A window holding an undefined or infinite return is NaN; the windows after it are not
// affected. Defined from index `period`.
Result<Series> historical_volatility(std::span<const double> close, std::uint64_t period);

// Root mean square of the percentage drawdowns from the rolling highest close.
Result<Series> ulcer_index(std::span<const double> close, std::uint64_t period);

// Sum over the longer period of EMA(range) / EMA(EMA(range)) over the shorter one.
Result<Series> mass_index(std::span<const double> high, std::span<const double> low, std::uint64_t fast,
                          std::uint64_t slow);

}  // namespace vorn::indicators::volatility
