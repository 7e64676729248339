#pragma once
// Volume indicators: accumulation lines (OBV, A/D and its oscillator, PVT, NVI, PVI, CMF),
// money flow and volume-weighted price (MFI, VWAP, ease of movement) and the volume
// oscillator and volume-by-price profile. The OHLCV frame calls obv, mfi and vwap directly:
// each validates its own inputs and returns a series as long as them.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::volume {

// Bins of the volume profile, ascending prices when the highest high lies above the lowest
// low, and the centre of the bin holding the most volume (the lowest such bin on ties).
struct VolumeProfile {
    Series centres, volumes;
    double point_of_control;
    auto as_tuple() const { return std::tie(centres, volumes, point_of_control); }
};

// ((high + low) + close) / 3, the price that MFI, VWAP and the profile weigh volume by.
inline double typical_price(double high, double low, double close) noexcept { return ((high + low) + close) / 3.0; }

// Running volume signed by the close's direction; obv[0] = volume[0]. Checks close, volume.
Result<Series> obv(std::span<const double> close, std::span<const double> volume);

// Running sum of ((close - low) - (high - close)) / (high - low) * volume over bars whose
// range is strictly positive; other bars repeat the previous total. Checks high, low,
// close, volume.
Result<Series> accumulation_distribution(std::span<const double> high, std::span<const double> low,
                                         std::span<const double> close, std::span<const double> volume);

// Exponential average (alpha 2 / (period + 1)) seeded with values[0] and defined at every
// index; a NaN passes through and the next number restarts the average. Checks only that
// values is not empty and 1 <= period <= n.
Result<Series> ema_seed(std::span<const double> values, std::uint64_t period);

// ema_seed of the A/D line over fast_period minus the same over slow_period; the periods are
// not compared with each other. out[0] is 0.0.
Result<Series> adosc(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                     std::span<const double> volume, std::uint64_t fast_period, std::uint64_t slow_period);

// Price-volume trend from 0.0, and the negative / positive volume indices from 1000.0, which
// move only on bars of falling / rising volume. A previous close below 1e-10 in magnitude
// leaves each line unchanged; fewer than 2 bars is insufficient data.
Result<Series> pvt(std::span<const double> close, std::span<const double> volume);
Result<Series> nvi(std::span<const double> close, std::span<const double> volume);
Result<Series> pvi(std::span<const double> close, std::span<const double> volume);

// Rolling sum of money-flow volume over rolling sum of volume (0.0 when the volume sum is
// below 1e-10); a bar whose |range| is below 1e-10 has a multiplier of 0.0. From period - 1.
Result<Series> cmf(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::span<const double> volume, std::uint64_t period);

// Money flow index over the typical price: 100 - 100 / (P / N + 1), 100.0 when the window's
// negative flow is below 1e-10. From period - 1 (the first window includes bar 0's zero flow).
Result<Series> mfi(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::span<const double> volume, std::uint64_t period);

// Volume-weighted typical price: cumulative from bar 0 when period is 0, otherwise over a
// rolling window of `period` bars (from period - 1). NaN where the volume sum is below 1e-10.
// A non-finite typical price (an overflowed sum) is an invalid value of "typical_prices".
Result<Series> vwap(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                    std::span<const double> volume, std::uint64_t period);

// Simple mean over `period` bars of the midpoint move divided by the box ratio
// volume / (range * 1e8); bars with a non-positive range or volume are gaps (NaN).
Result<Series> eom(std::span<const double> high, std::span<const double> low, std::span<const double> volume,
                   std::uint64_t period);

// Percentage distance of the short simple mean of volume from the long one; the two periods
// are ordered first, so their order does not matter. From index long - 1.
Result<Series> volume_oscillator(std::span<const double> volume, std::uint64_t short_period,
                                 std::uint64_t long_period);

// Volume summed into num_bins equal price bins by typical price, over the span from the
// lowest low to the highest high (one bin at the lowest low when that span is below 1e-10).
// num_bins 0 is out of range (valid range 1..inf), and so is one above max_profile_bins
// (valid range 1..max_profile_bins) unless the span is flat and the profile one bin anyway.
inline constexpr std::uint64_t max_profile_bins = std::uint64_t{1} << 24;
Result<VolumeProfile> volume_profile(std::span<const double> high, std::span<const double> low,
                                     std::span<const double> close, std::span<const double> volume,
                                     std::uint64_t num_bins);

}  // namespace vorn::indicators::volume
