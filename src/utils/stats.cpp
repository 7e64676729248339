#include "utils/stats.hpp"

#include <cmath>

#include "utils/constants.hpp"
#include "utils/bounds.hpp"

namespace vorn::utils::stats {

namespace {

bool usable(std::uint64_t period, std::uint64_t min_period, std::size_t n) {
    return period >= min_period && period <= static_cast<std::uint64_t>(n);
}

bool has_nan(std::span<const double> values) {
    bool any = false;
    for (const double x : values) any |= std::isnan(x);
    return any;
}

// A window holding a NaN has no extreme: blank exactly those windows.
void blank_nan_windows(std::span<const double> values, std::size_t p, Series& out) {
    std::uint64_t nan_count = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        nan_count += std::isnan(values[i]);
        if (i >= p) nan_count -= std::isnan(values[i - p]);
        if (i + 1 >= p && nan_count != 0) out[i] = NaN;
    }
}

// Of two equal values (0.0 and -0.0) the later one is kept, so each window gives the value
// of the latest bar that holds its extreme. The selections are written so that they compile
// to plain max/min instructions; a NaN they meet only reaches windows that hold it.
struct Greater {
    static double pick(double later, double earlier) noexcept { return window::pick_max(later, earlier); }
};
struct Less {
    static double pick(double later, double earlier) noexcept { return window::pick_min(later, earlier); }
};

template <class Order>
struct Latest {
    using Cand = double;
    const double* v;
    double* out;
    double at(std::size_t i) const noexcept { return v[i]; }
    static double pick(double later, double earlier) noexcept { return Order::pick(later, earlier); }
    void keep(std::size_t i, double c) const noexcept { out[i] = c; }
    double kept(std::size_t i) const noexcept { return out[i]; }
};

template <class Order>
Series rolling_extreme(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (!usable(period, 1, n)) return out;
    const std::size_t p = static_cast<std::size_t>(period);
    window::block_extremes(Latest<Order>{values.data(), out.data()}, n, p,
                           [&](std::size_t i, double x) { out[i] = x; });
    if (has_nan(values)) blank_nan_windows(values, p, out);
    return out;
}

// Latest<Greater> and Latest<Less> side by side: one walk over the blocks serves both.
struct LatestMaxMin {
    struct Cand {
        double max, min;
    };
    const double* v;
    double* max;
    double* min;
    Cand at(std::size_t i) const noexcept { return {v[i], v[i]}; }
    static Cand pick(Cand later, Cand earlier) noexcept {
        return {Greater::pick(later.max, earlier.max), Less::pick(later.min, earlier.min)};
    }
    void keep(std::size_t i, Cand c) const noexcept { max[i] = c.max, min[i] = c.min; }
    Cand kept(std::size_t i) const noexcept { return {max[i], min[i]}; }
};

// LatestMaxMin over two series: the largest of one, the smallest of the other.
struct LatestHighLow {
    using Cand = LatestMaxMin::Cand;
    const double* high;
    const double* low;
    double* max;
    double* min;
    Cand at(std::size_t i) const noexcept { return {high[i], low[i]}; }
    static Cand pick(Cand later, Cand earlier) noexcept { return LatestMaxMin::pick(later, earlier); }
    void keep(std::size_t i, Cand c) const noexcept { max[i] = c.max, min[i] = c.min; }
    Cand kept(std::size_t i) const noexcept { return {max[i], min[i]}; }
};

}  // namespace

Series rolling_max(std::span<const double> values, std::uint64_t period) {
    return rolling_extreme<Greater>(values, period);
}

Series rolling_min(std::span<const double> values, std::uint64_t period) {
    return rolling_extreme<Less>(values, period);
}

WindowExtremes rolling_max_min(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    WindowExtremes out{Series(n, NaN), Series(n, NaN)};
    if (!usable(period, 1, n)) return out;
    const std::size_t p = static_cast<std::size_t>(period);
    double* max = out.max.data();
    double* min = out.min.data();
    window::block_extremes(LatestMaxMin{values.data(), max, min}, n, p, [&](std::size_t i, LatestMaxMin::Cand c) {
        max[i] = c.max;
        min[i] = c.min;
    });
    if (has_nan(values)) {
        blank_nan_windows(values, p, out.max);
        blank_nan_windows(values, p, out.min);
    }
    return out;
}

WindowExtremes rolling_high_low(std::span<const double> high, std::span<const double> low, std::uint64_t period) {
    const std::size_t n = high.size();
    WindowExtremes out{Series(n, NaN), Series(n, NaN)};
    if (!usable(period, 1, n) || low.size() < n) return out;
    double* max = out.max.data();
    double* min = out.min.data();
    window::block_extremes(LatestHighLow{high.data(), low.data(), max, min}, n, static_cast<std::size_t>(period),
                           [&](std::size_t i, LatestHighLow::Cand c) {
                               max[i] = c.max;
                               min[i] = c.min;
                           });
    return out;
}

Series rolling_sum_kahan(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (!usable(period, 1, n)) return out;
    RollingSumWindow sum(values, period);
    for (std::size_t i = static_cast<std::size_t>(period) - 1; i < n; ++i) out[i] = sum.step(i);
    return out;
}

Series stdev(std::span<const double> values, std::uint64_t period, NaNs nans) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (!usable(period, 2, n)) return out;
    const double inv_pm1 = 1.0 / (static_cast<double>(period) - 1.0);  // a division a window would pace the loop
    window::by_nan(
        nans,
        [&](auto nan) {
            window::spreads<nan.value>(values, static_cast<std::size_t>(period),
                                       [&](std::size_t i, const auto& s, const moments::Centred<>& c) {
                                           if (s.nans == 0) out[i] = c.m2 > 0.0 ? std::sqrt(c.m2 * inv_pm1) * s.unit() : 0.0;
                                       });
        },
        values);
    return out;
}

// A window holding a NaN in either series, or one in which either does not move, has no
// correlation: 0.0.
Series correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period, NaNs nans) {
    const std::size_t m = x.size() < y.size() ? x.size() : y.size();
    Series out(m, NaN);
    if (!usable(period, 2, m)) return out;
    window::by_nan(
        nans,
        [&](auto nan) {
            window::co_spreads<nan.value>(x, y, m, static_cast<std::size_t>(period),
                                          [&](std::size_t i, const auto& s, const auto& c) {
                                              out[i] = s.nans() == 0 ? correlation_of(c.cxy, c.mx, c.my) : 0.0;
                                          });
        },
        x.first(m), y.first(m));
    return out;
}

double correlation_of(double cxy, double mx, double my) noexcept {
    if (!(mx > 0.0) || !(my > 0.0)) return 0.0;
    double r = cxy / std::sqrt(mx * my);
    if (!std::isfinite(r)) r = cxy / (std::sqrt(mx) * std::sqrt(my));  // the product left the range
    if (!std::isfinite(r)) return 0.0;
    return bounds::confine(r, bounds::kUnit);
}

namespace {

// The fit's coefficient of determination; a flat window fits perfectly (r^2 = 1).
template <class Fit>
[[gnu::always_inline]] inline double r_squared(const window::LineConstants& k, const Fit& f) {
    if (!(f.syy_c > 0.0)) return 1.0;
    return bounds::confine(f.sxy_c * f.sxy_c / (f.syy_c * k.sxx), bounds::kFraction);
}

}  // namespace

Series linearreg_slope(std::span<const double> values, std::uint64_t period, NaNs nans) {
    Series out(values.size(), NaN);
    if (!usable(period, 2, values.size())) return out;
    window::line_fits_of(values, period, [&](std::size_t i, const auto& f) { out[i] = f.slope; }, nans);
    return out;
}

RegressionSeries linear_regression(std::span<const double> values, std::uint64_t period, NaNs nans) {
    const std::size_t n = values.size();
    RegressionSeries out{Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    if (!usable(period, 2, n)) return out;
    const window::LineConstants k(period);
    window::line_fits_of(values, period, [&](std::size_t i, const auto& f) {
        out.slope[i] = f.slope;
        out.intercept[i] = f.intercept;
        out.r_squared[i] = r_squared(k, f);
    }, nans);
    return out;
}

Series line_at(std::span<const double> values, std::uint64_t period, double x, NaNs nans) {
    Series out(values.size(), NaN);
    if (!usable(period, 2, values.size())) return out;
    window::line_fits_of(
        values, period, [&, from_middle = x - window::LineConstants(period).mean_x](std::size_t i, const auto& f) {
            out[i] = f.level + f.slope * from_middle;
        },
        nans);
    return out;
}

Series tsf(std::span<const double> values, std::uint64_t period, NaNs nans) {
    return line_at(values, period, static_cast<double>(period), nans);
}

Series standard_error(std::span<const double> values, std::uint64_t period, NaNs nans) {
    Series out(values.size(), NaN);
    if (!usable(period, 3, values.size())) return out;
    const window::LineConstants k(period);
    window::line_fits_of(values, period, [&](std::size_t i, const auto& f) {
        const double resid = f.syy_c * (1.0 - r_squared(k, f));
        out[i] = std::sqrt((resid > 0.0 ? resid : 0.0) / (k.p - 2.0)) * f.unit;
    }, nans);
    return out;
}

}  // namespace vorn::utils::stats
