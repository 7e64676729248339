#pragma once
// Wilder's RSI and MACD. Callers (stochastic RSI, QQE, signal systems, the frame) pass the
// errors through and rely on the warm-up: RSI from index period, every MACD line from index
// slow_period + signal_period - 2.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"

namespace vorn::indicators::momentum {

struct MacdSeries {
    Series macd, signal, histogram;
    auto as_tuple() const { return std::tie(macd, signal, histogram); }
};

// Checks: close empty, non-finite; period 0 invalid; period >= n needs period + 1 bars.
// A flat stretch that drives both averages below 1e-10 reads 0.0, not 50.
Result<Series> rsi(std::span<const double> close, std::uint64_t period);

// Checks: close empty, non-finite; any period 0 invalid; slow > n needs slow bars;
// fast > slow invalid (fast); slow + signal - 2 >= n needs slow + signal - 1 bars.
Result<MacdSeries> macd(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period,
                        std::uint64_t signal_period);

// EMA seeded at `seed_index` with the compensated sum of the non-NaN values of the `period`
// values ending there, divided by `period`; alpha = 2 / (period + 1) afterwards.
// Checks: values empty; seed_index >= len invalid (seed_index); seed_index + 1 < period
// (or period 0) needs period bars out of seed_index + 1.
Result<Series> ema_with_seed(std::span<const double> values, std::uint64_t period, std::uint64_t seed_index);

}  // namespace vorn::indicators::momentum
