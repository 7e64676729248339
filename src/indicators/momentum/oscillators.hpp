#pragma once
// Single- and multi-series oscillators: momentum, rate of change, the absolute and
// percentage price oscillators, CMO, CCI, the awesome and ultimate oscillators, the Fisher
// transform and the true strength index.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::momentum {

struct FisherSeries {
    Series fisher, signal;
    auto as_tuple() const { return std::tie(fisher, signal); }
};

struct TsiSeries {
    Series tsi, signal;
    auto as_tuple() const { return std::tie(tsi, signal); }
};

// values[i] - values[i - period]; a period equal to the length is accepted (all NaN).
Result<Series> mom(std::span<const double> values, std::uint64_t period);
// (values[i] / values[i - period] - 1) * 100, NaN where the base is near zero.
Result<Series> roc(std::span<const double> values, std::uint64_t period);

// Fast EMA minus slow EMA, the slow period capped at the length.
Result<Series> apo(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period);
// The same difference as a percentage of the slow EMA.
Result<Series> ppo(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period);

// Wilder-smoothed gains and losses, (G - L) * 100 / (G + L); defined from index period.
Result<Series> cmo(std::span<const double> close, std::uint64_t period);

// Commodity channel index over the typical price; defined from index period - 1.
Result<Series> cci(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period);

// Ratio of the summed buying pressure to the summed true range over the period bars ending
// at each index from `period` on; NaN-skipping sums, recomputed per index. Never fails.
Series calc_uo_avg(std::span<const double> bp, std::span<const double> tr, std::uint64_t period);

Result<Series> ultimate_oscillator(std::span<const double> high, std::span<const double> low,
                                   std::span<const double> close, std::uint64_t period1, std::uint64_t period2,
                                   std::uint64_t period3);

// SMA(median, fast) - SMA(median, min(slow, n)).
Result<Series> awesome_oscillator(std::span<const double> high, std::span<const double> low,
                                  std::uint64_t fast_period, std::uint64_t slow_period);

// Unsmoothed Fisher transform of each window's stochastic position; signal lags one bar.
Result<FisherSeries> fisher_transform(std::span<const double> high, std::span<const double> low,
                                      std::span<const double> close, std::uint64_t period);

Result<TsiSeries> tsi(std::span<const double> close, std::uint64_t long_period, std::uint64_t short_period,
                      std::uint64_t signal_period);

}  // namespace vorn::indicators::momentum
