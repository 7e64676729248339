#pragma once
// Trend measures: Aroon, TRIX, detrended price oscillator, vortex, choppiness, Qstick and
// the vertical horizontal filter. Each validates its inputs in order, then computes over
// the shared moving-average and rolling-window kernels.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::trend {

struct AroonSeries {
    Series up, down, oscillator;
    auto as_tuple() const { return std::tie(up, down, oscillator); }
};

struct VortexSeries {
    Series plus, minus;
    auto as_tuple() const { return std::tie(plus, minus); }
};

// Bars since the highest high / lowest low of the p + 1 bars ending at each index, scaled
// to 0..100; of equal extremes the most recent counts. Needs 2 <= period < n.
Result<AroonSeries> aroon(std::span<const double> high, std::span<const double> low, std::uint64_t period);

// One-bar percentage change of a triple exponential average; defined from 3p - 2.
Result<Series> trix(std::span<const double> close, std::uint64_t period);

// Close minus the simple mean that ended period / 2 + 1 bars earlier.
Result<Series> dpo(std::span<const double> close, std::uint64_t period);

// Directional movement sums over true-range sums, from index `period`.
Result<VortexSeries> vortex(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                            std::uint64_t period);

// 100 * log10(sum TR / (HH - LL)) / log10(period), from index `period`.
Result<Series> choppiness(std::span<const double> high, std::span<const double> low,
                          std::span<const double> close, std::uint64_t period);

// EMA of close - open.
Result<Series> qstick(std::span<const double> open, std::span<const double> close, std::uint64_t period);

// Close range over the sum of absolute close changes, from index `period`.
Result<Series> vhf(std::span<const double> close, std::uint64_t period);

}  // namespace vorn::indicators::trend
