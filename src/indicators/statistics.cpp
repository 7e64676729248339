#include "indicators/statistics.hpp"

#include <cmath>

#include "utils/constants.hpp"

#include "utils/window_lanes.hpp"

namespace vorn::indicators::statistics {

namespace lanes = utils::lanes;

namespace stats = utils::stats;
namespace window = utils::stats::window;
using utils::Kahan;

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

// Population variance numerator p*Q - S*S; NaN when it overflows.
double population_variance(double p, double s, double q) {
    const double num = p * q - s * s;
    if (!std::isfinite(num)) return NaN;
    return num > 0.0 ? num / (p * p) : 0.0;
}

template <class Fn>
Series line_value(std::span<const double> values, std::uint64_t period, Fn&& value_of) {
    Series out(values.size(), NaN);
    if (!computes(period, values.size())) return out;
    const window::LineConstants k(period);
    window::least_squares_sums<false>(values, period, [&](std::size_t i, const window::LineSums& s) {
        out[i] = value_of(k, window::fit_line(k, s.sy, s.sxy));
    });
    return out;
}

}  // namespace

namespace {

// S = sum x and Q = sum x^2 over each window: emit(i, S, Q).
template <class Emit>
void power_sums(std::span<const double> values, std::uint64_t period, Emit&& emit) {
    window::sliding_sums<2>(
        values.size(), static_cast<std::size_t>(period),
        [&](std::size_t i, std::array<double, 2>& c) {
            c = {values[i], values[i] * values[i]};
            return false;
        },
        [](std::size_t, const std::array<double, 2>& c) { return std::array<double, 1>{c[1]}; },
        [&](std::size_t i, const std::array<Kahan, 2>& s, std::uint64_t) { emit(i, s[0].sum, s[1].sum); });
}

}  // namespace

Series var_impl(std::span<const double> values, std::uint64_t period) {
    Series out(values.size(), NaN);
    if (!computes(period, values.size())) return out;
    const double p = static_cast<double>(period);
    power_sums(values, period, [&](std::size_t i, double s, double q) { out[i] = population_variance(p, s, q); });
    return out;
}

Series zscore_impl(std::span<const double> values, std::uint64_t period) {
    Series out(values.size(), NaN);
    if (!computes(period, values.size())) return out;
    const double p = static_cast<double>(period);
    power_sums(values, period, [&](std::size_t i, double s, double q) {
        const double num = p * q - s * s;
        const double v = num > 0.0 ? num / (p * p) : 0.0;
        out[i] = v > 0.0 ? (values[i] - s / p) / std::sqrt(v) : 0.0;
    });
    return out;
}

Series covariance_impl(std::span<const double> x, std::span<const double> y, std::uint64_t period) {
    Series out(x.size(), NaN);
    if (!computes(period, x.size()) || y.size() < x.size()) return out;
    const double p = static_cast<double>(period);
    window::sliding_sums<3>(
        x.size(), static_cast<std::size_t>(period),
        [&](std::size_t i, std::array<double, 3>& c) {
            c = {x[i], y[i], x[i] * y[i]};
            return false;
        },
        [](std::size_t, const std::array<double, 3>& c) { return std::array<double, 2>{c[0] * c[0], c[1] * c[1]}; },
        [&](std::size_t i, const std::array<Kahan, 3>& s, std::uint64_t) {
            out[i] = (p * s[2].sum - s[0].sum * s[1].sum) / (p * p);
        });
    return out;
}

Series beta_impl(std::span<const double> a, std::span<const double> b, std::uint64_t period) {
    Series out(a.size(), NaN);
    if (!computes(period, a.size()) || b.size() < a.size()) return out;
    const double p = static_cast<double>(period);
    window::sliding_sums<4>(
        a.size(), static_cast<std::size_t>(period),
        [&](std::size_t i, std::array<double, 4>& c) {
            c = {a[i], b[i], a[i] * b[i], b[i] * b[i]};
            return false;
        },
        [](std::size_t, const std::array<double, 4>& c) { return std::array<double, 2>{c[0] * c[0], c[3]}; },
        [&](std::size_t i, const std::array<Kahan, 4>& s, std::uint64_t) {
            const double sa = s[0].sum, sb = s[1].sum, sab = s[2].sum, sbb = s[3].sum;
            const double d = p * sbb - sb * sb;
            out[i] = (d > 0.0 && std::isfinite(d)) ? (p * sab - sa * sb) / d : 0.0;
        });
    return out;
}

namespace {

using lanes::Pair;

using lanes::both;
using lanes::fit_lines;
using lanes::Lines;

// Every window's value of values holding no NaN (min_period <= period <= len, else NaN
// throughout): finish(sy, sxy, syy) of two windows at a time, their least-squares sums
// stepped in lanes as window::least_squares_sums steps them. Where the lanes cannot follow
// their plan (sums near the largest double), by_window() gives the series one window at a
// time.
template <bool WithSyy, class Finish, class ByWindow>
Series line_windows(std::span<const double> values, std::uint64_t period, std::uint64_t min_period, Finish finish,
                    ByWindow by_window) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (period < min_period || period > n) return out;
    auto emit = [&](std::size_t i0, std::size_t i1, Pair sy, Pair sxy, Pair syy) {
        const Pair v = finish(sy, sxy, syy);
        out[i0] = v[0];
        out[i1] = v[1];
    };
    if (!lanes::run<2>(lanes::LineSums<WithSyy, decltype(emit)>(values.data(), period, emit), n, period))
        return by_window();
    return out;
}

// line_windows with Syy for a finish of several divisions and a root: the lanes keep each
// window's sums, and a pass in bar order finishes them. Inside the lanes, the finish's long
// chains of divisions would hold up the slides (measured slower).
template <class Finish, class ByWindow>
Series line_windows_apart(std::span<const double> values, std::uint64_t period, std::uint64_t min_period,
                          Finish finish, ByWindow by_window) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (period < min_period || period > n) return out;
    // Sy, Sxy and Syy of each window side by side, and a copy of the last window's after them.
    utils::Scratch<double> kept(3 * n + 3);
    double* const k = kept.data();
    auto emit = [&](std::size_t i0, std::size_t i1, Pair sy, Pair sxy, Pair syy) {
        k[3 * i0] = sy[0], k[3 * i0 + 1] = sxy[0], k[3 * i0 + 2] = syy[0];
        k[3 * i1] = sy[1], k[3 * i1 + 1] = sxy[1], k[3 * i1 + 2] = syy[1];
    };
    if (!lanes::run<2>(lanes::LineSums<true, decltype(emit)>(values.data(), period, emit), n, period))
        return by_window();
    for (std::size_t j = 0; j < 3; ++j) k[3 * n + j] = k[3 * (n - 1) + j];
    for (std::size_t i = period - 1; i < n; i += 2) {
        const double* w = k + 3 * i;  // windows i and i + 1 (the copy, past the last one)
        const Pair v = finish(Pair{w[0], w[3]}, Pair{w[1], w[4]}, Pair{w[2], w[5]});
        out[i] = v[0];
        if (i + 1 < n) out[i + 1] = v[1];
    }
    return out;
}

Series slopes(std::span<const double> values, std::uint64_t period) {
    const window::LineConstants k(period);
    return line_windows<false>(
        values, period, 2, [&](Pair sy, Pair sxy, Pair) { return fit_lines(k, sy, sxy).slope; },
        [&] { return stats::linearreg_slope(values, period); });
}

}  // namespace

Series linearreg_impl(std::span<const double> values, std::uint64_t period) {
    const window::LineConstants k(period);
    return line_windows<false>(
        values, period, 2,
        [&](Pair sy, Pair sxy, Pair) {
            const Lines line = fit_lines(k, sy, sxy);
            return line.slope * both(k.p - 1.0) + line.intercept;
        },
        [&] {
            return line_value(values, period, [](const window::LineConstants& k, const window::Line& line) {
                return line.slope * (k.p - 1.0) + line.intercept;
            });
        });
}

Series linearreg_intercept_impl(std::span<const double> values, std::uint64_t period) {
    const window::LineConstants k(period);
    return line_windows<false>(
        values, period, 2, [&](Pair sy, Pair sxy, Pair) { return fit_lines(k, sy, sxy).intercept; },
        [&] {
            return line_value(values, period,
                              [](const window::LineConstants&, const window::Line& line) { return line.intercept; });
        });
}

Series linearreg_angle_impl(std::span<const double> values, std::uint64_t period) {
    // The arc tangents in a pass of their own: a call inside the lanes would spill their sums
    // around it.
    Series out = slopes(values, period);
    for (double& s : out)
        if (!std::isnan(s)) s = std::atan(s) * 57.29577951308232;
    return out;
}

Result<RegressionSeries> linear_regression(std::span<const double> y_values, std::uint64_t period) {
    if (auto s = check_one(y_values, "y_values", period); !s) return fail(s.error());
    return stats::linear_regression(y_values, period);
}

Result<Series> standard_error(std::span<const double> y_values, std::uint64_t period) {
    if (auto s = check_one(y_values, "y_values", period); !s) return fail(s.error());
    const window::LineConstants k(period);
    // stats::standard_error's fit, two windows at a time: its divisions and root, not its
    // sums, bound it once the sums run in lanes.
    const Pair zero = both(0.0), one = both(1.0);
    return line_windows_apart(
        y_values, period, 3,
        [&](Pair sy, Pair sxy, Pair syy) {
            const Pair sxy_c = fit_lines(k, sy, sxy).sxy_c;
            const Pair centred = syy - sy * sy / both(k.p);
            const Pair syy_c = lanes::select(centred > zero, centred, zero);
            Pair r2 = sxy_c * sxy_c / (syy_c * both(k.sxx));
            r2 = lanes::select(r2 < zero, zero, r2);
            r2 = lanes::select(r2 > one, one, r2);
            r2 = lanes::select(syy_c > zero, r2, one);  // a flat window fits perfectly
            const Pair resid = syy_c * (one - r2);
            return lanes::root(lanes::select(resid > zero, resid, zero) / both(k.p - 2.0));
        },
        [&] { return stats::standard_error(y_values, period); });
}

Result<Series> correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period) {
    if (auto s = check_two(x, "x", y, "y", period); !s) return fail(s.error());
    return stats::correlation(x, y, period);
}

Result<Series> correl(std::span<const double> values1, std::span<const double> values2, std::uint64_t period) {
    if (auto s = check_two(values1, "values1", values2, "values2", period); !s) return fail(s.error());
    return stats::correlation(values1, values2, period);
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
    return slopes(values, period);
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
    const window::LineConstants k(period);
    return line_windows<false>(
        values, period, 2,
        [&](Pair sy, Pair sxy, Pair) {
            const Lines line = fit_lines(k, sy, sxy);
            return line.slope * both(k.p) + line.intercept;
        },
        [&] { return stats::tsf(values, period); });
}

}  // namespace vorn::indicators::statistics
