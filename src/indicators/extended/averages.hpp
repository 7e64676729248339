#pragma once
// The extended moving averages: four fixed-weight window averages (Gaussian, binomial,
// sine and triangular weights), the volume-weighted average, VIDYA and the alligator.
//
// The fixed-weight averages and VWMA recompute every window with plain (uncompensated)
// sums in bar order, O(n * period): their values are those of that order of operations.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"

namespace vorn::indicators::extended {

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

}  // namespace vorn::indicators::extended
