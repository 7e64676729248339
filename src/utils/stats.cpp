#include "utils/stats.hpp"

#include <cfloat>
#include <cmath>
#include <vector>

#include "utils/constants.hpp"
#include "utils/pairs.hpp"

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

Series stdev(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (!usable(period, 2, n)) return out;
    const double pm1 = static_cast<double>(period) - 1.0;
    window::running_deviation(values, static_cast<std::size_t>(period), [&](std::size_t i, const window::Deviation& d, auto) {
        if (d.nan_count == 0) out[i] = d.m2 > 0.0 ? std::sqrt(d.m2 / pm1) : 0.0;
    });
    return out;
}

namespace {

// Two compensated sums advanced together, one per half of a vector register: each half
// performs exactly the steps of Kahan::add.
namespace pairs = utils::pairs;
using pairs::Mask;
using pairs::Pair;

struct KahanPair {
    Pair sum{0.0, 0.0}, comp{0.0, 0.0};

    [[gnu::always_inline]] void add(Pair v) noexcept {
        const Pair y = v - comp;
        const Pair t = sum + y;
        comp = (t - sum) - y;
        sum = t;
    }
};

}  // namespace

// window::sliding_sums<5> over (x, y, x * x, y * y, x * y), written out: the sums of x and y
// share a vector register, and so do the sums of their squares, each half adding exactly
// what its own sum would.
Series correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period) {
    const std::size_t m = x.size() < y.size() ? x.size() : y.size();
    Series out(m, NaN);
    if (!usable(period, 2, m)) return out;
    const double p = static_cast<double>(period);
    const std::size_t pn = static_cast<std::size_t>(period);
    struct Sums {
        KahanPair plain, squares;  // (Sx, Sy), (Sxx, Syy)
        Kahan sxy;
        std::uint64_t nan_count;
    };
    WindowWeight wx, wy;  // of the squares
    // A bar's values with NaN taken as 0.0; true when either is NaN.
    const auto at = [&](std::size_t i, Pair& v) {
        const Pair raw = {x[i], y[i]};
        const Mask number = raw == raw;
        v = (Pair)((Mask)raw & number);
        return (number[0] & number[1]) == 0;
    };
    // Returned by value: the sums stay in registers through the slides.
    // The largest squares the windows of the current run saw (see `flat_below` below): those
    // of the weights when the run ends, and those they held before any rebuild within it.
    double run_hx = 0.0, run_hy = 0.0;
    const auto fill = [&](std::size_t end) {
        Sums s{};
        run_hx = run_hx > wx.high() ? run_hx : wx.high();
        run_hy = run_hy > wy.high() ? run_hy : wy.high();
        wx.reset(), wy.reset();
        for (std::size_t k = end + 1 - pn; k <= end; ++k) {
            Pair v;
            if (at(k, v)) ++s.nan_count;
            const Pair sq = v * v;
            s.plain.add(v);
            s.squares.add(sq);
            s.sxy.add(v[0] * v[1]);
            wx.add(sq[0]);
            wy.add(sq[1]);
        }
        return s;
    };
    // The sums of a run of windows wait here and their correlations are taken together after
    // the run: a window's square root and division then no longer hold up the slides.
    constexpr std::size_t run = 64;
    double keep[5][run];
    std::size_t first = pn - 1, kept = 0;  // the run's first window, and how many are kept
    // A window in which either series does not move (every value equal to the one before it;
    // a NaN counts as a move) has no correlation, whatever rounding of the values that left it
    // its sums still hold: it reads 0.0, as the same window summed afresh does. Such a window
    // is looked for only where the product of the variance factors, d = (p Sxx - Sx^2)(p Syy -
    // Sy^2), is within its rounding of 0, and then from the newest bar back
    // (sliding::LatestFound).
    //
    // The bound. Let Hx be the largest square the weight of x saw since the sums were last
    // summed afresh, r = 2^-50 (p + 2 kRebuildEvery) (the bound under sliding::Residue, whose
    // scale s is 4 r) and u = 2^-53. The computed sum of x is within r sqrt(Hx) of the exact
    // sum of the window's values (no term above sqrt(Hx) in magnitude), the computed sum of
    // squares within r Hx of the sum of the computed squares, which is within u p Hx of the
    // sum of the exact squares. Where x is flat the exact factor is p^2 c^2 - (p c)^2 = 0, so
    // the computed one is off it by at most p (r Hx + u p Hx) for the squares, r sqrt(Hx)
    // (2 p sqrt(Hx) + r sqrt(Hx)) for the square of the sum, and the roundings of the two
    // products (u p (p Hx + r Hx), u (p + r)^2 Hx) and of the difference (u times the result):
    // with r >= 8 u p, under 3.5 p r Hx. The other factor is at most p^2 Hy (1 + 2^-37) in
    // magnitude (both its terms are, r/p being below 2^-39), so d is at most 3.6 p^3 r Hx Hy
    // once rounded, and the same holds with x and y swapped. A d above 2 p s p^2 Hx Hy = 8 p^3
    // r Hx Hy (whose own rounding is far inside the margin) therefore belongs to a window in
    // which both series move. Below Hx or Hy = 2^-400 squares and that bound may underflow:
    // such windows are looked at, as are NaN and infinite products and bounds (the comparison
    // fails). H is taken as the largest over the run's windows, which only widens the bound.
    const double flat_scale = 2.0 * p * sliding::Residue(pn).scale * p * p;
    Pair flat_below;  // the bound of the current run, in both halves
    sliding::LatestFound x_moves, y_moves;
    const auto moves = [&](sliding::LatestFound& latest, std::span<const double> v, std::size_t i) {
        return latest.any(i + 2 - pn, i, [&](std::size_t k) { return !(v[k] == v[k - 1]); });
    };
    // Of the run's windows k and k + 1, those in `look` (bits 0 and 1) in which a series is
    // flat. Out of line: the rare path.
    const auto flat_halves = [&](std::size_t k, int look) __attribute__((noinline, cold)) {
        int flat = 0;
        for (std::size_t j = 0; j < 2; ++j) {
            if (!((look >> j) & 1) || k + j >= kept) continue;  // not the odd one's copy
            const std::size_t i = first + k + j;
            if (!moves(x_moves, x, i) || !moves(y_moves, y, i)) flat |= 1 << j;
        }
        return flat;
    };
    // Two windows at a time, one per half of a vector register: every operation is the one
    // a window alone would take, and a window that a test refuses reads 0.0.
    const auto emit_two = [&](std::size_t k) __attribute__((always_inline)) {
        Pair sx, sy, sxx, syy, sxy;
        __builtin_memcpy(&sx, &keep[0][k], sizeof sx);
        __builtin_memcpy(&sy, &keep[1][k], sizeof sy);
        __builtin_memcpy(&sxx, &keep[2][k], sizeof sxx);
        __builtin_memcpy(&syy, &keep[3][k], sizeof syy);
        __builtin_memcpy(&sxy, &keep[4][k], sizeof sxy);
        const Pair pp = {p, p}, one = {1.0, 1.0}, largest = {DBL_MAX, DBL_MAX};
        const Pair d = (pp * sxx - sx * sx) * (pp * syy - sy * sy);
        const Pair root = pairs::root(d);
        const Pair r = (pp * sxy - sx * sy) / root;
        const Mask magnitude = {0x7FFFFFFFFFFFFFFFll, 0x7FFFFFFFFFFFFFFFll};
        const Mask defined = (sx == sx) & (d > 0.0) & ((Pair)((Mask)root & magnitude) <= largest) &
                             ((Pair)((Mask)r & magnitude) <= largest);
        const Pair clamped = r < -one ? -one : (r > one ? one : r);
        Pair result = defined ? clamped : Pair{0.0, 0.0};
        // The windows without a NaN whose d does not clear the bound (tests of one comparison
        // each, not of `defined`: GCC would rebuild that mask half by half).
        const int look = pairs::halves(sx == sx) & ~pairs::halves(d > flat_below);
        if (look != 0) [[unlikely]] {
            const int flat = flat_halves(k, look);
            if (flat & 1) result[0] = 0.0;
            if (flat & 2) result[1] = 0.0;
        }
        return result;
    };
    const auto emit_run = [&] {
        run_hx = run_hx > wx.high() ? run_hx : wx.high();
        run_hy = run_hy > wy.high() ? run_hy : wy.high();
        const bool tiny = !(run_hx >= 0x1p-400) | !(run_hy >= 0x1p-400);
        flat_below = pairs::both(tiny ? std::numeric_limits<double>::infinity() : flat_scale * run_hx * run_hy);
        run_hx = run_hy = 0.0;
        std::size_t k = 0;
        for (; k + 2 <= kept; k += 2) {
            const Pair v = emit_two(k);
            __builtin_memcpy(&out[first + k], &v, sizeof v);
        }
        if (k < kept) {  // the odd one out, beside a copy of itself
            for (std::size_t j = 0; j < 5; ++j) keep[j][k + 1] = keep[j][k];
            out[first + k] = emit_two(k)[0];
        }
        first += kept;
        kept = 0;
    };
    const auto emit = [&](const Sums& s) {
        // A window holding a NaN is marked by a NaN sum of x; a sum of x that is NaN itself
        // (it overflowed) gives 0.0 either way.
        keep[0][kept] = s.nan_count != 0 ? NaN : s.plain.sum[0];
        keep[1][kept] = s.plain.sum[1];
        keep[2][kept] = s.squares.sum[0];
        keep[3][kept] = s.squares.sum[1];
        keep[4][kept] = s.sxy.sum;
        if (++kept == run) emit_run();
    };
    Sums s = fill(pn - 1);
    emit(s);
    sliding::AfterEveryThousand schedule(pn);
    for (std::size_t i = pn; i < m; ++i) {
        bool rebuild = schedule.rebuilds();
        if (!rebuild) {
            Pair o, v;
            const bool nan_out = at(i - pn, o);
            const bool nan_in = at(i, v);
            if (nan_out && s.nan_count > 0) --s.nan_count;
            if (nan_in) ++s.nan_count;
            const Pair oo = o * o, vv = v * v;
            s.plain.add(-o);
            s.plain.add(v);
            s.squares.add(-oo);
            s.squares.add(vv);
            s.sxy.add(-(o[0] * o[1]));
            s.sxy.add(v[0] * v[1]);
            // Finite compensations never add up past the double range: the sum is finite
            // exactly when each of them is, in any order.
            const Pair comps = s.plain.comp + s.squares.comp;
            const bool px = wx.passes(oo[0], vv[0]), py = wy.passes(oo[1], vv[1]);
            const bool outweighed = (!px && wx.settle(vv[0], [&, i] { return any_nonzero(x.subspan(i + 1 - pn, pn)); })) |
                                    (!py && wy.settle(vv[1], [&, i] { return any_nonzero(y.subspan(i + 1 - pn, pn)); }));
            rebuild = !std::isfinite((comps[0] + comps[1]) + s.sxy.comp) | outweighed;
        }
        if (rebuild) s = fill(i);
        emit(s);
    }
    emit_run();
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
