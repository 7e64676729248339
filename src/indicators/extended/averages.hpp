#pragma once
// The extended moving averages: four fixed-weight window averages (Gaussian, binomial,
// sine and triangular weights), the volume-weighted average, VIDYA and the alligator.
//
// ALMA and VWMA recompute every window with plain (uncompensated) sums in bar order,
// O(n * period): their values are those of that order of operations. So do the sine-,
// binomial- and triangle-weighted averages up to period 64; above it their sums slide (sine,
// triangle) or drop the binomial tails and go by transform, O(n) or O(n log p), each within
// a stated bound of the plain sum (averages.cpp).
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::extended {

struct AlligatorSeries {
    Series jaw, teeth, lips;
    auto as_tuple() const { return std::tie(jaw, teeth, lips); }
};

// Checks of the one-series averages: `values` (or `close` for VIDYA) empty, non-finite,
// then the period (0 or above the length). offset and sigma are used as given.
Result<Series> alma(std::span<const double> values, std::uint64_t period, double offset, double sigma);
// Binomial weights; see averages.cpp for how long periods stay finite.
Result<Series> pwma(std::span<const double> values, std::uint64_t period);
Result<Series> sinwma(std::span<const double> values, std::uint64_t period);
// First written at index period (not period - 1).
Result<Series> swma(std::span<const double> values, std::uint64_t period);
// NaN on windows whose volume sum is not positive.
Result<Series> vwma(std::span<const double> close, std::span<const double> volume, std::uint64_t period);
// Seeded with the close at period - 1; a bar left NaN (zero close, no deviation) ends the line.
Result<Series> vidya(std::span<const double> close, std::uint64_t period);
// Wilder-smoothed median prices shifted forward by 8, 5 and 3 bars whatever the periods.
// Checks: high, low (shared check), then each period; the smoothing kernel checks the median
// again as `values`, so a high + low that overflows is refused at its bar.
Result<AlligatorSeries> alligator(std::span<const double> high, std::span<const double> low,
                                  std::uint64_t jaw_period, std::uint64_t teeth_period, std::uint64_t lips_period);

}  // namespace vorn::indicators::extended
