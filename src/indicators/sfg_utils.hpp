#pragma once
// Market-structure helpers of the signal systems: swing points, supply/demand zones, the
// volume filter, fair-value gaps and breaker blocks. Swing and zone detection confirm with
// bars after the one they mark, so what they report at a bar depends on later bars.
#include <cstdint>
#include <span>
#include <tuple>
#include <vector>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg_utils {

using Flags = std::vector<bool>;

struct SwingPoints {
    Flags swing_high, swing_low;
    auto as_tuple() const { return std::tie(swing_high, swing_low); }
};

// A swing high is strictly above every value within `lookback` bars on both sides, a swing
// low strictly below: an equal neighbour disqualifies (a plateau marks nothing), a NaN
// neighbour does not. Only bars lookback .. n - lookback - 1 can be marked. Callers ensure
// 1 <= lookback and 2 * lookback <= n; outside that nothing is marked. Never fails.
SwingPoints find_swing_points(std::span<const double> values, std::uint64_t lookback);

struct SupplyDemandZone {
    double price;           // centre
    double upper, lower;    // price +/- tolerance * price
    std::uint64_t touches;  // bars whose low (demand) or high (supply) lay within tolerance
    double strength;        // min(touches / 5, 1), averaged over merges, then * 1.2 or * 0.8
    bool is_demand;         // taken from a swing low
    bool volume_confirmed;  // the touching bars' mean volume exceeds the series' mean volume
};

// Zones around the swing points of the close (lookback 5) that at least two bars touch,
// merged in ascending price order when within tolerance of each other (a merged zone keeps
// the side of its lowest member). Checks: close non-finite (before any emptiness test),
// the four series' lengths, tolerance < 0, n < linreg_period, n < 10.
Result<std::vector<SupplyDemandZone>> detect_supply_demand_zones(std::span<const double> high,
                                                                 std::span<const double> low,
                                                                 std::span<const double> close,
                                                                 std::span<const double> volume,
                                                                 std::uint64_t linreg_period, double tolerance);

struct VolumeFilter {
    Flags above_average;
    Series relative_volume;
    Flags volume_spike;
    auto as_tuple() const { return std::tie(above_average, relative_volume, volume_spike); }
};

// Each bar's volume against the plain mean of the `period` bars before it (the bar itself
// excluded): above it, their ratio, above twice it. Bars before `period` and bars whose mean
// is not positive keep false / 1.0 / false.
Result<VolumeFilter> volume_filter(std::span<const double> volume, std::uint64_t period);

struct FairValueGap {
    std::uint64_t index;  // the middle bar of the three
    double upper, lower;
    bool is_bullish;
    bool filled;
};

struct FvgSeries {
    Series bullish_fvg, bearish_fvg, fvg_upper, fvg_lower;
    auto as_tuple() const { return std::tie(bullish_fvg, bearish_fvg, fvg_upper, fvg_lower); }
};

// Three-bar gaps (the first bar's high below the third bar's low, or the mirror) that no bar
// after the third one trades into. All four series are NaN except at an unfilled gap's
// middle bar.
Result<FvgSeries> fvg_signals(std::span<const double> high, std::span<const double> low);

struct OrderBlock {
    std::uint64_t index;  // the block's candle
    double upper, lower;  // its high and low
    bool is_bullish;
};

struct BreakerBlock {
    std::uint64_t index;  // the bar whose close broke the order block
    double upper, lower;
    bool is_bullish;
    bool mitigated;
};

struct BreakerSeries {
    Series buy_signals, sell_signals, breaker_upper, breaker_lower;
    auto as_tuple() const { return std::tie(buy_signals, sell_signals, breaker_upper, breaker_lower); }
};

// Order blocks (a candle after `lookback` non-rising or non-falling closes, followed by a
// one-bar move beyond 1%) that a later close breaks become breakers of the opposite side;
// a breaker that no later close crosses back through its far edge marks its levels and
// signals its first retest.
Result<BreakerSeries> breaker_block_signals(std::span<const double> open, std::span<const double> high,
                                            std::span<const double> low, std::span<const double> close,
                                            std::uint64_t lookback);

}  // namespace vorn::indicators::sfg_utils
