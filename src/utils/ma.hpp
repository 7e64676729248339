#pragma once
// Moving-average kernels in three tiers: validating (refuse empty, non-finite and bad
// periods), NaN-tolerant (NaN is a gap that restarts the window) and unvalidated (the
// caller has checked; 1 <= period <= len).
#include <cstdint>
#include <optional>
#include <span>

#include "errors/errors.hpp"

namespace vorn::utils::ma {

Result<Series> sma(std::span<const double> values, std::uint64_t period);
Result<Series> ema(std::span<const double> values, std::uint64_t period);
Result<Series> rma(std::span<const double> values, std::uint64_t period);
Result<Series> wma(std::span<const double> values, std::uint64_t period);
Result<Series> hma(std::span<const double> values, std::uint64_t period);
Result<Series> dema(std::span<const double> values, std::uint64_t period);

Result<Series> sma_allow_nan(std::span<const double> values, std::uint64_t period);
Result<Series> ema_allow_nan(std::span<const double> values, std::uint64_t period);
Result<Series> wma_allow_nan(std::span<const double> values, std::uint64_t period);

Series sma_impl(std::span<const double> values, std::uint64_t period);
Series ema_impl(std::span<const double> values, std::uint64_t period, double alpha);
Series wma_impl(std::span<const double> values, std::uint64_t period);

// The smoothing factor of the exponential average of period n.
inline double ema_alpha(std::uint64_t period) { return 2.0 / (1.0 + static_cast<double>(period)); }

// Averages that compute on top of the kernels above.
Result<Series> tema(std::span<const double> values, std::uint64_t period);
Result<Series> zlma(std::span<const double> values, std::uint64_t period);
Result<Series> t3(std::span<const double> values, std::uint64_t period, double vfactor);
Result<Series> kama(std::span<const double> values, std::uint64_t period, std::optional<std::uint64_t> fast_period,
                    std::optional<std::uint64_t> slow_period);
Result<Series> frama(std::span<const double> values, std::uint64_t period);

}  // namespace vorn::utils::ma
