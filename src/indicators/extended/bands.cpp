#include "indicators/extended/bands.hpp"

#include <cmath>

#include "indicators/extended/high_low.hpp"
#include "indicators/volatility/bands.hpp"
#include "utils/constants.hpp"
#include "utils/ma.hpp"
#include "utils/series.hpp"
#include "utils/stats.hpp"
#include "utils/window_lanes.hpp"

namespace vorn::indicators::extended {

namespace lanes = utils::lanes;

using errors::validation::validate_series_and_periods;

namespace {

using utils::NaN;
using utils::kDivisionGuard;

}  // namespace

Result<SqueezeSeries> squeeze(std::span<const double> high, std::span<const double> low,
                              std::span<const double> close, std::uint64_t bb_period, double bb_std,
                              std::uint64_t kc_period, std::uint64_t kc_atr_period, double kc_mult) {
    if (auto s = validate_series_and_periods({{high, "high"}, {low, "low"}, {close, "close"}}, {bb_period, kc_period, kc_atr_period});
        !s)
        return fail(s.error());
    const std::size_t n = close.size();
    auto bands = volatility::bollinger_bands(close, bb_period, bb_std);
    if (!bands) return fail(bands.error());
    Series().swap(bands->middle);  // not used: its buffer goes back at once
    auto channel = volatility::keltner_channel(high, low, close, kc_period, kc_atr_period, kc_mult);
    if (!channel) return fail(channel.error());
    Series().swap(channel->middle);

    SqueezeSeries r{Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    // The checks above are all that the validating average would repeat. Its compensated
    // sum steps inside the pass that takes the close's range, so their chains overlap. The
    // bands are undefined before bb_period - 1, so the flags are too.
    const std::size_t p = bb_period;
    utils::ma::SmaWindow mean(close, bb_period);
    for (std::size_t i = 0; i + 1 < p; ++i) (void)mean.step(i);
    high_low(n, p, [&](std::size_t i) { return close[i]; }, [&](std::size_t i, double hi, double lo) {
        const double m = mean.step(i);
        // The middle of the close's range minus its mean.
        r.momentum[i] = std::isnan(hi) || std::isnan(lo) || std::isnan(m) ? NaN : (hi + lo) * 0.5 - m;
        if (std::isnan(bands->upper[i]) || std::isnan(channel->upper[i])) return;
        const bool on = channel->upper[i] > bands->upper[i] && bands->lower[i] > channel->lower[i];
        r.on[i] = on ? 1.0 : 0.0;
        r.off[i] = on ? 0.0 : 1.0;
    });
    return r;
}

Result<Series> aberration(std::span<const double> high, std::span<const double> low,
                          std::span<const double> close, std::uint64_t period, std::uint64_t atr_period) {
    if (auto s = validate_series_and_periods({{high, "high"}, {low, "low"}, {close, "close"}}, {period, atr_period}); !s)
        return fail(s.error());
    const std::size_t n = close.size();
    auto atr = volatility::atr(high, low, close, atr_period);
    if (!atr) return fail(atr.error());
    Series out = utils::ma::sma_impl(close, period);
    for (std::size_t i = 0; i < n; ++i) {
        const double m = out[i], a = (*atr)[i];
        out[i] = std::isnan(m) || std::isnan(a) || std::fabs(a) < kDivisionGuard ? NaN : (close[i] - m) / a;
    }
    return out;
}

Result<WaeSeries> wae(std::span<const double> close, std::uint64_t fast, std::uint64_t slow, std::uint64_t signal,
                      std::uint64_t bb_period, double multiplier) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {fast, slow, signal, bb_period}); !s) return fail(s.error());
    const std::size_t n = close.size();
    // The checks above are all that the validating averages would repeat. The two averages,
    // their difference and its average step in one pass, their chains overlapping.
    WaeSeries r{Series(n, NaN), utils::stats::stdev(close, bb_period, utils::stats::NaNs::none)};
    utils::Scratch<double> macd(n);
    utils::ma::EmaStage fast_line(fast, utils::ma::ema_alpha(fast)), slow_line(slow, utils::ma::ema_alpha(slow));
    utils::ma::SmaWindow signal_line(std::span<const double>(macd.data(), n), signal);
    for (std::size_t i = 0; i < n; ++i) {
        const double f = fast_line(close[i]), s = slow_line(close[i]);
        const double m = std::isnan(f) || std::isnan(s) ? NaN : f - s;
        macd[i] = m;
        const double sig = signal_line.step(i);
        r.trend[i] = std::isnan(m) || std::isnan(sig) ? NaN : std::fabs(m - sig);
        r.explosion[i] = 2.0 * (r.explosion[i] * multiplier);
    }
    return r;
}

Result<SslSeries> ssl_channel(std::span<const double> high, std::span<const double> low,
                              std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{high, "high"}, {low, "low"}, {close, "close"}}, {period}); !s) return fail(s.error());
    SslSeries r{utils::ma::sma_impl(high, period), utils::ma::sma_impl(low, period)};
    for (std::size_t i = 0; i < close.size(); ++i) {
        const double up = r.first[i], down = r.second[i];
        if (std::isnan(up) || std::isnan(down)) {
            r.first[i] = r.second[i] = NaN;
        } else if (close[i] > up) {
            r.first[i] = down;
            r.second[i] = up;
        }
    }
    return r;
}

}  // namespace vorn::indicators::extended
