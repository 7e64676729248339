#pragma once
// Sliding-window statistics shared across indicator families. None of these validates or
// fails: a period outside the usable range gives a series that is NaN throughout, and an
// empty input gives an empty result. Callers validate first.
//
// Sums are compensated and, to bound drift, recomputed from scratch on a fixed schedule:
// the least-squares and correlation kernels after every 1000 incremental slides (slides
// 1001, 2002, ...), the rolling sum and standard deviation on slides 1000, 2000, ...
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"

namespace vorn::utils::stats {

struct RegressionSeries {
    Series slope, intercept, r_squared;
    auto as_tuple() const { return std::tie(slope, intercept, r_squared); }
};

// Monotonic-deque extrema, O(n). A window holding a NaN gives NaN. 1 <= period <= len.
Series rolling_max(std::span<const double> values, std::uint64_t period);
Series rolling_min(std::span<const double> values, std::uint64_t period);

// Compensated rolling sum; NaN elements are skipped (a window of NaN only sums to 0.0).
Series rolling_sum_kahan(std::span<const double> values, std::uint64_t period);

// Sample standard deviation (divisor period - 1); a window holding a NaN gives NaN.
// 2 <= period <= len.
Series stdev(std::span<const double> values, std::uint64_t period);

// Pearson correlation over the first min(len x, len y) elements; a window holding a NaN in
// either series, or a degenerate window, gives 0.0. 2 <= period <= m.
Series correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period);

// Least-squares line over each window, abscissa 0 (oldest) .. period - 1. A window holding a
// NaN gives NaN. 2 <= period <= len (standard_error: 3 <= period).
Series linearreg_slope(std::span<const double> values, std::uint64_t period);
RegressionSeries linear_regression(std::span<const double> values, std::uint64_t period);
// The fitted line one bar past the window.
Series tsf(std::span<const double> values, std::uint64_t period);
// Standard deviation of the fit's residuals.
Series standard_error(std::span<const double> values, std::uint64_t period);

}  // namespace vorn::utils::stats
