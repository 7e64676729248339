#pragma once
// Relative vigor index, its regression inertia, the pretty good oscillator, the Elder force
// index and the forward shift. Other families call rvi, efi and shift_forward directly and
// rely on their checks and warm-up positions (rvi from index period + 2, its signal from
// period + signal_period + 1, efi from index period).
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::extended {

struct RviSeries {
    Series rvi, signal;
    auto as_tuple() const { return std::tie(rvi, signal); }
};

// values moved `shift` bars later; the first `shift` bars (all of them when shift >= n) NaN.
Series shift_forward(std::span<const double> values, std::uint64_t shift);

// Exponential average (alpha 2 / (period + 1)) of (close[i] - close[i-1]) * volume[i], seeded
// with the mean of the first `period` changes. Checks close, then volume, then the period
// (0 or above n); period == n is accepted and gives all NaN.
Result<Series> efi(std::span<const double> close, std::span<const double> volume, std::uint64_t period);

// Smoothed close-minus-open over smoothed range (1-2-2-1 weights, then simple means of
// `period`), with a simple-mean signal of `signal_period`. Checks open, high, low, close,
// then period, then signal_period. A smoothed range below 1e-10 gives NaN.
Result<RviSeries> rvi(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                      std::span<const double> close, std::uint64_t period, std::uint64_t signal_period);

// The end point of the least-squares line over `regression_period` bars of the RVI of
// `rvi_period`. The RVI's signal period is fixed at 4, so fewer than 4 bars is an invalid
// period of 4 once the two periods have passed.
Result<Series> inertia(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                       std::span<const double> close, std::uint64_t rvi_period, std::uint64_t regression_period);

// (close - SMA(close)) / ATR, NaN where the ATR is below 1e-10. Defined from index period;
// period == n is the ATR's insufficient-data refusal.
Result<Series> pgo(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period);

}  // namespace vorn::indicators::extended
