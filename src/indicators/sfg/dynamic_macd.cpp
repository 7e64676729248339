#include "indicators/sfg/dynamic_macd.hpp"

#include "indicators/momentum/rsi_macd.hpp"
#include "indicators/sfg/common.hpp"

namespace vorn::indicators::sfg {

Result<DynamicMacdSeries> dynamic_macd(std::span<const double> open, std::span<const double> high,
                                       std::span<const double> low, std::span<const double> close,
                                       std::uint64_t fast_length, std::uint64_t slow_length,
                                       std::uint64_t signal_smooth) {
    if (auto s = check_opening(close, {{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}},
                               {fast_length, slow_length, signal_smooth});
        !s)
        return fail(s.error());
    const std::size_t n = close.size();
    Series ha_open(n), ha_close(n), src(n);
    for (std::size_t i = 0; i < n; ++i) {
        ha_close[i] = (open[i] + high[i] + low[i] + close[i]) * 0.25;
        ha_open[i] = i == 0 ? (open[0] + close[0]) * 0.5 : (ha_open[i - 1] + ha_close[i - 1]) * 0.5;
        src[i] = (high[i] + low[i] + close[i] + close[i]) * 0.25;
    }
    auto m = momentum::macd(src, fast_length, slow_length, signal_smooth);
    if (!m) return fail(m.error());
    return DynamicMacdSeries{std::move(m->macd), std::move(m->signal), std::move(m->histogram), std::move(ha_open),
                             std::move(ha_close)};
}

}  // namespace vorn::indicators::sfg
