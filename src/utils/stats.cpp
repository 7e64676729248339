#include "utils/stats.hpp"

#include <cmath>
#include <limits>
#include <vector>

namespace vorn::utils::stats {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

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

bool is_schedule_b_recompute(std::size_t i, std::size_t p) { return (i - p + 1) % 1000 == 0; }

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

Series rolling_sum_kahan(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (!usable(period, 1, n)) return out;
    const std::size_t p = static_cast<std::size_t>(period);
    Kahan sum;
    WindowWeight weight;
    auto magnitude = [](double x) { return std::isnan(x) ? 0.0 : std::fabs(x); };
    auto refill = [&](std::size_t end) {
        sum.reset();
        weight.reset();
        for (std::size_t k = end + 1 - p; k <= end; ++k) {
            if (!std::isnan(values[k])) sum.add(values[k]);
            weight.add(magnitude(values[k]));
        }
    };
    refill(p - 1);
    out[p - 1] = sum.sum;
    sum.comp = 0.0;  // the first window's compensation is not carried into the slides
    for (std::size_t i = p; i < n; ++i) {
        bool rebuild = is_schedule_b_recompute(i, p);
        if (!rebuild) {
            if (!std::isnan(values[i])) sum.add(values[i]);
            if (!std::isnan(values[i - p])) sum.add(-values[i - p]);
            rebuild = !window::compensations_finite(sum) | weight.slide(magnitude(values[i - p]), magnitude(values[i]));
        }
        if (rebuild) {
            refill(i);
            sum.comp = 0.0;
        }
        out[i] = sum.sum;
    }
    return out;
}

Series stdev(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (!usable(period, 2, n)) return out;
    const std::size_t p = static_cast<std::size_t>(period);
    const double pf = static_cast<double>(period);
    double mean = 0.0, m2 = 0.0;
    WindowWeight weight;  // of the squares: M2 carries errors of the order of a leaving x * x
    window::NanCount nans;
    // Welford over the window; a NaN enters as 0.0 so the windows after it stay exact.
    auto refill = [&](std::size_t end) {
        mean = 0.0, m2 = 0.0, nans = {};
        weight.reset();
        const std::size_t start = end + 1 - p;
        for (std::size_t k = start; k <= end; ++k) {
            const double x = nans.enter(values[k]);
            const double d = x - mean;
            mean = d / static_cast<double>(k - start + 1) + mean;
            m2 = m2 + (x - mean) * d;
            weight.add(x * x);
        }
    };
    auto write = [&](std::size_t i) {
        if (nans.count != 0) return;
        out[i] = m2 > 0.0 ? std::sqrt(m2 / (pf - 1.0)) : 0.0;
    };
    refill(p - 1);
    write(p - 1);
    for (std::size_t i = p; i < n; ++i) {
        bool rebuild = is_schedule_b_recompute(i, p);
        if (!rebuild) {
            const double o = nans.leave(values[i - p]);
            const double x = nans.enter(values[i]);
            const double m0 = (mean * pf - o) / (pf - 1.0);
            const double m1 = ((pf - 1.0) * m0 + x) / pf;
            m2 = (m2 - (o - mean) * (o - m0)) + (x - m1) * (x - m0);
            mean = m1;
            rebuild = !std::isfinite(mean) | !std::isfinite(m2) | weight.slide(o * o, x * x);
        }
        if (rebuild) refill(i);
        write(i);
    }
    return out;
}

Series correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period) {
    const std::size_t m = x.size() < y.size() ? x.size() : y.size();
    Series out(m, NaN);
    if (!usable(period, 2, m)) return out;
    const double p = static_cast<double>(period);
    window::sliding_sums<5>(
        m, static_cast<std::size_t>(period),
        [&](std::size_t i, std::array<double, 5>& c) {
            const bool nan = std::isnan(x[i]) || std::isnan(y[i]);
            const double a = std::isnan(x[i]) ? 0.0 : x[i];
            const double b = std::isnan(y[i]) ? 0.0 : y[i];
            c = {a, b, a * a, b * b, a * b};
            return nan;
        },
        [](std::size_t, const std::array<double, 5>& c) { return std::array<double, 2>{c[2], c[3]}; },
        [&](std::size_t i, const std::array<Kahan, 5>& s, std::uint64_t nan_count) {
            out[i] = 0.0;
            if (nan_count != 0) return;
            const double sx = s[0].sum, sy = s[1].sum, sxx = s[2].sum, syy = s[3].sum, sxy = s[4].sum;
            const double d = (p * sxx - sx * sx) * (p * syy - sy * sy);
            if (!(d > 0.0)) return;
            const double root = std::sqrt(d);
            if (!std::isfinite(root)) return;
            const double r = (p * sxy - sx * sy) / root;
            if (!std::isfinite(r)) return;
            out[i] = r < -1.0 ? -1.0 : (r > 1.0 ? 1.0 : r);
        });
    return out;
}

namespace {

// The fit's centred sum of squares and coefficient of determination; a flat window fits
// perfectly (r^2 = 1).
struct Fit {
    window::Line line;
    double syy_c, r2;
};

// Inlined into each per-window loop: as a call it passes its sums and its result through memory.
[[gnu::always_inline]] inline Fit full_fit(const window::LineConstants& k, const window::LineSums& s) {
    const window::Line line = window::fit_line(k, s.sy, s.sxy);
    const double centred = s.syy - s.sy * s.sy / k.p;
    const double syy_c = centred > 0.0 ? centred : 0.0;
    double r2 = 1.0;
    if (syy_c > 0.0) {
        r2 = line.sxy_c * line.sxy_c / (syy_c * k.sxx);
        if (r2 < 0.0) r2 = 0.0;
        if (r2 > 1.0) r2 = 1.0;
    }
    return {line, syy_c, r2};
}

}  // namespace

Series linearreg_slope(std::span<const double> values, std::uint64_t period) {
    Series out(values.size(), NaN);
    if (!usable(period, 2, values.size())) return out;
    const window::LineConstants k(period);
    window::least_squares_sums<false>(values, period, [&](std::size_t i, const window::LineSums& s) {
        if (s.nan_count == 0) out[i] = window::fit_line(k, s.sy, s.sxy).slope;
    });
    return out;
}

RegressionSeries linear_regression(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    RegressionSeries out{Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    if (!usable(period, 2, n)) return out;
    const window::LineConstants k(period);
    window::least_squares_sums<true>(values, period, [&](std::size_t i, const window::LineSums& s) {
        if (s.nan_count != 0) return;
        const Fit f = full_fit(k, s);
        out.slope[i] = f.line.slope;
        out.intercept[i] = f.line.intercept;
        out.r_squared[i] = f.r2;
    });
    return out;
}

Series tsf(std::span<const double> values, std::uint64_t period) {
    Series out(values.size(), NaN);
    if (!usable(period, 2, values.size())) return out;
    const window::LineConstants k(period);
    window::least_squares_sums<false>(values, period, [&](std::size_t i, const window::LineSums& s) {
        if (s.nan_count != 0) return;
        const window::Line line = window::fit_line(k, s.sy, s.sxy);
        out[i] = line.slope * k.p + line.intercept;
    });
    return out;
}

Series standard_error(std::span<const double> values, std::uint64_t period) {
    Series out(values.size(), NaN);
    if (!usable(period, 3, values.size())) return out;
    const window::LineConstants k(period);
    window::least_squares_sums<true>(values, period, [&](std::size_t i, const window::LineSums& s) {
        if (s.nan_count != 0) return;
        const Fit f = full_fit(k, s);
        const double resid = f.syy_c * (1.0 - f.r2);
        out[i] = std::sqrt((resid > 0.0 ? resid : 0.0) / (k.p - 2.0));
    });
    return out;
}

}  // namespace vorn::utils::stats
