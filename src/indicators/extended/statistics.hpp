#pragma once
// Extended statistical measures of one price series (the balance of power takes a whole
// bar). Checks of the one-series measures: the series (`values` for slope and percent rank,
// `close` for the others) empty, non-finite, then a period of 0 or above the length;
// entropy and the efficiency ratio add their own refusals.
//
// Slope, percent rank and entropy recompute every window in full (O(n * period)); the
// others run in O(n) over the compensated sliding kernels.
#include <cstdint>
#include <span>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::extended {

// Least-squares slope from plain window sums; all NaN for period 1.
Result<Series> slope(std::span<const double> values, std::uint64_t period);
// Percent distance from the simple average; NaN where the average is below 1e-10.
Result<Series> bias(std::span<const double> close, std::uint64_t period);
// Percent of rising bars among the period changes ending at each bar, from index period.
Result<Series> psl(std::span<const double> close, std::uint64_t period);
// Net change over path length, from index period; 0.0 over a flat path. period == length
// needs period + 1 bars.
Result<Series> er(std::span<const double> close, std::uint64_t period);
// Percent distance of the close from the one-bar-ahead forecast; NaN where |close| < 1e-10.
Result<Series> cfo(std::span<const double> close, std::uint64_t period);
// Correlation of the close with a straight line; period 1 gives NaN then 0.0.
Result<Series> cti(std::span<const double> close, std::uint64_t period);
// (close - open) / (high - low), 0.0 where the signed range is not above 1e-10.
Result<Series> bop(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                   std::span<const double> close);
// Percent of the window's bars strictly below the current one; NaN throughout for period 1.
Result<Series> percent_rank(std::span<const double> values, std::uint64_t period);
// Shannon entropy (bits) of the window's returns over `bins` equal bins, from index period.
// period 0 or bins 0: invalid period (carrying period); period above the length:
// insufficient data. Memory does not grow with `bins`.
Result<Series> entropy(std::span<const double> close, std::uint64_t period, std::uint64_t bins);

}  // namespace vorn::indicators::extended
