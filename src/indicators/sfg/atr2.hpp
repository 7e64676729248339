#pragma once
// ATR2: the close's move over a momentum window measured in average true ranges.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg {

struct Atr2Signals {
    Series signals, stop_loss, take_profit;
    auto as_tuple() const { return std::tie(signals, stop_loss, take_profit); }
};

// A fall of more than `confirmation_threshold` ATRs over `momentum_window` bars on a volume
// strictly above its `trend_length` mean is a buy (+1.0), a rise as large a sell (-1.0);
// the buy is tested first. Stops 2 ATR and targets 3 ATR away. No bar before
// max(trend_length, momentum_window) signals.
// Checks: close (empty, non-finite), then high, low, close, volume as a group, then
// trend_length and momentum_window (0 or above n invalid), then the ATR's own checks.
Result<Atr2Signals> atr2_signals(std::span<const double> high, std::span<const double> low,
                                 std::span<const double> close, std::span<const double> volume,
                                 std::uint64_t trend_length, double confirmation_threshold,
                                 std::uint64_t momentum_window);

}  // namespace vorn::indicators::sfg
