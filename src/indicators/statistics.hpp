#pragma once
// Validated rolling statistics of one or two series. Validation: a series is refused when
// empty or non-finite (two series: the first fully, then the second's emptiness, length and
// finiteness), then a period of 0 or above the length. A period the statistic cannot use
// (1; 2 for the standard error) gives an all-NaN result, not an error.
#include <cstdint>
#include <span>

#include "errors/errors.hpp"
#include "utils/series.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::statistics {

using utils::stats::RegressionSeries;

// Parameter names appear in the error messages, so they are part of each function.
Result<RegressionSeries> linear_regression(std::span<const double> y_values, std::uint64_t period);
Result<Series> standard_error(std::span<const double> y_values, std::uint64_t period);
Result<Series> correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period);
Result<Series> correl(std::span<const double> values1, std::span<const double> values2, std::uint64_t period);
Result<Series> zscore(std::span<const double> values, std::uint64_t period);
Result<Series> covariance(std::span<const double> x, std::span<const double> y, std::uint64_t period);
Result<Series> beta(std::span<const double> asset_returns, std::span<const double> benchmark_returns,
                    std::uint64_t period);
Result<Series> linearreg(std::span<const double> values, std::uint64_t period);
Result<Series> linearreg_slope(std::span<const double> values, std::uint64_t period);
Result<Series> linearreg_angle(std::span<const double> values, std::uint64_t period);
Result<Series> linearreg_intercept(std::span<const double> values, std::uint64_t period);
Result<Series> var(std::span<const double> values, std::uint64_t period);
Result<Series> tsf(std::span<const double> values, std::uint64_t period);

// Unvalidated forms over finite input; all-NaN when period < 2 or period > length.
// Variance, z-score and covariance are population statistics (divisor period).
Series var_impl(std::span<const double> values, std::uint64_t period);
Series zscore_impl(std::span<const double> values, std::uint64_t period);
Series covariance_impl(std::span<const double> x, std::span<const double> y, std::uint64_t period);
// Least-squares slope of a on b; 0.0 where b's window is flat.
Series beta_impl(std::span<const double> a, std::span<const double> b, std::uint64_t period);
// The fitted line's value at the window's last bar, and at its first bar.
Series linearreg_impl(std::span<const double> values, std::uint64_t period);
Series linearreg_intercept_impl(std::span<const double> values, std::uint64_t period);
// atan of the least-squares slope, in degrees.
Series linearreg_angle_impl(std::span<const double> values, std::uint64_t period);

}  // namespace vorn::indicators::statistics
