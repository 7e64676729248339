#include "indicators/volatility/channels.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "utils/ma.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::volatility {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();
using namespace errors::validation;
namespace stats = utils::stats;
namespace ma = utils::ma;

// Sums the finite values of each window and keeps only the windows whose every value is
// finite; a sliding count of the non-finite values decides that in O(1) per window.
Series complete_window_sums(const Series& values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series zeroed(n);
    for (std::size_t i = 0; i < n; ++i) zeroed[i] = std::isfinite(values[i]) ? values[i] : 0.0;
    Series sums = stats::rolling_sum_kahan(zeroed, period);
    std::uint64_t missing = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(values[i])) ++missing;
        if (i >= period && !std::isfinite(values[i - period])) --missing;
        if (i + 1 >= period && missing != 0) sums[i] = NaN;
    }
    return sums;
}

}  // namespace

Result<BandSeries> donchian_channel(std::span<const double> high, std::span<const double> low,
                                    std::uint64_t period) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    if (auto s = validate_period(period, high.size()); !s) return fail(s.error());
    BandSeries out{stats::rolling_max(high, period), Series(high.size(), NaN), stats::rolling_min(low, period)};
    for (std::size_t i = 0; i < high.size(); ++i)
        if (!std::isnan(out.upper[i]) && !std::isnan(out.lower[i])) out.middle[i] = (out.upper[i] + out.lower[i]) * 0.5;
    return out;
}

Result<ChandelierSeries> chandelier_exit(std::span<const double> high, std::span<const double> low,
                                         std::span<const double> close, std::uint64_t period,
                                         std::uint64_t atr_period, double multiplier) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    if (auto s = validate_seeded_period(atr_period, n); !s) return fail(s.error());
    if (multiplier < 0.0) return fail(VornError::out_of_range("multiplier", multiplier, 0.0, INF));
    const Series hh = stats::rolling_max(high, period);
    const Series ll = stats::rolling_min(low, period);
    auto range = atr(high, low, close, atr_period);
    if (!range) return fail(range.error());
    const Series& a = *range;
    ChandelierSeries out{Series(n, NaN), Series(n, NaN)};
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(hh[i]) || std::isnan(ll[i]) || std::isnan(a[i])) continue;
        out.long_exit[i] = hh[i] - a[i] * multiplier;
        out.short_exit[i] = ll[i] + a[i] * multiplier;
    }
    return out;
}

Result<Series> historical_volatility(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (period < 2 || period > n) return fail(VornError::invalid_period(period, n));
    Series returns(n, NaN);
    for (std::size_t i = 1; i < n; ++i) {
        if (std::fabs(close[i - 1]) < 1e-10) continue;
        const double r = std::log(close[i] / close[i - 1]);
        // A zero close gives -inf: as a gap it voids the windows that hold it, where an
        // infinity would leave the running deviation wrong until its next recomputation.
        if (std::isfinite(r)) returns[i] = r;
    }
    Series out = stats::stdev(returns, period);
    const double scale = std::sqrt(static_cast<double>(period)) * 100.0;
    for (double& v : out)
        if (!std::isnan(v)) v = v * scale;
    return out;
}

Result<Series> ulcer_index(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    const Series hc = stats::rolling_max(close, period);
    Series dd(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        if (!(hc[i] > 0.0)) continue;  // also NaN during the warm-up
        const double q = (close[i] - hc[i]) / hc[i] * 100.0;
        dd[i] = q * q;
    }
    Series out = complete_window_sums(dd, period);
    const double pf = static_cast<double>(period);
    for (double& v : out) {
        if (std::isnan(v)) continue;
        // The sliding sum of non-negative squares can end a hair below zero once the
        // drawdowns leave the window; that is a zero index, not an undefined one.
        if (v < 0.0) v = 0.0;
        v = std::sqrt(v / pf);
    }
    return out;
}

Result<Series> mass_index(std::span<const double> high, std::span<const double> low, std::uint64_t fast,
                          std::uint64_t slow) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (fast == 0 || slow == 0) return fail(VornError::invalid_period(0, n));
    // The shorter period always smooths and the longer one always sums, whichever argument holds it.
    const std::uint64_t a = fast < slow ? fast : slow;
    const std::uint64_t b = fast < slow ? slow : fast;
    // 2b - a computed without wrapping: b + (b - a), saturated at the largest count.
    const std::uint64_t need = b - a > UINT64_MAX - b ? UINT64_MAX : b + (b - a);
    if (n < need) return fail(VornError::insufficient_data(need, n));
    Series range(n);
    for (std::size_t i = 0; i < n; ++i) range[i] = high[i] - low[i];
    auto e1 = ma::ema(range, a);
    if (!e1) return fail(e1.error());
    // E1's warm-up restarts the second average's seed: it starts at 2a - 2.
    auto e2 = ma::ema_allow_nan(*e1, a);
    if (!e2) return fail(e2.error());
    Series ratio(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = (*e1)[i], y = (*e2)[i];
        if (std::isnan(x) || std::isnan(y) || std::fabs(y) < 1e-10) continue;
        ratio[i] = x / y;
    }
    return complete_window_sums(ratio, b);
}

}  // namespace vorn::indicators::volatility
