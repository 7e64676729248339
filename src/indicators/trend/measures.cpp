#include "indicators/trend/measures.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "indicators/volatility/bands.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::trend {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
using namespace errors::validation;
namespace stats = utils::stats;
namespace ma = utils::ma;

// Bars from `i` back to the most recent bar of the window whose value lies within 1e-10 of
// the window's extreme. The window's monotonic queue (front = the extreme, later equal
// values kept) holds every suffix extreme, so that bar is always in the queue and the
// qualifying entries form a prefix of it.
std::size_t bars_since(const std::vector<std::size_t>& q, std::size_t head, std::size_t tail,
                       std::span<const double> x, std::size_t i) {
    const double extreme = x[q[head]];
    std::size_t best = q[head];
    for (std::size_t k = head + 1; k < tail && std::fabs(x[q[k]] - extreme) < 1e-10; ++k) best = q[k];
    return i - best;
}

}  // namespace

Result<AroonSeries> aroon(std::span<const double> high, std::span<const double> low, std::uint64_t period) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (period < 2) return fail(VornError::invalid_period(period, n));
    if (period >= n) return fail(VornError::insufficient_data(period + 1, n));
    const std::size_t p = period;
    const double pf = static_cast<double>(period);
    AroonSeries out{Series(n, NaN), Series(n, NaN), Series(n, NaN)};

    // Monotonic queues over the p + 1 bar window: strictly decreasing highs and strictly
    // increasing lows from front to back, the later of equal values surviving.
    std::vector<std::size_t> qh(n), ql(n);
    std::size_t hh = 0, ht = 0, lh = 0, lt = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (ht > hh && high[i] >= high[qh[ht - 1]]) --ht;
        qh[ht++] = i;
        while (lt > lh && low[ql[lt - 1]] >= low[i]) --lt;
        ql[lt++] = i;
        if (i < p) continue;
        const std::size_t oldest = i - p;
        while (qh[hh] < oldest) ++hh;
        while (ql[lh] < oldest) ++lh;
        const std::size_t dh = bars_since(qh, hh, ht, high, i);
        const std::size_t dl = bars_since(ql, lh, lt, low, i);
        const double up = (static_cast<double>(p - dh) / pf) * 100.0;
        const double down = (static_cast<double>(p - dl) / pf) * 100.0;
        out.up[i] = up;
        out.down[i] = down;
        out.oscillator[i] = up - down;
    }
    return out;
}

namespace {

// TRIX and DPO accept a period equal to the length and need the period itself otherwise.
Status check_close_period(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return s;
    if (period == 0) return fail(VornError::invalid_period(0, close.size()));
    if (period > close.size()) return fail(VornError::insufficient_data(period, close.size()));
    return {};
}

}  // namespace

Result<Series> trix(std::span<const double> close, std::uint64_t period) {
    if (auto s = check_close_period(close, period); !s) return fail(s.error());
    const double alpha = ma::ema_alpha(period);
    // Each stage restarts its seed after the previous stage's NaN warm-up.
    const Series e1 = ma::ema_impl(close, period, alpha);
    const Series e2 = ma::ema_impl(e1, period, alpha);
    const Series e3 = ma::ema_impl(e2, period, alpha);
    const std::size_t n = close.size();
    Series out(n, NaN);
    for (std::size_t i = 1; i < n; ++i) {
        const double prev = e3[i - 1], cur = e3[i];
        if (std::isnan(prev) || std::isnan(cur) || std::fabs(prev) < 1e-10) continue;
        out[i] = ((cur - prev) / prev) * 100.0;
    }
    return out;
}

Result<Series> dpo(std::span<const double> close, std::uint64_t period) {
    if (auto s = check_close_period(close, period); !s) return fail(s.error());
    const std::size_t n = close.size();
    const std::size_t k = period / 2 + 1;
    const Series mean = ma::sma_impl(close, period);
    Series out(n, NaN);
    // The close is not shifted: each bar is compared with the mean that ended k bars earlier.
    for (std::size_t i = k; i < n; ++i)
        if (!std::isnan(mean[i - k])) out[i] = close[i] - mean[i - k];
    return out;
}

Result<VortexSeries> vortex(std::span<const double> high, std::span<const double> low,
                            std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (n == 1) return fail(VornError::insufficient_data(2, 1));
    if (period == 0) return fail(VornError::invalid_period(0, n));
    Series vp(n, 0.0), vm(n, 0.0), tr(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) {
        vp[i] = std::fabs(high[i] - low[i - 1]);
        vm[i] = std::fabs(low[i] - high[i - 1]);
        tr[i] = volatility::true_range_bar(high[i], low[i], close[i - 1]);
    }
    const Series sp = stats::rolling_sum_kahan(vp, period);
    const Series sm = stats::rolling_sum_kahan(vm, period);
    const Series st = stats::rolling_sum_kahan(tr, period);
    VortexSeries out{Series(n, NaN), Series(n, NaN)};
    // Starting at `period` keeps bar 0, which has no movement, out of every window used.
    for (std::size_t i = period; i < n; ++i) {
        if (std::isnan(st[i]) || std::fabs(st[i]) < 1e-10) continue;
        out.plus[i] = sp[i] / st[i];
        out.minus[i] = sm[i] / st[i];
    }
    return out;
}

Result<Series> choppiness(std::span<const double> high, std::span<const double> low,
                          std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (n == 1) return fail(VornError::insufficient_data(2, 1));
    if (period == 0) return fail(VornError::invalid_period(0, n));
    Series out(n, NaN);
    if (period >= n) return out;
    Series tr(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) tr[i] = volatility::true_range_bar(high[i], low[i], close[i - 1]);
    const Series sum = stats::rolling_sum_kahan(tr, period);
    const Series hh = stats::rolling_max(high, period);
    const Series ll = stats::rolling_min(low, period);
    const double scale = std::log10(static_cast<double>(period));
    // From index `period`, so that no window sums bar 0's placeholder range.
    for (std::size_t i = period; i < n; ++i) {
        const double s = sum[i], h = hh[i], l = ll[i];
        if (std::isnan(s) || std::isnan(h) || std::isnan(l)) continue;
        if (!(s > 0.0) || !(h - l > 0.0)) continue;
        out[i] = (std::log10(s / (h - l)) * 100.0) / scale;
    }
    return out;
}

Result<Series> qstick(std::span<const double> open, std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(open, "open"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{open, "open"}, {close, "close"}}); !s) return fail(s.error());
    if (auto s = validate_period(period, open.size()); !s) return fail(s.error());
    Series body(open.size());
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = close[i] - open[i];
    return ma::ema(body, period);
}

Result<Series> vhf(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (n == 1) return fail(VornError::insufficient_data(2, 1));
    if (auto s = validate_seeded_period(period, n); !s) return fail(s.error());
    const Series hh = stats::rolling_max(close, period);
    const Series ll = stats::rolling_min(close, period);
    Series change(n, 0.0);
    for (std::size_t i = 1; i < n; ++i) change[i] = std::fabs(close[i] - close[i - 1]);
    const Series sum = stats::rolling_sum_kahan(change, period);
    Series out(n, NaN);
    for (std::size_t i = period; i < n; ++i) {
        const double num = std::fabs(hh[i] - ll[i]);
        if (std::isfinite(num) && std::isfinite(sum[i]) && sum[i] > 0.0) out[i] = num / sum[i];
    }
    return out;
}

}  // namespace vorn::indicators::trend
