#pragma once
// Parabolic stop-and-reverse in two forms with rules of their own (start bar, starting
// position, which level the reversal test sees), distinct from the trend family's psar.
// Both output the level alone: nothing in the series tells a long stop from a short one.
#include <span>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::overlap {

// One step and one cap for both directions. Index 0 is NaN; the first position is long
// when bar 1's high + low exceeds bar 0's. The reversal test sees the clamped level.
// Checks: high, low (shared check), at least 2 bars, acceleration > 0, maximum > 0,
// acceleration <= maximum. A NaN parameter passes them all.
Result<Series> sar(std::span<const double> high, std::span<const double> low, double acceleration, double maximum);

struct SarExtParams {
    double start_value;        // seeds bar 0 unless |start_value| < 1e-10 (then low[0])
    double offset_on_reverse;  // added to (long to short) or taken from (short to long) the extreme
    double af_init_long, af_long, af_max_long;
    double af_init_short, af_short, af_max_short;
};

// Starts long at bar 0 whatever start_value's sign; the reversal test sees the unclamped
// level. Checks: high, low (shared check), at least 2 bars, then per side (long, short)
// init > 0, step > 0, init <= max.
Result<Series> sarext(std::span<const double> high, std::span<const double> low, const SarExtParams& params);

}  // namespace vorn::indicators::overlap
