#pragma once
// Numeric constants every family shares.
#include <limits>

namespace vorn::utils {

// The value of a bar that has none: warm-up, gaps, refused divisions.
inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A divisor (a range, a sum, a base price, a spread) below this in magnitude counts as zero.
// Prices, volumes and their sums sit many orders above it, so such a divisor is what is left
// when equal values cancel (a flat window's range, the rounding of a sliding sum), and the
// quotient would be that noise blown up: the indicator gives its neutral value instead.
inline constexpr double kDivisionGuard = 1e-10;

}  // namespace vorn::utils
