#pragma once
// The stochastic family: a price (or an RSI value) placed within the range of its trailing
// window's extremes. The frame and the signal systems call the stochastic and Williams %R
// kernels directly and rely on their checks and warm-up positions.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::momentum {

// With periods k, s, d: `k` is defined from index k + s - 2, `d` from k + s + d - 3.
struct StochasticSeries {
    Series k, d;
    auto as_tuple() const { return std::tie(k, d); }
};

struct KdjSeries {
    Series k, d, j;
    auto as_tuple() const { return std::tie(k, d, j); }
};

Result<StochasticSeries> stochastic(std::span<const double> high, std::span<const double> low,
                                    std::span<const double> close, std::uint64_t k_period, std::uint64_t smooth_k,
                                    std::uint64_t d_period);

// Defined from index period - 1; -100..0 while the close lies inside its window.
Result<Series> williams_r(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                          std::uint64_t period);

// The stochastic's K and D with J = 3K - 2D; J is NaN while D warms up.
Result<KdjSeries> kdj(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                      std::uint64_t k_period, std::uint64_t smooth_k, std::uint64_t d_period);

// The stochastic of the RSI line, as (%K, %D). %K starts at index
// rsi_period + stoch_period + k_period - 2, %D d_period - 1 bars later.
Result<StochasticSeries> stochastic_rsi(std::span<const double> close, std::uint64_t rsi_period,
                                        std::uint64_t stoch_period, std::uint64_t k_period, std::uint64_t d_period);

}  // namespace vorn::indicators::momentum
