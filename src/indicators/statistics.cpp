#include "indicators/statistics.hpp"

#include <cmath>

#include "utils/constants.hpp"

#include "utils/moments.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::statistics {

namespace stats = utils::stats;
namespace window = utils::stats::window;
namespace moments = utils::moments;

namespace {

using utils::NaN;

Status check_one(std::span<const double> values, const char* name, std::uint64_t period) {
    if (auto s = errors::validation::validate_series(values, name); !s) return s;
    return errors::validation::validate_period(period, values.size());
}

Status check_two(std::span<const double> a, const char* a_name, std::span<const double> b, const char* b_name,
                 std::uint64_t period) {
    if (auto s = errors::validation::validate_lengths_match({{a, a_name}, {b, b_name}}); !s) return s;
    return errors::validation::validate_period(period, a.size());
}

bool computes(std::uint64_t period, std::size_t n) { return period >= 2 && period <= static_cast<std::uint64_t>(n); }

// Every window's value(i, spread, centred) of one series.
template <class Value>
Series each_spread(std::span<const double> values, std::uint64_t period, Value&& value) {
    Series out(values.size(), NaN);
    if (!computes(period, values.size())) return out;
    // The values are validated: finite.
    window::spreads<false>(values, static_cast<std::size_t>(period),
                           [&](std::size_t i, const auto& s, const moments::Centred<>& c) { out[i] = value(i, s, c); });
    return out;
}

// Every window's value(moments) of two series over the length of x.
template <class Value>
Series each_co_spread(std::span<const double> x, std::span<const double> y, std::uint64_t period, Value&& value) {
    Series out(x.size(), NaN);
    if (!computes(period, x.size()) || y.size() < x.size()) return out;
    // The values are validated: finite.
    window::co_spreads<false>(x, y, x.size(), static_cast<std::size_t>(period),
                              [&](std::size_t i, const auto& s, const auto& m) { out[i] = value(s, m); });
    return out;
}

}  // namespace

// Population variance; inf where it is beyond the range (the deviations are scaled, so only
// the variance itself can leave it).
Series var_impl(std::span<const double> values, std::uint64_t period) {
    const double p = static_cast<double>(period);
    return each_spread(values, period, [p](std::size_t, const auto& s, const moments::Centred<>& c) {
        return c.m2 > 0.0 ? s.square_unscaled(c.m2 / p) : 0.0;
    });
}

// The newest value's distance from the window's mean in population deviations, taken from
// its deviation; 0.0 on a window without spread. Of the scaled deviations: the scale cancels.
Series zscore_impl(std::span<const double> values, std::uint64_t period) {
    // By the reciprocal of p: three divisions a window would pace the loop.
    const double inv_p = 1.0 / static_cast<double>(period);
    return each_spread(values, period, [&, inv_p](std::size_t i, const auto& s, const moments::Centred<>& c) {
        if (!(c.m2 > 0.0)) return 0.0;
        return (s.dev(values[i]) - s.s1.v * inv_p) / std::sqrt(c.m2 * inv_p);
    });
}

Series covariance_impl(std::span<const double> x, std::span<const double> y, std::uint64_t period) {
    const double p = static_cast<double>(period);
    return each_co_spread(x, y, period, [p](const auto& s, const auto& m) { return s.cross_unscaled(m.cxy / p); });
}

// The asset's covariance with the benchmark over the benchmark's variance; 0.0 where the
// benchmark does not move.
Series beta_impl(std::span<const double> a, std::span<const double> b, std::uint64_t period) {
    return each_co_spread(a, b, period, [](const auto& s, const auto& m) {
        if (!(m.my > 0.0)) return 0.0;
        const double beta = s.ratio_unscaled(m.cxy / m.my);
        return std::isfinite(beta) ? beta : 0.0;
    });
}

Series linearreg_impl(std::span<const double> values, std::uint64_t period) {
    return stats::line_at(values, period, static_cast<double>(period) - 1.0, stats::NaNs::none);
}

Series linearreg_intercept_impl(std::span<const double> values, std::uint64_t period) {
    return stats::line_at(values, period, 0.0, stats::NaNs::none);
}

Series linearreg_angle_impl(std::span<const double> values, std::uint64_t period) {
    Series out = stats::linearreg_slope(values, period, stats::NaNs::none);
    for (double& s : out)
        if (!std::isnan(s)) s = std::atan(s) * 57.29577951308232;
    return out;
}

Result<RegressionSeries> linear_regression(std::span<const double> y_values, std::uint64_t period) {
    if (auto s = check_one(y_values, "y_values", period); !s) return fail(s.error());
    return stats::linear_regression(y_values, period, stats::NaNs::none);
}

Result<Series> standard_error(std::span<const double> y_values, std::uint64_t period) {
    if (auto s = check_one(y_values, "y_values", period); !s) return fail(s.error());
    return stats::standard_error(y_values, period, stats::NaNs::none);
}

Result<Series> correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period) {
    if (auto s = check_two(x, "x", y, "y", period); !s) return fail(s.error());
    return stats::correlation(x, y, period, stats::NaNs::none);
}

Result<Series> correl(std::span<const double> values1, std::span<const double> values2, std::uint64_t period) {
    if (auto s = check_two(values1, "values1", values2, "values2", period); !s) return fail(s.error());
    return stats::correlation(values1, values2, period, stats::NaNs::none);
}

Result<Series> zscore(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_one(values, "values", period); !s) return fail(s.error());
    return zscore_impl(values, period);
}

Result<Series> covariance(std::span<const double> x, std::span<const double> y, std::uint64_t period) {
    if (auto s = check_two(x, "x", y, "y", period); !s) return fail(s.error());
    return covariance_impl(x, y, period);
}

Result<Series> beta(std::span<const double> asset_returns, std::span<const double> benchmark_returns,
                    std::uint64_t period) {
    if (auto s = check_two(asset_returns, "asset_returns", benchmark_returns, "benchmark_returns", period); !s)
        return fail(s.error());
    return beta_impl(asset_returns, benchmark_returns, period);
}

Result<Series> linearreg(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_one(values, "values", period); !s) return fail(s.error());
    return linearreg_impl(values, period);
}

Result<Series> linearreg_slope(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_one(values, "values", period); !s) return fail(s.error());
    return stats::linearreg_slope(values, period, stats::NaNs::none);
}

Result<Series> linearreg_angle(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_one(values, "values", period); !s) return fail(s.error());
    return linearreg_angle_impl(values, period);
}

Result<Series> linearreg_intercept(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_one(values, "values", period); !s) return fail(s.error());
    return linearreg_intercept_impl(values, period);
}

Result<Series> var(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_one(values, "values", period); !s) return fail(s.error());
    return var_impl(values, period);
}

Result<Series> tsf(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_one(values, "values", period); !s) return fail(s.error());
    return stats::tsf(values, period, stats::NaNs::none);
}

}  // namespace vorn::indicators::statistics
