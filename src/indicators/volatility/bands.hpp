#pragma once
// True range, Wilder's average true range and the volatility bands built on them.
// Other families call these kernels and rely on their checks, their warm-up positions
// (true range from index drift, ATR from index period) and the band order of BandSeries.
#include <cmath>
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::volatility {

struct BandSeries {
    Series upper, middle, lower;
    auto as_tuple() const { return std::tie(upper, middle, lower); }
};

// The largest of the bar's range and its distances to the earlier close. Written out so
// that a NaN in the range (an overflowed difference) is not silently replaced.
inline double true_range_bar(double high, double low, double prev_close) noexcept {
    double tr = high - low;
    const double up = std::fabs(high - prev_close);
    const double down = std::fabs(low - prev_close);
    if (up > tr) tr = up;
    if (down > tr) tr = down;
    return tr;
}

// True range against the close `drift` bars back; NaN at indices 0 .. drift - 1.
// Checks: high (empty, non-finite), then low and close against it, then drift 0 is an
// invalid period and drift >= n needs drift + 1 bars.
Result<Series> true_range(std::span<const double> high, std::span<const double> low,
                          std::span<const double> close, std::uint64_t drift);

// Wilder's ATR: seeded at index `period` with the mean of the true ranges of bars
// 1 .. period (bar 0 has none), then ATR = (ATR * (p - 1) + TR) / p. Checks as true_range.
Result<Series> atr(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period);

// ATR as a percentage of the close. `close` is checked before the ATR's own checks; NaN
// where the close is below 1e-10 in magnitude.
Result<Series> natr(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                    std::uint64_t period);

// Population-deviation bands around the rolling mean (the window's deviation sums of
// utils::stats::window::spreads, which utils::stats::stdev shares). Defined from index
// period - 1; period 1 gives all NaN.
Result<BandSeries> bollinger_bands(std::span<const double> close, std::uint64_t period, double std_multiplier);

// ATR bands around the EMA of the close. Defined from index max(period - 1, atr_period).
Result<BandSeries> keltner_channel(std::span<const double> high, std::span<const double> low,
                                   std::span<const double> close, std::uint64_t period, std::uint64_t atr_period,
                                   double multiplier);

}  // namespace vorn::indicators::volatility
