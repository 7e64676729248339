#pragma once
// Nearest-neighbour signal systems: for every bar, the k past bars whose features lie
// nearest to the bar's own (ties to the earlier bar) vote on what comes next.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg {

struct AiSuperTrendSeries {
    Series supertrend, signal;
    auto as_tuple() const { return std::tie(supertrend, signal); }
};

struct AiMomentumSeries {
    Series prediction, smoothed_prediction;
    auto as_tuple() const { return std::tie(prediction, smoothed_prediction); }
};

// Features: the WMA of the close over price_trend and the WMA of the SuperTrend line over
// predict_trend. From bar n on, the k nearest of the bars j with max(i - n, k) <= j < i - k
// vote with the SuperTrend direction of bar j + 1; a mean vote beyond 0.5 in magnitude sets
// the signal, otherwise (and with fewer than k candidates) it keeps the SuperTrend direction.
// Checks: close (empty, non-finite), then high, low, close as a group, then st_length,
// price_trend, predict_trend, k, n (0 or above the length invalid), then n + k below the
// length, then the SuperTrend's own checks.
Result<AiSuperTrendSeries> ai_supertrend(std::span<const double> high, std::span<const double> low,
                                         std::span<const double> close, std::uint64_t k, std::uint64_t n,
                                         std::uint64_t price_trend, std::uint64_t predict_trend,
                                         std::uint64_t st_length, double st_multiplier);

// Features: the RSI and the relative price change. Bar i's prediction is the mean next-bar
// RSI change of the k nearest bars j with trend_length <= j < i - trend_length, defined from
// bar 2 trend_length + k on; the smoothed line is its simple mean over `smooth`. The
// candidates are searched in a tree that grows as bars become candidates, so a bar reads a
// few of them near its own point rather than every earlier bar.
// Checks: close (empty, non-finite), then k, trend_length, smooth (0 or above the length
// invalid), then trend_length + k below the length.
Result<AiMomentumSeries> ai_momentum_index(std::span<const double> close, std::uint64_t k,
                                           std::uint64_t trend_length, std::uint64_t smooth);

}  // namespace vorn::indicators::sfg
