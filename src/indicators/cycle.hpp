#pragma once
// Cycle measures over one fixed filter chain: a stride-2 price smoother, a quadrature
// filter, and a 4-3-2-1 weighted smoothing of the in-phase and quadrature components.
// Outputs are defined from bar 32 (the trend mode from bar 63); earlier bars are NaN.
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::cycle {

struct SineSeries {
    Series sine, lead_sine;
    auto as_tuple() const { return std::tie(sine, lead_sine); }
};

struct PhasorSeries {
    Series inphase, quadrature;
    auto as_tuple() const { return std::tie(inphase, quadrature); }
};

// Phase of the smoothed components in degrees, in [0, 90) or (270, 360).
Result<Series> ht_dcphase(std::span<const double> values);
// Smoothed dominant-cycle period in bars, bounded to [6, 50] (0 until a first measure).
Result<Series> ht_dcperiod(std::span<const double> values);
// Sine of the phase and of the phase advanced by 45 degrees.
Result<SineSeries> ht_sine(std::span<const double> values);
// The smoothed in-phase and quadrature components themselves.
Result<PhasorSeries> ht_phasor(std::span<const double> values);
// 1.0 while the period has kept growing or stayed long for four counted bars, else 0.0.
Result<Series> ht_trendmode(std::span<const double> values);

}  // namespace vorn::indicators::cycle
