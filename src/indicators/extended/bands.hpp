#pragma once
// Price against volatility envelopes: the squeeze (Bollinger bands inside the Keltner
// channel), aberration, the Waddah Attar explosion and the SSL channel. Each composes the
// volatility and moving-average kernels and adds one element-wise step.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::extended {

// Flags are 1.0 / 0.0 (NaN in warm-up); `off` is the complement of `on`.
struct SqueezeSeries {
    Series on, off, momentum;
    auto as_tuple() const { return std::tie(on, off, momentum); }
};

struct WaeSeries {
    Series trend, explosion;
    auto as_tuple() const { return std::tie(trend, explosion); }
};

// `first` is the mean of the lows while the close stands above the mean of the highs, else
// the mean of the highs; `second` is the other mean.
struct SslSeries {
    Series first, second;
    auto as_tuple() const { return std::tie(first, second); }
};

// Checks: high/low/close (shared check), bb_period, kc_period, kc_atr_period against the
// length, then the Bollinger kernel's checks, then the Keltner kernel's.
Result<SqueezeSeries> squeeze(std::span<const double> high, std::span<const double> low,
                              std::span<const double> close, std::uint64_t bb_period, double bb_std,
                              std::uint64_t kc_period, std::uint64_t kc_atr_period, double kc_mult);

// (close - SMA) / ATR; NaN where the ATR is below 1e-10 in magnitude.
Result<Series> aberration(std::span<const double> high, std::span<const double> low,
                          std::span<const double> close, std::uint64_t period, std::uint64_t atr_period);

// trend = |MACD - SMA(MACD)|, explosion = the width of Bollinger bands of sample deviation.
Result<WaeSeries> wae(std::span<const double> close, std::uint64_t fast, std::uint64_t slow, std::uint64_t signal,
                      std::uint64_t bb_period, double multiplier);

// Each bar decided on its own: no direction is carried between bars.
Result<SslSeries> ssl_channel(std::span<const double> high, std::span<const double> low,
                              std::span<const double> close, std::uint64_t period);

}  // namespace vorn::indicators::extended
