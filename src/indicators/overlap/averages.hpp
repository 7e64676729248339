#pragma once
// MAMA with its fixed smoothing factor, the triangular average, and the middles of rolling
// extremes (midpoint of one series, midprice of highs and lows).
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::overlap {

struct MamaSeries {
    Series mama, fama;
    auto as_tuple() const { return std::tie(mama, fama); }
};

// alpha = fast_limit / 6 clamped into [slow_limit, fast_limit], the same on every bar; both
// lines start at values[0] and no bar is NaN. Checks: values (empty, non-finite), at least
// 6 values, then fast_limit >= slow_limit (a NaN limit fails it: the clamp has no range).
Result<MamaSeries> mama(std::span<const double> values, double fast_limit, double slow_limit);

// The simple average of period / 2 + 1 bars over the simple average of the remaining
// period - period / 2; defined from index period - 1. Checks: values, then the period
// (0 or above the length).
Result<Series> trima(std::span<const double> values, std::uint64_t period);

// (highest + lowest) / 2 of the window ending at each bar, from index period - 1.
Result<Series> midpoint(std::span<const double> values, std::uint64_t period);
// The same over the highest high and the lowest low. Checks: high, low (shared check), period.
Result<Series> midprice(std::span<const double> high, std::span<const double> low, std::uint64_t period);

}  // namespace vorn::indicators::overlap
