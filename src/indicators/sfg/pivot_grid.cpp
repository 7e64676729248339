#include <cmath>

#include "indicators/sfg/common.hpp"
#include "indicators/sfg/pivot_grid.hpp"
#include "indicators/volatility/bands.hpp"
#include "utils/constants.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::sfg {

namespace {
using utils::NaN;
using namespace errors::validation;
using sfg_signals::TradeSignals;

}  // namespace

Result<PivotSignals> pivot_buy_sell(std::span<const double> high, std::span<const double> low,
                                    std::span<const double> close, std::uint64_t lookback) {
    if (auto s = check_opening(close, {{high, "high"}, {low, "low"}, {close, "close"}}, {lookback}); !s)
        return fail(s.error());
    const std::size_t n = close.size();
    PivotSignals out{Series(n, NaN), Series(n, NaN), Series(n, NaN), Series(n, NaN),
                     Series(n, NaN), Series(n, 0.0), Series(n, 0.0)};
    // Window extremes ending at i - 1: the levels of bar i come from the bars before it.
    const Series hh = utils::stats::rolling_max(high, lookback);
    const Series ll = utils::stats::rolling_min(low, lookback);
    // A crossing compares each close with its own bar's level. Against the current bar's
    // level alone, the previous close would have to lie below every low of the window (S1 =
    // 2P - HH with that close inside P), which a close within its bar's range never does.
    double prev_s1 = NaN, prev_r1 = NaN;  // NaN at bar lookback: no crossing can start there
    for (std::size_t i = static_cast<std::size_t>(lookback); i < n; ++i) {
        const double h = hh[i - 1], l = ll[i - 1], pc = close[i - 1], c = close[i];
        const double p = (h + l + pc) / 3.0;
        const double r1 = 2.0 * p - l, s1 = 2.0 * p - h;
        out.pivot[i] = p;
        out.r1[i] = r1;
        out.r2[i] = p + (h - l);
        out.s1[i] = s1;
        out.s2[i] = p - (h - l);
        if (pc < prev_s1 && c > s1) out.buy_signals[i] = 1.0;
        if (pc > prev_r1 && c < r1) out.sell_signals[i] = 1.0;
        prev_s1 = s1;
        prev_r1 = r1;
    }
    return out;
}

Result<TradeSignals> general_parameters_signals(std::span<const double> high, std::span<const double> low,
                                                std::span<const double> close, std::uint64_t ema_fast,
                                                std::uint64_t ema_slow, std::uint64_t atr_period,
                                                double grid_multiplier) {
    if (auto s = check_opening(close, {{high, "high"}, {low, "low"}, {close, "close"}}, {ema_fast, ema_slow, atr_period});
        !s)
        return fail(s.error());
    const std::size_t n = close.size();
    // The close and both periods are checked above: the unchecked averages give the same values.
    const Series fast = utils::ma::ema_impl(close, ema_fast, utils::ma::ema_alpha(ema_fast));
    const Series slow = utils::ma::ema_impl(close, ema_slow, utils::ma::ema_alpha(ema_slow));
    auto atr = volatility::atr(high, low, close, atr_period);
    if (!atr) return fail(atr.error());

    TradeSignals out = TradeSignals::make(n);
    // The channel and its grid start where both the slow EMA and the ATR have had their full
    // periods; no bar before it can signal.
    const std::size_t start = static_cast<std::size_t>(ema_slow > atr_period ? ema_slow : atr_period);
    for (std::size_t i = start > 1 ? start : 1; i < n; ++i) {
        const double a = std::isnan((*atr)[i]) ? 0.0 : (*atr)[i];
        const double c = close[i], mid = slow[i], f = fast[i];
        const double g = a * grid_multiplier;
        // Only an up trend (fast above slow) can buy and only a down trend can sell; a level
        // that is NaN fails every comparison.
        if (f > mid) {
            if (mid - 1.5 * g <= c && c <= mid - 0.5 * g) {
                out.buy_signals[i] = 1.0;
                out.stop_loss[i] = (mid - g) - a;
                out.take_profit[i] = mid + g;
            }
        } else if (mid > f) {
            if (mid + 0.5 * g <= c && c <= mid + 1.5 * g) {
                out.sell_signals[i] = 1.0;
                out.stop_loss[i] = (mid + g) + a;
                out.take_profit[i] = mid - g;
            }
        }
    }
    return out;
}

}  // namespace vorn::indicators::sfg
