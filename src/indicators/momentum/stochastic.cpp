#include "indicators/momentum/stochastic.hpp"

#include <cmath>

#include "indicators/momentum/rsi_macd.hpp"
#include "utils/bounds.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::momentum {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
using errors::validation::validate_hlc;
using errors::validation::validate_period;
namespace bounds = utils::bounds;

// Position of x within [lo, hi] scaled to 0..100; a flat window sits in the middle.
double position(double x, double h, double l) noexcept {
    if (std::isnan(h) || std::isnan(l)) return NaN;
    const double range = h - l;
    return std::fabs(range) < kDivisionGuard ? 50.0 : (x - l) / range * 100.0;
}

Series position_in_range(std::span<const double> x, const Series& hi, const Series& lo) {
    Series out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) out[i] = position(x[i], hi[i], lo[i]);
    return out;
}

// %K and %D side by side, %D trailing %K by a few bars so that the two compensated chains
// overlap; k and d are the two averages (d reads out.k, so %D averages the unconfined %K).
// Then both lines are confined to 0..100: on every bar where `raw` is null (every raw value
// lies in 0..100), else where every raw value of the line's window (the last k_span, d_span
// of them) did, looked for only when a line left it.
[[gnu::always_inline]] inline void confined_smoothing(std::size_t n, StochasticSeries& out, utils::ma::SmaWindow& k,
                                                      utils::ma::SmaWindow& d,
                                                      std::size_t d_period, const Series* raw, std::uint64_t k_span,
                                                      std::uint64_t d_span) {
    constexpr std::size_t lag = 8, block = 2048;
    // In blocks: what each finished (a %D once written, a %K once %D's window has left it) is
    // confined, or looked over, while it is still in the cache.
    bool strayed = false;
    std::size_t done = 0;  // both lines are final below it
    for (std::size_t b = 0; b < n + lag; b += block) {
        const std::size_t e = b + block < n + lag ? b + block : n + lag;
        // A split loop (utils::ma::SmaWindow::slide): ordinary slides on local copies of both
        // sums, so that they stay in registers beside the windows' paths beyond the range; a
        // bar that needs more stops it and is finished out of line.
        for (std::size_t t = b; t < e; ++t) {
            auto kl = k.local();
            auto dl = d.local();
            utils::sliding::Event ev = utils::sliding::Event::none;
            bool k_stopped = false, d_stopped = false;
            for (; t < e; ++t) {
                double v;
                if (t < n) {
                    if (!k.slide(kl, t, v, ev)) [[unlikely]] {
                        k_stopped = true;
                        break;
                    }
                    out.k[t] = v;
                }
                if (t >= lag) {
                    if (!d.slide(dl, t - lag, v, ev)) [[unlikely]] {
                        d_stopped = true;
                        break;
                    }
                    out.d[t - lag] = v;
                }
            }
            k.keep(kl);
            d.keep(dl);
            if (k_stopped) {
                out.k[t] = k.finish(t, ev);
                if (t >= lag) out.d[t - lag] = d.finish(t - lag, utils::sliding::Event::none);
            } else if (d_stopped) {
                out.d[t - lag] = d.finish(t - lag, ev);
            }
        }
        const std::size_t d_final = e > lag ? e - lag : 0;
        const std::size_t settled = e == n + lag ? n : (d_final > d_period ? d_final - d_period : 0);
        if (settled <= done) continue;
        if (raw == nullptr) {
            bounds::confine_span(out.k.data(), done, settled, bounds::kPercent);
            bounds::confine_span(out.d.data(), done, settled, bounds::kPercent);
        } else {
            strayed |= bounds::strays(out.k.data(), done, settled, bounds::kPercent) |
                       bounds::strays(out.d.data(), done, settled, bounds::kPercent);
        }
        done = settled;
    }
    if (!strayed) [[likely]]
        return;
    const auto inside = [raw](std::size_t j) { return bounds::within((*raw)[j], bounds::kPercent); };
    bounds::confine_where_held(out.k.data(), n, k_span, bounds::kPercent, inside);
    bounds::confine_where_held(out.d.data(), n, d_span, bounds::kPercent, inside);
}

}  // namespace

Result<StochasticSeries> stochastic(std::span<const double> high, std::span<const double> low,
                                    std::span<const double> close, std::uint64_t k_period, std::uint64_t smooth_k,
                                    std::uint64_t d_period) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = validate_period(k_period, n); !s) return fail(s.error());
    if (auto s = validate_period(smooth_k, n); !s) return fail(s.error());
    if (auto s = validate_period(d_period, n); !s) return fail(s.error());

    const auto [hh, ll] = utils::stats::rolling_high_low(high, low, k_period);
    const Series raw = position_in_range(close, hh, ll);
    // Nothing below can fail: both averages side by side, %D trailing %K by a few bars (as in
    // stochastic_rsi), so that their compensated chains overlap. A raw %K lies in 0..100 when
    // its close lies within the window's extremes, and so does a mean of such values: %K is
    // confined where the raw values of its window were, %D where those of its %K values were.
    StochasticSeries out{Series(n), Series(n)};
    utils::ma::SmaWindow k(raw, smooth_k), d(out.k, d_period);
    confined_smoothing(
        n, out, k, d,
        d_period, &raw, smooth_k, smooth_k + d_period - 1);
    return out;
}

Result<Series> williams_r(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                          std::uint64_t period) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());

    const auto [hh, ll] = utils::stats::rolling_high_low(high, low, period);
    Series out(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        const double h = hh[i], l = ll[i];
        if (std::isnan(h) || std::isnan(l)) continue;
        const double range = h - l;
        // A close at the window high reads -0.0: the quotient is scaled after dividing.
        out[i] = std::fabs(range) < kDivisionGuard ? -50.0 : (h - close[i]) / range * -100.0;
    }
    return out;
}

Result<KdjSeries> kdj(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                      std::uint64_t k_period, std::uint64_t smooth_k, std::uint64_t d_period) {
    auto st = stochastic(high, low, close, k_period, smooth_k, d_period);
    if (!st) return fail(st.error());
    const std::size_t n = st->k.size() < st->d.size() ? st->k.size() : st->d.size();
    // From the K and D it is shown beside (confined to 0..100), so that J = 3K - 2D holds there.
    Series j(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        const double k = st->k[i], d = st->d[i];
        if (!std::isnan(k) && !std::isnan(d)) j[i] = k * 3.0 - (d + d);
    }
    return KdjSeries{std::move(st->k), std::move(st->d), std::move(j)};
}

Result<StochasticSeries> stochastic_rsi(std::span<const double> close, std::uint64_t rsi_period,
                                        std::uint64_t stoch_period, std::uint64_t k_period, std::uint64_t d_period) {
    if (auto s = errors::validation::validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    // Zero periods are refused before the RSI runs; the other length tests come from the
    // RSI itself and from the smoothing steps, in that order.
    if (rsi_period == 0 || stoch_period == 0 || k_period == 0 || d_period == 0)
        return fail(VornError::invalid_period(0, n));
    if (auto s = errors::validation::validate_seeded_period(rsi_period, n); !s) return fail(s.error());
    // A stoch_period above the length is no error: the extremes, and so both lines, are NaN.
    if (k_period > n) return fail(VornError::invalid_period(k_period, n));
    if (d_period > n) return fail(VornError::invalid_period(d_period, n));
    // Nothing below can fail. The RSI, then its window extremes and position in one pass with
    // no intermediate series (measured faster as separate loops than fused with the RSI),
    // then both averages side by side: %D trails %K by a few bars, so that it never waits on
    // the bar just formed and the two compensated chains overlap.
    utils::Scratch r(n), raw(n);
    StochasticSeries out{Series(n), Series(n)};
    const std::span<const double> rs(r.data(), n), raws(raw.data(), n);
    utils::stats::MaxMinWindow extremes(rs, stoch_period);
    utils::ma::SmaWindow k(raws, k_period), d(out.k, d_period);
    RsiSteps steps(close, rsi_period);
    for (std::size_t t = 0; t < n; ++t) r[t] = t < rsi_period ? NaN : steps.step(t);
    for (std::size_t t = 0; t < n; ++t) {
        const auto [hh, ll] = extremes.step(t);
        raw[t] = position(r[t], hh, ll);
    }
    // Every raw value is the RSI's position among the window's own RSI values, so it lies in
    // 0..100 and both lines are confined on every bar.
    confined_smoothing(
        n, out, k, d,
        d_period, nullptr, 0, 0);
    return out;
}

}  // namespace vorn::indicators::momentum
