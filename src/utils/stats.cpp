#include "utils/stats.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "utils/constants.hpp"
#include "utils/bounds.hpp"
#include "utils/fast_path.hpp"

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

// The residual is judged against itself. Where the fit is exact, syy_c (1 - r^2) is within
// a share of the spread (LineSpread::residual_share) and the roundings of r^2 (8 u of syy_c)
// of the residual: where that is within kResidualTolerance of the residual (r^2 at most
// `lim`), or else the bound of the window's own sums is (LineSpread::residual_bound), the
// standard error is within half that and a few u. A window nearer a line is marked by its
// sign, and its residuals are summed after the walk, from the values less a line near theirs;
// its reading from the sums stands where it is within the window's tolerance of theirs,
// theirs where it is not.
Series standard_error(std::span<const double> values, std::uint64_t period, NaNs nans) {
    constexpr double kResidualTolerance = 0x1p-27;
    Series out(values.size(), NaN);
    if (!usable(period, 3, values.size())) return out;
    const window::LineConstants k(period);
    const std::size_t p = static_cast<std::size_t>(period);
    const moments::Span w(p);
    const double lim = 1.0 - (moments::LineSpread<false>::residual_share(w) + 0x1p-50) / kResidualTolerance;
    // The windows marked, as long as they fit here; past that, the outputs are looked through
    // for a sign. Nothing in the windows' loop calls out, and what it reads of the line's
    // constants it holds by value: a call there would have the loop keep its sums in memory,
    // and its stores (of doubles) could be the constants, read again in every window.
    std::array<std::size_t, 1024> marked;
    std::size_t n_marked = 0;
    double* o = out.data();
    // Where the share can pass a window (the shorter ones), a window past it is marked without
    // the bound of its own sums: reading that bound takes every window's sums out of the pair
    // registers they are slid in, which costs the whole walk more than the few windows it would
    // spare the pass below (which keeps the sums' value wherever it agrees with theirs).
    auto fits = [&](auto judged) {
        window::line_fits_of(values, period, [&, k, dof = k.p - 2.0, lim](std::size_t i, const auto& st, const auto& f) {
            const double r2 = r_squared(k, f), resid = f.syy_c * (1.0 - r2);
            const double se = std::sqrt((resid > 0.0 ? resid : 0.0) / dof) * f.unit;
            o[i] = se;
            // A window without spread reads 0 exactly; past the share, the bound of its own sums.
            if (!(r2 <= lim) && f.syy_c > 0.0) [[unlikely]] {
                if constexpr (decltype(judged)::value)
                    if (st.residual_bound(f.sxy_c, k, w) + f.syy_c * 0x1p-50 <= resid * kResidualTolerance) return;
                o[i] = -se;
                if (n_marked < marked.size()) marked[n_marked] = i;
                ++n_marked;
            }
        }, nans);
    };
    if (lim > 0.96) fits(std::false_type{});
    else fits(std::true_type{});
    // The windows marked, in order. Their residuals are those of the values less a line near
    // theirs (`ref`, drawn through a window of the run): the line sums of what is left
    // (LineSpread) have a spread of about the residual, and the same test holds them within
    // kResidualTolerance of it, slide after slide. The line is drawn where a run starts, p
    // windows on (so that its share of each value stays as near as within one window) and
    // where the test fails: a slide a window, two passes per p windows of a run. A window
    // read twice (moments::walk_pairs) holds its last reading.
    const double* x = values.data();
    moments::Line ref{0.0, 0.0};
    double anchor = 0.0;
    auto off_line = [&](std::size_t j) { return (x[j] - ref.level) - ref.slope * (static_cast<double>(j) - anchor); };
    moments::LineSpread<false> rest;
    std::size_t last = 0, drawn = 0;
    auto redo = [&](std::size_t i) {
        if (!std::signbit(o[i])) return;
        fast_path::taken_rarely<"line_residuals">();
        const std::size_t first = i + 1 - p;
        auto draw = [&] {
            fast_path::taken_rarely<"line_drawn">();
            ref = moments::line_through(moments::window_of(x, i, p), x[first], k);
            anchor = static_cast<double>(first) + k.mean_x;
            // About 0, in the scale of the residuals' own extremes (1 but near the ends of the range).
            const auto off = moments::indexed(p, [&](std::size_t j) { return off_line(first + j); });
            rest = moments::LineSpread<false>::summed(off, moments::Origin{0.0, moments::origin_of(off).scale});
            drawn = i;
        };
        if (last != 0 && i == last + 1 && i - drawn < p) rest.slide(off_line(i - p), off_line(i), k.p - 1.0);
        else draw();
        last = i;
        auto f = rest.fit(k, w);
        auto held = [&] {
            const double r2 = r_squared(k, f);
            return f.exact && (r2 <= lim || !(f.syy_c > 0.0) ||
                               rest.residual_bound(f.sxy_c, k, w) + f.syy_c * 0x1p-50 <=
                                   f.syy_c * (1.0 - r2) * kResidualTolerance);
        };
        if (!held() && drawn != i) {
            draw();
            f = rest.fit(k, w);
        }
        double se;
        if (held()) {
            const double resid = f.syy_c * (1.0 - r_squared(k, f));
            se = std::sqrt((resid > 0.0 ? resid : 0.0) / (k.p - 2.0)) * f.unit;
        } else {
            // The window's values in the scale its deviations take, as its sums hold them.
            const double s = moments::origin_of(moments::window_of(x, i, p)).scale;
            const double resid = moments::residual_squares(
                moments::indexed(p, [&](std::size_t j) { return x[first + j] * s; }), x[first] * s, k);
            se = std::sqrt((resid > 0.0 ? resid : 0.0) / (k.p - 2.0)) / s;
        }
        // A pass whose squares left the range tells nothing: the sums stand.
        const double sums = -o[i];
        o[i] = std::fabs(sums - se) <= se * w.tol || !std::isfinite(se) ? sums : se;
    };
    if (n_marked <= marked.size()) [[likely]] {
        std::sort(marked.begin(), marked.begin() + static_cast<std::ptrdiff_t>(n_marked));
        for (std::size_t j = 0; j < n_marked; ++j) redo(marked[j]);
        return out;
    }
    const std::size_t n = out.size();
    for (std::size_t from = 0; from < n; from += 64) {
        const std::size_t to = n - from > 64 ? from + 64 : n;
        pairs::Mask signs{0, 0};
        std::size_t i = from;
        for (; i + 1 < to; i += 2) signs |= pairs::bits(pairs::load(o + i));
        if ((signs[0] | signs[1]) >= 0 && (i == to || !std::signbit(o[i]))) continue;
        for (i = from; i < to; ++i) redo(i);
    }
    return out;
}

}  // namespace vorn::utils::stats
