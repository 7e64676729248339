#include "indicators/overlap/averages.hpp"

#include "utils/ma.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::overlap {

namespace {

using namespace errors::validation;

// The window extremes arrive NaN before index period - 1, and the sum keeps them NaN.
Series middle(Series highest, const Series& lowest) {
    for (std::size_t i = 0; i < highest.size(); ++i) highest[i] = (highest[i] + lowest[i]) * 0.5;
    return highest;
}

}  // namespace

Result<MamaSeries> mama(std::span<const double> values, double fast_limit, double slow_limit) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    const std::size_t n = values.size();
    if (n < 6) return fail(VornError::insufficient_data(6, n));
    // An empty clamp range (slow above fast, or a NaN limit) has no factor to give.
    if (!(fast_limit >= slow_limit)) return fail(below_lower("fast_limit", fast_limit, "slow_limit", slow_limit));

    // The smoothing period is fixed at 6 bars, so one factor serves every bar.
    double alpha = fast_limit / 6.0;
    if (alpha < slow_limit) alpha = slow_limit;
    if (alpha > fast_limit) alpha = fast_limit;
    const double keep = 1.0 - alpha;
    const double half = alpha * 0.5;
    const double half_keep = 1.0 - alpha * 0.5;

    MamaSeries out{Series(n), Series(n)};
    double m = values[0], f = values[0];
    out.mama[0] = m;
    out.fama[0] = f;
    for (std::size_t i = 1; i < n; ++i) {
        m = alpha * values[i] + keep * m;
        f = half * m + half_keep * f;
        out.mama[i] = m;
        out.fama[i] = f;
    }
    return out;
}

Result<Series> trima(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    if (auto s = validate_period(period, values.size()); !s) return fail(s.error());
    const std::uint64_t half = period / 2;
    // sma_impl(sma_impl(values, period - half), half + 1) in one pass. The second average
    // restarts after the first one's NaN run, which ends its own at period - 1.
    const std::size_t n = values.size();
    Series first(n), out(n);
    utils::ma::SmaWindow inner(values, period - half), outer(first, half + 1);
    for (std::size_t i = 0; i < n; ++i) {
        first[i] = inner.step(i);
        out[i] = outer.step(i);
    }
    return out;
}

Result<Series> midpoint(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    if (auto s = validate_period(period, values.size()); !s) return fail(s.error());
    return middle(utils::stats::rolling_max(values, period), utils::stats::rolling_min(values, period));
}

Result<Series> midprice(std::span<const double> high, std::span<const double> low, std::uint64_t period) {
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    if (auto s = validate_period(period, high.size()); !s) return fail(s.error());
    return middle(utils::stats::rolling_max(high, period), utils::stats::rolling_min(low, period));
}

}  // namespace vorn::indicators::overlap
