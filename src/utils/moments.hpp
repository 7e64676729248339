#pragma once
// The second moments of a sliding window (variance and deviation, covariance, correlation,
// beta, the least-squares line), exact relative to themselves.
//
// Each is a small difference of large sums: p Q - S^2 over prices near 100 moving by 0.01
// cancels eight digits, and over FX prices more; and the rounding that a sum of squares keeps
// from a bad print, negligible beside the sums, is not negligible beside their difference.
// So the sums are taken of deviations d = x - c from an origin c inside the window (the value
// nearest the window's mean when it was last summed afresh). Their differences then cancel no
// more than the statistic itself does (with c that near, Σd² <= 2 M2: every value is at
// least as far from the mean as c is).
//
// Beside each running sum goes a bound on the rounding it has gathered since it was last
// summed afresh: a slide adds t = fl(in - out) to S, so it adds at most u |t| + u |S| (the two
// roundings; a deviation and its square are recomputed alike when the bar leaves, so what
// entered leaves exactly). The bound is kRound times the running total g of those
// magnitudes: plain additions of terms that are never negative, with nothing to cancel. From
// these bounds each statistic's own error is bounded, and the window is summed afresh (two
// passes for the origin, one for the sums) when that error is no longer within tolerance(p)
// of the statistic's own scale (the window's deviation, and for two series the geometric
// mean of both). So a value that left is forgotten once its rounding matters to what stays,
// a window of equal values reads exactly its degenerate value (its deviations are 0 once it
// is summed afresh, and no bound but 0 is within tolerance of a spread of 0), and the level
// of the prices never enters.
//
// The cost. Summed afresh, a window's sums carry at most 2 p u times their magnitudes (at
// most 2 M2), which the tolerance (2^-42 + p 2^-48) clears 8 times over, and each slide adds
// about 2 M2 to g: a stationary window is summed afresh about every 500 + 7 p slides, a pass
// of 3 p. To ask sooner, the statistic must fall below its bound: by a factor of at least 8
// against the window it was last summed from, which takes the values that made it leave the
// window. Each such fall takes the deviations' squares down 8, and the range of doubles holds
// about 2^11 binades of them, so at most about 1,400 windows in a row are summed afresh on
// every slide; then a new large value must enter and stay p slides before it can leave.
// Amortised, a bounded number of passes per p slides: O(1) a slide on any input.
// A window whose state is not finite even when summed afresh (it holds an infinity, or
// deviations whose squares overflow) is not summed afresh again until the newest such value
// has left, or for p slides: at most one pass per p slides.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "utils/constants.hpp"
#include "utils/fast_path.hpp"

namespace vorn::utils::moments {

inline constexpr double kRound = 0x1p-52;  // 2u: each addition's rounding, with room to spare

// The error allowed a window of p bars, relative to its statistic's scale: a few thousand
// roundings for short windows, 32 p roundings (what two passes gather) for long ones.
inline double tolerance(std::size_t p) noexcept { return 0x1p-42 + static_cast<double>(p) * 0x1p-48; }

// A window's length and what the tests of its bounds need of it, formed once.
struct Span {
    double p, inv_p, tol, tol2;
    explicit Span(std::size_t period) noexcept
        : p(static_cast<double>(period)), inv_p(1.0 / p), tol(tolerance(period)), tol2(tol * tol) {}
};

// The origin of a window's deviations: the value nearest its mean, of the non-NaN values that
// for_each(f) visits oldest first (0.0 where there are none).
template <class ForEach>
[[gnu::always_inline]] inline double origin_of(ForEach&& for_each) noexcept {
    constexpr double down = 0x1p-64;  // the mean of values near the top of the range stays finite
    double sum = 0.0, count = 0.0;
    for_each([&](double x) __attribute__((always_inline)) {
        if (x == x) sum += x * down, count += 1.0;
    });
    if (count == 0.0) return 0.0;
    const double mean = sum / count;
    double best = std::numeric_limits<double>::infinity(), c = 0.0;
    for_each([&](double x) __attribute__((always_inline)) {
        const double dist = std::fabs(x * down - mean);
        if (dist < best) best = dist, c = x;  // false for NaN
    });
    return c;
}

// A running sum and the total g of the magnitudes whose rounding it holds (its error is at
// most kRound g).
struct Sum {
    double v = 0.0, g = 0.0;

    // Summed afresh: one more term.
    [[gnu::always_inline]] void add(double t) noexcept {
        v += t;
        g += std::fabs(v);
    }
    // A slide: t = in - out, formed here.
    [[gnu::always_inline]] void slide(double in, double out) noexcept {
        const double t = in - out;
        v += t;
        g += std::fabs(t) + std::fabs(v);
    }
    double error() const noexcept { return kRound * g; }
};

// The centred sum of squares from sums of deviations s1 and squares s2 of p values, and
// whether its error (from the sums' bounds) and that of the mean are within `tol` of it:
// the mean's within tol of one deviation, M2's within tol of itself.
struct Centred {
    double m2;
    bool exact;
};
[[gnu::always_inline]] inline Centred centred(const Sum& s1, const Sum& s2, const Span& w) noexcept {
    const double m2 = s2.v - s1.v * (s1.v * w.inv_p);
    const double e1 = s1.error();
    const double e2 = s2.error() + (2.0 * std::fabs(s1.v) + e1) * (e1 * w.inv_p);
    return {m2, static_cast<bool>((e2 <= w.tol * m2) & (e1 * e1 <= w.tol2 * w.p * m2))};
}

// One series: Σd and Σd² over the window, d = x - c. With Nan, NaN values count apart and
// enter as c (d = 0); without, the values must hold none.
template <bool Nan>
struct Spread {
    double c = 0.0;
    Sum s1, s2;
    std::uint64_t nans = 0;

    [[gnu::always_inline]] double dev(double x) const noexcept {
        if constexpr (Nan) return x == x ? x - c : 0.0;
        return x - c;
    }
    static std::uint64_t is_nan(double x) noexcept { return Nan && !(x == x); }

    // The window summed afresh. Inlined with every visit it makes (a call handed the state, or a
    // visitor holding its address, would keep the state a loop slides in memory).
    template <class ForEach>
    [[gnu::always_inline]] static Spread summed(ForEach for_each) noexcept {
        Spread r;
        r.c = origin_of(for_each);
        for_each([&r](double x) __attribute__((always_inline)) {
            r.nans += is_nan(x);
            const double d = r.dev(x);
            r.s1.add(d);
            r.s2.add(d * d);
        });
        return r;
    }
    [[gnu::always_inline]] void slide(double out, double in) noexcept {
        if constexpr (Nan) nans = nans + is_nan(in) - is_nan(out);
        const double di = dev(in), dout = dev(out);
        s1.slide(di, dout);
        s2.slide(di * di, dout * dout);
    }
    [[gnu::always_inline]] Centred centred(const Span& w) const noexcept { return moments::centred(s1, s2, w); }
    // The window's mean, from a mean of its deviations.
    [[gnu::always_inline]] double mean(double dev_mean) const noexcept { return c + dev_mean; }
};

// Two series over the same bars: both spreads and Σ dx dy. With Nan, a bar with NaN in either
// series counts once (in x's count), and each NaN enters as its own origin.
template <bool Nan>
struct CoSpread {
    Spread<Nan> x, y;
    Sum sxy;

    struct Moments {
        double mx, my, cxy;  // centred
        bool exact;
    };

    template <class ForEach>
    [[gnu::always_inline]] static CoSpread summed(ForEach for_each) noexcept {
        CoSpread r;
        r.x.c = origin_of([&](auto&& f) __attribute__((always_inline)) {
            for_each([&](double a, double) __attribute__((always_inline)) { f(a); });
        });
        r.y.c = origin_of([&](auto&& f) __attribute__((always_inline)) {
            for_each([&](double, double b) __attribute__((always_inline)) { f(b); });
        });
        for_each([&r](double a, double b) __attribute__((always_inline)) {
            r.x.nans += Spread<Nan>::is_nan(a) | Spread<Nan>::is_nan(b);
            const double da = r.x.dev(a), db = r.y.dev(b);
            r.x.s1.add(da), r.x.s2.add(da * da);
            r.y.s1.add(db), r.y.s2.add(db * db);
            r.sxy.add(da * db);
        });
        return r;
    }
    [[gnu::always_inline]] void slide(double out_a, double out_b, double in_a, double in_b) noexcept {
        if constexpr (Nan) {
            using S = Spread<Nan>;
            x.nans = x.nans + (S::is_nan(in_a) | S::is_nan(in_b)) - (S::is_nan(out_a) | S::is_nan(out_b));
        }
        const double ia = x.dev(in_a), oa = x.dev(out_a), ib = y.dev(in_b), ob = y.dev(out_b);
        x.s1.slide(ia, oa), x.s2.slide(ia * ia, oa * oa);
        y.s1.slide(ib, ob), y.s2.slide(ib * ib, ob * ob);
        sxy.slide(ia * ib, oa * ob);
    }
    std::uint64_t nans() const noexcept { return x.nans; }
    // The cross moment's error within tol of the geometric mean of the two spreads.
    [[gnu::always_inline]] Moments moments(const Span& w) const noexcept {
        const Centred cx = x.centred(w), cy = y.centred(w);
        const double cxy = sxy.v - x.s1.v * y.s1.v * w.inv_p;  // symmetric in x and y
        const double ex = x.s1.error(), ey = y.s1.error();
        const double e = sxy.error() + (std::fabs(x.s1.v) * ey + std::fabs(y.s1.v) * ex + ex * ey) * w.inv_p;
        return {cx.m2, cy.m2, cxy, static_cast<bool>(cx.exact & cy.exact & (e * e <= w.tol2 * (cx.m2 * cy.m2)))};
    }
};

// Constants of the least-squares line over positions 0 .. p - 1.
struct LineConstants {
    double p, sx, sxx, mean_x, inv_sxx;
    explicit LineConstants(std::uint64_t period) noexcept {
        p = static_cast<double>(period);
        const double q = (p - 1.0) * p;
        sx = 0.5 * q;
        sxx = (p + p - 1.0) * q / 6.0 - sx * sx / p;
        mean_x = sx / p;
        inv_sxx = 1.0 / sxx;
    }
};

// A least-squares line over a window of y at positions 0 (oldest) .. p - 1: Σd, Σ j d and Σd².
// Moving the window shifts every position down by one, which takes (Σd - leaving) from Σ j d.
template <bool Nan>
struct LineSpread {
    Spread<Nan> y;
    Sum sjy;

    // The fit; sxy_c and syy_c centred.
    struct Fit {
        double slope, intercept, sxy_c, syy_c;
        bool exact;
    };

    template <class ForEach>
    [[gnu::always_inline]] static LineSpread summed(ForEach for_each) noexcept {
        LineSpread r;
        r.y = Spread<Nan>::summed(for_each);
        double j = 0.0;
        for_each([&r, &j](double v) __attribute__((always_inline)) {
            const double t = j * r.y.dev(v);
            r.sjy.add(t);
            r.sjy.g += std::fabs(t);  // the product's rounding stays in the sum
            j += 1.0;
        });
        return r;
    }
    [[gnu::always_inline]] void slide(double out, double in, double last_pos) noexcept {
        const double di = y.dev(in), dout = y.dev(out);
        const double rest = y.s1.v - dout, enter = last_pos * di, t = enter - rest;
        sjy.v += t;
        // The rounding of the rest, of the entering product, of their difference and of the
        // sum, and the error of the rest's Σd itself.
        sjy.g += (((std::fabs(rest) + std::fabs(enter)) + std::fabs(t)) + y.s1.g) + std::fabs(sjy.v);
        y.slide(out, in);
    }
    [[gnu::always_inline]] Fit fit(const LineConstants& k, const Span& w) const noexcept {
        const Centred c = y.centred(w);
        const double sxy_c = sjy.v - k.mean_x * y.s1.v;
        const double slope = sxy_c * k.inv_sxx;
        const double e = sjy.error() + k.mean_x * y.s1.error();
        const double intercept = y.mean(y.s1.v * w.inv_p - k.mean_x * slope);
        return {slope, intercept, sxy_c, c.m2, static_cast<bool>(c.exact & (e * e <= w.tol2 * (k.sxx * c.m2)))};
    }
};

// A value whose deviations' squares may leave the range of doubles: a window that holds one
// may not be finite however it is summed. Not NaN.
inline bool too_large(double x) noexcept { return std::fabs(x) > 0x1p500; }

// The first window after the one ending at i that a window summed afresh and still not exact
// waits for: the first without the newest bad bar (or, failing one, p slides on).
template <class Bad>
std::size_t held_until(std::size_t i, std::size_t p, Bad&& bad) noexcept {
    for (std::size_t k = i + 1; k-- > i + 1 - p;)
        if (bad(k)) return k + p;
    return i + p;
}

// Every window of p bars of a series, in order: rebuild(i) sums the window ending at i afresh,
// slide(i) moves the window to end at i, exact() tells whether the state is within its
// tolerance, emit(i) reads it. A window summed afresh that is still not exact holds an
// infinity or a value whose square overflows (bad(k): bar k holds one): it is not summed
// afresh again until the newest such bar has left (or, failing one, for p slides).
// 1 <= p <= n.
template <class Rebuild, class Slide, class Exact, class Emit, class Bad>
[[gnu::always_inline]] inline void walk(std::size_t n, std::size_t p, Rebuild&& rebuild, Slide&& slide,
                                        Exact&& exact, Emit&& emit, Bad&& bad) {
    std::size_t hold = 0;
    // Inlined, as every step is: a call handed the state would keep it in memory.
    auto afresh = [&](std::size_t i) __attribute__((always_inline)) {
        rebuild(i);
        if (!exact()) hold = held_until(i, p, bad);
    };
    afresh(p - 1);
    emit(p - 1);
    for (std::size_t i = p; i < n; ++i) {
        slide(i);
        if (!exact() && i >= hold) [[unlikely]] {
            // Counted in test builds, so that a test sees a window summed afresh too often.
            fast_path::taken_rarely<"moments_afresh">();
            afresh(i);
        }
        emit(i);
    }
}

// The values x[end + 1 - p .. end], oldest first, for a state's rebuild.
inline auto window_of(const double* x, std::size_t end, std::size_t p) noexcept {
    return [x, end, p](auto&& f) __attribute__((always_inline)) {
        for (std::size_t k = end + 1 - p; k <= end; ++k) f(x[k]);
    };
}
inline auto window_of(const double* a, const double* b, std::size_t end, std::size_t p) noexcept {
    return [a, b, end, p](auto&& f) __attribute__((always_inline)) {
        for (std::size_t k = end + 1 - p; k <= end; ++k) f(a[k], b[k]);
    };
}

}  // namespace vorn::utils::moments
