#pragma once
// ATR-band trend follower. Signal systems and the frame rely on its validation (that of
// ATR), its warm-up (every series from index period) and the order of SuperTrendSeries.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::trend {

struct SuperTrendSeries {
    Series value, direction, upper, lower;
    auto as_tuple() const { return std::tie(value, direction, upper, lower); }
};

// value is the final lower band on an up bar (+1.0) and the final upper band on a down bar
// (-1.0). multiplier is not range-checked.
Result<SuperTrendSeries> supertrend(std::span<const double> high, std::span<const double> low,
                                    std::span<const double> close, std::uint64_t period, double multiplier);

}  // namespace vorn::indicators::trend
