#pragma once
// What every streaming state shares: the refusals of its constructor and update, kept
// out of line so that the accepted path of a tick stays short.
#include <cstdint>
#include <optional>

#include "errors/errors.hpp"
#include "utils/kahan.hpp"

namespace vorn::utils::streaming {

// A streaming state has no data length: a zero period reports length 0.
[[gnu::cold]] VornError zero_period();
[[gnu::cold]] VornError value_not_finite();  // "value must be finite"
[[gnu::cold]] VornError ohlc_not_finite();   // "ohlc values must be finite"

// Running window sums drift as values come and go; they are rebuilt from the window
// after this many removals.
inline constexpr std::uint64_t kRecomputeEvery = 1000;

inline bool all_finite(double a, double b, double c) noexcept {
    return !is_non_finite(a) && !is_non_finite(b) && !is_non_finite(c);
}

}  // namespace vorn::utils::streaming
