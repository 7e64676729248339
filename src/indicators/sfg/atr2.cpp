#include "indicators/sfg/atr2.hpp"

#include <cmath>

#include "indicators/sfg/common.hpp"
#include "indicators/volatility/bands.hpp"
#include "utils/constants.hpp"
#include "utils/ma.hpp"

namespace vorn::indicators::sfg {

Result<Atr2Signals> atr2_signals(std::span<const double> high, std::span<const double> low,
                                 std::span<const double> close, std::span<const double> volume,
                                 std::uint64_t trend_length, double confirmation_threshold,
                                 std::uint64_t momentum_window) {
    if (auto s = check_opening(close, {{high, "high"}, {low, "low"}, {close, "close"}, {volume, "volume"}},
                               {trend_length, momentum_window});
        !s)
        return fail(s.error());
    auto atr = volatility::atr(high, low, close, trend_length);
    if (!atr) return fail(atr.error());
    const std::size_t n = close.size(), tl = trend_length, mw = momentum_window;
    const Series vol_avg = utils::ma::sma_impl(volume, trend_length);
    const double thr = confirmation_threshold;

    Atr2Signals r{Series(n, 0.0), nan_series(n), nan_series(n)};
    // Bars before the momentum window have no momentum and never signal.
    for (std::size_t i = tl > mw ? tl : mw; i < n; ++i) {
        const double a = (*atr)[i];
        const double momentum = close[i] - close[i - mw];
        const double ratio = std::fabs(a) >= utils::kDivisionGuard ? momentum / a : 0.0;
        if (!(volume[i] > vol_avg[i])) continue;
        // With a negative threshold both tests can hold; the buy is tested first and wins.
        if (ratio < -thr) {
            r.signals[i] = 1.0;
            buy_exits(r.stop_loss, r.take_profit, i, close[i], a);
        } else if (ratio > thr) {
            r.signals[i] = -1.0;
            sell_exits(r.stop_loss, r.take_profit, i, close[i], a);
        }
    }
    return r;
}

}  // namespace vorn::indicators::sfg
