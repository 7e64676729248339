#pragma once
// Heikin-Ashi candles with a MACD of the weighted price (high + low + 2 close) / 4.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg {

struct DynamicMacdSeries {
    Series macd, signal, histogram, ha_open, ha_close;
    auto as_tuple() const { return std::tie(macd, signal, histogram, ha_open, ha_close); }
};

// The Heikin-Ashi open and close are defined from the first bar; the MACD lines from index
// slow_length + signal_smooth - 2.
// Checks: close (empty, non-finite), then open, high, low, close as a group, then
// fast_length, slow_length, signal_smooth (0 or above n invalid), then the MACD's own
// checks (fast above slow, too few bars for slow + signal - 1).
Result<DynamicMacdSeries> dynamic_macd(std::span<const double> open, std::span<const double> high,
                                       std::span<const double> low, std::span<const double> close,
                                       std::uint64_t fast_length, std::uint64_t slow_length,
                                       std::uint64_t signal_smooth);

}  // namespace vorn::indicators::sfg
