#pragma once
// Extended oscillators: QQE, KST, the Schaff trend cycle, the stochastic momentum index,
// TDFI and Coppock, with the two kernels they share (rate of change, raw stochastic).
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::extended {

struct QqeSeries {
    Series smoothed, trailing, direction;
    auto as_tuple() const { return std::tie(smoothed, trailing, direction); }
};

struct KstSeries {
    Series kst, signal;
    auto as_tuple() const { return std::tie(kst, signal); }
};

// Percent change over `period` bars from index period; NaN where the base is below 1e-10 in
// magnitude (or NaN). Never fails.
Series roc_helper(std::span<const double> values, std::uint64_t period);

// (x - lo) / (hi - lo) * 100 over the window, NaN elements skipped, 50.0 where the range is
// not above 1e-10. Written from index period (not period - 1); all NaN when period is 0 or
// not below the length. Never fails.
Series stochastic_raw(std::span<const double> values, std::uint64_t period);

// Checks: close; rsi_period, smooth against the length; then the RSI kernel's refusal of
// rsi_period == length. multiplier is used as given (NaN included).
Result<QqeSeries> qqe(std::span<const double> close, std::uint64_t rsi_period, std::uint64_t smooth,
                      double multiplier);
// Checks: close; the largest ROC period; signal_period; then at least 10 and 15 bars.
Result<KstSeries> kst(std::span<const double> close, std::uint64_t roc1, std::uint64_t roc2, std::uint64_t roc3,
                      std::uint64_t roc4, std::uint64_t signal_period);
Result<Series> stc(std::span<const double> close, std::uint64_t fast, std::uint64_t slow, std::uint64_t cycle);
Result<Series> smi(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period, std::uint64_t smooth1, std::uint64_t smooth2);
Result<Series> tdfi(std::span<const double> close, std::uint64_t period, std::uint64_t smooth);
// Checks: close; the larger ROC period; wma_period. The weighted average recomputes every
// window in full (O(n * wma_period)).
Result<Series> coppock(std::span<const double> close, std::uint64_t period1, std::uint64_t period2,
                       std::uint64_t wma_period);

}  // namespace vorn::indicators::extended
