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
// Near the ends of the range the deviations' squares would overflow (above about 1e154) or
// fall into the subnormals (below about 1e-154). So the deviations are scaled, when the window
// is summed afresh, by a power of two that brings the largest near 1 (scale_of_binade; 1 on
// ordinary data): d = x s - c s, exactly (x - c) s. Every sum, bound and test below is then
// the unscaled one times a power of two, with the same decisions and, taken back, the same
// bits wherever the unscaled arithmetic stayed in the range; the dimensionless statistics do
// not see the scale at all. Only a statistic beyond the range itself (a variance of values
// 1e200 apart) reads inf, and only a window holding an infinity is not finite when summed.
//
// Beside each running sum goes a bound on the rounding it has gathered since it was last
// summed afresh: a slide adds t = fl(in - out) to S, so it adds at most u |t| + u |S| (the two
// roundings; a deviation and its square are recomputed alike when the bar leaves, so what
// entered leaves exactly). The bound is kRound times the running total g of those
// magnitudes: plain additions of terms that are never negative, with nothing to cancel. From
// these bounds each statistic's own error is bounded, and the window is summed afresh when
// that error is no longer within tolerance(p) of the statistic's own scale (the window's
// deviation, and for two series the geometric mean of both): in one pass about the mean its
// sums give, where they give it within half a deviation (Spread::near) and the result is then
// within its tolerance, else in three (two for the value nearest the mean, one for the sums).
// So a value that left is forgotten once its rounding matters to what stays, a window of
// equal values reads exactly its degenerate value (its deviations are 0 once it is summed
// afresh about one of its values, and no bound but 0 is within tolerance of a spread of 0),
// and the level of the prices never enters.
//
// The cost. Summed afresh, a window's sums carry at most 2 p u times their magnitudes (at
// most 2 M2), which the tolerance (2^-36 + p 2^-42) clears 512 times over, and each slide
// adds about 2 M2 to g: a stationary window is summed afresh after thousands of slides, a
// pass of 3 p (of p where its sums still give its mean). A window that drifts from its origin
// or whose spread shrinks below what it was (a trend, a random walk) asks sooner: on a random
// walk a window of 14 is summed afresh about every 230 slides. To ask sooner still, the
// statistic must fall below its bound: by a factor of at least 512 against the window it was
// last summed from, which takes the values that made it leave the window. Each such fall
// takes the deviations down by a factor of at least 22 (512 in their squares), and the range
// of doubles holds about 2^11 binades of values, so at most about 470 windows are summed
// afresh before a new large value must enter, and stay p slides before it can leave (a
// geometric sawtooth that sheds its largest value on every slide: about 70 passes a slide at
// p = 1000).
// Amortised, a bounded number of passes per p slides: O(1) a slide on any input.
// A window whose state is not finite even when summed afresh (it holds an infinity) is not
// summed afresh again until the newest such value has left, or for p slides: at most one pass
// per p slides.
//
// Beside that, the windows are cut into stretches from the first (stretch_of: 4096 windows,
// or 16 p for a long window), each summed afresh at its start: the stretches are then
// independent, two run side by side in the halves of a vector register (walk_pairs), and a
// window's bits do not hang on how long the series is or on which stretches ran together.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/pairs.hpp"

namespace vorn::utils::moments {

inline constexpr double kRound = 0x1p-52;  // 2u: each addition's rounding, with room to spare

// The windows summed afresh, those of them summed in one pass about the mean their sums gave,
// and the origins found for the others (two passes each, beside the summing pass): counted in
// test builds. Out of the walks' lambdas: instantiated there, the sanitizers' build kept a copy
// of the counter that the registry does not read.
inline void counted_origin() noexcept { fast_path::taken_rarely<"moments_origin">(); }
inline void counted_summed(bool one_pass) noexcept {
    fast_path::taken_rarely<"moments_summed">();
    if (one_pass) fast_path::taken_rarely<"moments_near">();
}

// The sums of a window in one double, or of two windows side by side in a pairs::Pair (each
// half doing exactly the scalar steps). Cond<V>: a comparison's result (bool, or a Mask).
using pairs::Pair;
template <class V>
struct CondOf {
    using type = bool;
};
template <>
struct CondOf<Pair> {
    using type = pairs::Mask;
};
template <class V>
using Cond = typename CondOf<V>::type;
inline double mag(double x) noexcept { return std::fabs(x); }
inline Pair mag(Pair x) noexcept { return pairs::abs(x); }
inline bool all_of(bool a, bool b) noexcept { return a & b; }
inline pairs::Mask all_of(pairs::Mask a, pairs::Mask b) noexcept { return pairs::both_of(a, b); }
inline bool within(double a, double b) noexcept { return a <= b; }
inline pairs::Mask within(Pair a, Pair b) noexcept { return pairs::le(a, b); }
inline double lower(double a, double b) noexcept { return b < a ? b : a; }
inline Pair lower(Pair a, Pair b) noexcept { return pairs::min(b, a); }
inline double higher(double a, double b) noexcept { return b > a ? b : a; }
inline Pair higher(Pair a, Pair b) noexcept { return pairs::max(b, a); }

// The windows of a stretch (stretch_of) of a short window.
inline constexpr std::size_t kStretch = 4096;

// The error allowed a window of p bars, relative to its statistic's scale: 2^17 roundings for
// short windows, 2048 p for long ones (two passes gather about 2 p). The actual error stays
// far below it (on hourly FX closes, about 4e-15 in the median window and 7e-13 at worst);
// a tighter one would sum windows afresh more often where the spread wanders, and each time
// costs about a window's pass and a mispredicted branch.
inline double tolerance(std::size_t p) noexcept { return 0x1p-36 + static_cast<double>(p) * 0x1p-42; }

// A window's length and what the tests of its bounds need of it, formed once.
struct Span {
    double p, inv_p, tol, tol2;
    explicit Span(std::size_t period) noexcept
        : p(static_cast<double>(period)), inv_p(1.0 / p), tol(tolerance(period)), tol2(tol * tol) {}
};

// A window summed afresh is visited oldest first: visit(f) calls f on each value (or pair of
// values, for two series), visit.twos(two, one) calls two(a, b) on each pair of neighbours
// and one(a) on a last one left alone. Summing afresh runs two chains of additions, one for
// each value of a pair, so that each addition waits for every other value only.

// The values x[end + 1 - p .. end].
struct WindowOf {
    const double* x;
    std::size_t first, end;
    template <class F>
    [[gnu::always_inline]] void operator()(F&& f) const {
        for (std::size_t k = first; k <= end; ++k) f(x[k]);
    }
    template <class Two, class One>
    [[gnu::always_inline]] void twos(Two&& two, One&& one) const {
        std::size_t k = first;
        for (; k < end; k += 2) two(x[k], x[k + 1]);
        if (k == end) one(x[k]);
    }
};
inline WindowOf window_of(const double* x, std::size_t end, std::size_t p) noexcept { return {x, end + 1 - p, end}; }

// The pairs (a[k], b[k]) for k in end + 1 - p .. end.
struct WindowsOf {
    const double *a, *b;
    std::size_t first, end;
    template <class F>
    [[gnu::always_inline]] void operator()(F&& f) const {
        for (std::size_t k = first; k <= end; ++k) f(a[k], b[k]);
    }
    template <class Two, class One>
    [[gnu::always_inline]] void twos(Two&& two, One&& one) const {
        std::size_t k = first;
        for (; k < end; k += 2) two(a[k], b[k], a[k + 1], b[k + 1]);
        if (k == end) one(a[k], b[k]);
    }
};
inline WindowsOf window_of(const double* a, const double* b, std::size_t end, std::size_t p) noexcept {
    return {a, b, end + 1 - p, end};
}

// One series of a window of two.
template <int Side, class Visit>
struct SideOf {
    const Visit& visit;
    static double of(double a, double b) noexcept { return Side == 0 ? a : b; }
    template <class F>
    [[gnu::always_inline]] void operator()(F&& f) const {
        visit([&](double a, double b) __attribute__((always_inline)) { f(of(a, b)); });
    }
    template <class Two, class One>
    [[gnu::always_inline]] void twos(Two&& two, One&& one) const {
        visit.twos([&](double a0, double b0, double a1, double b1)
                       __attribute__((always_inline)) { two(of(a0, b0), of(a1, b1)); },
                   [&](double a, double b) __attribute__((always_inline)) { one(of(a, b)); });
    }
};

// The values at(0) .. at(n - 1).
template <class At>
struct Indexed {
    At at;
    std::size_t n;
    template <class F>
    [[gnu::always_inline]] void operator()(F&& f) const {
        for (std::size_t k = 0; k < n; ++k) f(at(k));
    }
    template <class Two, class One>
    [[gnu::always_inline]] void twos(Two&& two, One&& one) const {
        std::size_t k = 0;
        for (; k + 1 < n; k += 2) two(at(k), at(k + 1));
        if (k + 1 == n) one(at(k));
    }
};
template <class At>
Indexed<At> indexed(std::size_t n, At at) noexcept {
    return {at, n};
}

// The power of two a window's deviations are multiplied by, chosen when it is summed afresh
// from the binade of the largest of them (or of its deviation: within a few times of it):
// 1 where that is within 2^±64, so that squares, products of two spreads and their bounds stay
// far inside the range; else one that brings it near 1, within 2^±1000 so that it and its
// reciprocal are normal doubles. The scaling is exact (the values times a power of two, less
// the origin's), so a scaled window takes the same decisions and, unscaled, reads the same
// bits wherever its unscaled arithmetic neither overflowed nor went subnormal.
inline double scale_of_binade(int e) noexcept {
    if (e >= -64 && e <= 64) return 1.0;
    return std::ldexp(1.0, e < -1000 ? 1000 : (e > 1000 ? -1000 : -e));
}
// From the largest deviation: none (a flat window) or one not finite asks for no scale.
inline double scale_of_largest(double largest) noexcept {
    if (!(largest > 0.0) || !(largest <= std::numeric_limits<double>::max())) return 1.0;
    return scale_of_binade(std::ilogb(largest));
}

// v times two powers of two (the reciprocals of scales, or a scale and one), rounded once:
// their product where it is a normal double (1 on ordinary data: v itself), else by exponent,
// so that neither an overflow nor a subnormal on the way spoils a result within the range.
inline double unscaled(double v, double a, double b) noexcept {
    const double f = a * b;
    if (std::isnormal(f)) [[likely]]
        return v * f;
    return std::ldexp(v, std::ilogb(a) + std::ilogb(b));
}

// 1 / s for a normal power of two s (its exponent negated in its bits).
inline double reciprocal_of_power(double s) noexcept {
    return std::bit_cast<double>(0x7FE0000000000000ull - std::bit_cast<std::uint64_t>(s));
}
inline Pair reciprocal_of_power(Pair s) noexcept {
    return reinterpret_cast<Pair>(pairs::Mask{0x7FE0000000000000ll, 0x7FE0000000000000ll} - reinterpret_cast<pairs::Mask>(s));
}

// Where a window's deviations are taken from, and their scale. `at` NaN: none known.
struct Origin {
    double at = std::numeric_limits<double>::quiet_NaN(), scale = 1.0;
    bool known() const noexcept { return at == at; }
};
// No origin known: summing afresh finds one (origin_of).
inline constexpr Origin kNoOrigin{};

// The origin of a window's deviations: a value nearest its mean, of the non-NaN values that
// for_each(f) visits oldest first (0.0 where there are none), and the scale its deviations
// take from the largest of them (the window's extremes less the origin).
template <class ForEach>
[[gnu::always_inline]] inline Origin origin_of(ForEach&& for_each) noexcept {
    constexpr double down = 0x1p-64;  // the mean of values near the top of the range stays finite
    constexpr double kNone = std::numeric_limits<double>::infinity();
    double sum[2] = {0.0, 0.0}, count = 0.0, lo = kNone, hi = -kNone;
    auto add = [&](int j, double x) __attribute__((always_inline)) {
        sum[j] += x == x ? x * down : 0.0;
        count += x == x ? 1.0 : 0.0;
        lo = x < lo ? x : lo;  // NaN passes over both
        hi = x > hi ? x : hi;
    };
    for_each.twos([&](double a, double b) __attribute__((always_inline)) { add(0, a), add(1, b); },
                  [&](double a) __attribute__((always_inline)) { add(0, a); });
    if (count == 0.0) return {0.0, 1.0};
    const double mean = (sum[0] + sum[1]) / count;
    // The nearest of the values at even positions and of those at odd ones (the first found of
    // each); a tie between the two goes to the even one.
    double best[2] = {kNone, kNone}, c[2] = {0.0, 0.0};
    auto near = [&](int j, double x) __attribute__((always_inline)) {
        const double dist = std::fabs(x * down - mean);
        const bool closer = dist < best[j];  // false for NaN
        c[j] = closer ? x : c[j];
        best[j] = closer ? dist : best[j];
    };
    for_each.twos([&](double a, double b) __attribute__((always_inline)) { near(0, a), near(1, b); },
                  [&](double a) __attribute__((always_inline)) { near(0, a); });
    counted_origin();
    const double at = best[1] < best[0] ? c[1] : c[0];
    // The largest deviation, beyond the range where the values span more than it: then its
    // binade from the values scaled down.
    const double largest = hi - at > at - lo ? hi - at : at - lo;
    if (largest <= std::numeric_limits<double>::max()) return {at, scale_of_largest(largest)};
    const double scaled = hi * down - at * down > at * down - lo * down ? hi * down - at * down : at * down - lo * down;
    return {at, std::isfinite(scaled) ? scale_of_binade(std::ilogb(scaled) + 64) : 1.0};
}

// A running sum and the total g of the magnitudes whose rounding it holds (its error is at
// most kRound g).
template <class V = double>
struct Sum {
    V v{}, g{};

    // Summed afresh: one more term.
    [[gnu::always_inline]] void add(V t) noexcept {
        v += t;
        g += mag(v);
    }
    // Two sums of parts of a window as one.
    static Sum joined(const Sum& a, const Sum& b) noexcept {
        Sum r{a.v + b.v, a.g + b.g};
        r.g += mag(r.v);
        return r;
    }
    // A slide: t = in - out, formed here.
    [[gnu::always_inline]] void slide(V in, V out) noexcept {
        const V t = in - out;
        v += t;
        g += mag(t) + mag(v);
    }
    V error() const noexcept { return g * kRound; }
};

// The centred sum of squares from sums of deviations s1 and squares s2 of p values, and
// whether its error (from the sums' bounds) and that of the mean are within `tol` of it:
// the mean's within tol of one deviation, M2's within tol of itself.
template <class V = double>
struct Centred {
    V m2;
    Cond<V> exact;
};
template <class V>
[[gnu::always_inline]] inline Cond<V> spread_exact(const Sum<V>& s1, const Sum<V>& s2, V abs_s1, V m2,
                                                   const Span& w) noexcept {
    const V e1 = s1.error();
    const V e2 = s2.error() + (abs_s1 * 2.0 + e1) * (e1 * w.inv_p);
    return all_of(within(e2, m2 * w.tol), within(e1 * e1, m2 * (w.tol2 * w.p)));
}
template <class V>
[[gnu::always_inline]] inline Centred<V> centred(const Sum<V>& s1, const Sum<V>& s2, const Span& w) noexcept {
    const V m2 = s2.v - s1.v * (s1.v * w.inv_p);
    return {m2, spread_exact(s1, s2, mag(s1.v), m2, w)};
}

// A block of windows tested at once (walk_pairs). Every test above is of the form "bounds
// that grow with the totals g and with |Σd| within a tolerance that grows with M2", and each
// of its roundings is monotone; the totals only grow from one slide to the next. So the test
// passes on every window of a block where it passes on the block's last totals, its largest
// |Σd| and its smallest M2; the windows of a block where it does not are taken one at a time.
// (A reading that is NaN, which the extremes pass over, comes only with sums that are not
// finite, and so with totals that are not: the block's last totals fail the test. A negative
// M2 fails its own spread's test, before the product of two of them could pass.)
template <class V>
struct Lows {
    V m2 = V{} + std::numeric_limits<double>::infinity(), abs_s1{};
    [[gnu::always_inline]] void see(V m2_now, V s1_now) noexcept {
        m2 = lower(m2, m2_now);
        abs_s1 = higher(abs_s1, mag(s1_now));
    }
};

// One series: Σd and Σd² over the window, d = (x - c) s, s the window's scale (scale_of_binade;
// 1 on ordinary data) and u = 1 / s what takes a deviation back. With Nan, NaN values count
// apart and enter as c (d = 0); without, the values must hold none.
template <bool Nan, class V = double>
struct Spread {
    V cs{}, s = V{} + 1.0;  // c s, and s

    // 1 / s, from its bits (s a normal power of two: its exponent's negative): kept apart, it
    // (and c) would hold two more registers through every slide.
    [[gnu::always_inline]] V unit() const noexcept { return reciprocal_of_power(s); }
    Sum<V> s1, s2;
    std::uint64_t nans = 0;

    // x s - c s: (x - c) s exactly, where x - c alone could overflow. Plain: s is 1 (the
    // slides of an ordinary window leave the multiplication out; the same bits).
    template <bool Plain = false>
    [[gnu::always_inline]] V dev(V x) const noexcept {
        const V d = Plain ? x - cs : x * s - cs;
        if constexpr (Nan) return x == x ? d : 0.0;
        return d;
    }
    // Whether the scale is 1 (in both halves).
    [[gnu::always_inline]] bool plain() const noexcept {
        if constexpr (std::is_same_v<V, double>) return s == 1.0;
        else return pairs::halves(s == 1.0) == 3;
    }
    static std::uint64_t is_nan(double x) noexcept { return Nan && !(x == x); }
    void set_origin(const Origin& o) noexcept { s = o.scale, cs = o.at * o.scale; }

    // The window summed afresh. Inlined with every visit it makes (a call handed the state, or a
    // visitor holding its address, would keep the state a loop slides in memory).
    // `near`: an origin known to lie within half a deviation of the window's mean (near()), or
    // none, to find the value nearest the mean.
    template <class ForEach>
    [[gnu::always_inline]] static Spread summed(ForEach for_each, Origin near = kNoOrigin) noexcept {
        Spread r;
        r.set_origin(near.known() ? near : origin_of(for_each));
        counted_summed(near.known());
        Sum<> s1[2], s2[2];
        auto add = [&](int j, double x) __attribute__((always_inline)) {
            r.nans += is_nan(x);
            const double d = r.dev(x);
            s1[j].add(d);
            s2[j].add(d * d);
        };
        for_each.twos([&](double a, double b) __attribute__((always_inline)) { add(0, a), add(1, b); },
                      [&](double a) __attribute__((always_inline)) { add(0, a); });
        r.s1 = Sum<>::joined(s1[0], s1[1]);
        r.s2 = Sum<>::joined(s2[0], s2[1]);
        return r;
    }
    template <bool Plain = false>
    [[gnu::always_inline]] void slide(V out, V in) noexcept {
        if constexpr (Nan) nans = nans + is_nan(in) - is_nan(out);
        const V di = dev<Plain>(in), dout = dev<Plain>(out);
        s1.slide(di, dout);
        s2.slide(di * di, dout * dout);
    }
    [[gnu::always_inline]] Centred<V> centred(const Span& w) const noexcept { return moments::centred(s1, s2, w); }
    // A block's windows at once (Lows).
    using Watch = Lows<V>;
    [[gnu::always_inline]] void see(Watch& k, const Centred<V>& r) const noexcept { k.see(r.m2, s1.v); }
    [[gnu::always_inline]] Cond<V> exact_over(const Watch& k, const Span& w) const noexcept {
        return spread_exact(s1, s2, k.abs_s1, k.m2, w);
    }
    // A second moment (of the scaled deviations) in the values' units.
    double square_unscaled(double v) const noexcept { return s == 1.0 ? v : unscaled(v, unit(), unit()); }
    // The window's mean, from a mean of its deviations.
    // (c s + m) / s rounds once, as c + m / s does (1 / s exact), and is c + m where s is 1.
    [[gnu::always_inline]] V mean(V dev_mean) const noexcept { return (cs + dev_mean) * unit(); }
    // The mean as the sums give it, where they give it within half a deviation, and none where
    // they do not (or the window holds a NaN, or has no spread). Summed afresh about it, a
    // window has Σd² <= 1.25 M2 as about the value nearest its mean, in one pass, not three;
    // its largest deviation is within 1.5 of its deviation's root, whose binade sets its scale.
    // Both need M2 itself to be known (within a quarter): a spread that is all rounding (the
    // residue of a value that left) would set the scale by it, and the window's squares could
    // then vanish below the subnormals.
    Origin near(const Span& w) const noexcept {
        const double m2 = s2.v - s1.v * (s1.v * w.inv_p), e1 = s1.error(), at = mean(s1.v * w.inv_p);
        const double e2 = s2.error() + (std::fabs(s1.v) * 2.0 + e1) * (e1 * w.inv_p);
        const bool known = nans == 0 && m2 > 0.0 && m2 <= std::numeric_limits<double>::max() && e2 * 4.0 <= m2 &&
                           (e1 * e1) * 4.0 <= m2 * w.p && std::isfinite(at);
        if (!known) return kNoOrigin;
        return {at, scale_of_binade(std::ilogb(m2) / 2 - std::ilogb(s))};
    }
};

// Two series over the same bars: both spreads and Σ dx dy. With Nan, a bar with NaN in either
// series counts once (in x's count), and each NaN enters as its own origin.
template <bool Nan, class V = double>
struct CoSpread {
    Spread<Nan, V> x, y;
    Sum<V> sxy;

    struct Moments {
        V mx, my, cxy;  // centred
        Cond<V> exact;
    };

    template <class ForEach>
    [[gnu::always_inline]] static CoSpread summed(ForEach for_each, Origin near_x = kNoOrigin,
                                                 Origin near_y = kNoOrigin) noexcept {
        CoSpread r;
        r.x.set_origin(near_x.known() ? near_x : origin_of(SideOf<0, ForEach>{for_each}));
        r.y.set_origin(near_y.known() ? near_y : origin_of(SideOf<1, ForEach>{for_each}));
        counted_summed(near_x.known() && near_y.known());
        Sum<> s[2][5];
        auto add = [&](int j, double a, double b) __attribute__((always_inline)) {
            r.x.nans += Spread<Nan>::is_nan(a) | Spread<Nan>::is_nan(b);
            const double da = r.x.dev(a), db = r.y.dev(b);
            s[j][0].add(da), s[j][1].add(da * da);
            s[j][2].add(db), s[j][3].add(db * db);
            s[j][4].add(da * db);
        };
        for_each.twos(
            [&](double a0, double b0, double a1, double b1) __attribute__((always_inline)) {
                add(0, a0, b0), add(1, a1, b1);
            },
            [&](double a, double b) __attribute__((always_inline)) { add(0, a, b); });
        r.x.s1 = Sum<>::joined(s[0][0], s[1][0]), r.x.s2 = Sum<>::joined(s[0][1], s[1][1]);
        r.y.s1 = Sum<>::joined(s[0][2], s[1][2]), r.y.s2 = Sum<>::joined(s[0][3], s[1][3]);
        r.sxy = Sum<>::joined(s[0][4], s[1][4]);
        return r;
    }
    [[gnu::always_inline]] bool plain() const noexcept { return x.plain() && y.plain(); }
    template <bool Plain = false>
    [[gnu::always_inline]] void slide(V out_a, V out_b, V in_a, V in_b) noexcept {
        if constexpr (Nan) {
            using S = Spread<Nan>;
            x.nans = x.nans + (S::is_nan(in_a) | S::is_nan(in_b)) - (S::is_nan(out_a) | S::is_nan(out_b));
        }
        const V ia = x.template dev<Plain>(in_a), oa = x.template dev<Plain>(out_a);
        const V ib = y.template dev<Plain>(in_b), ob = y.template dev<Plain>(out_b);
        x.s1.slide(ia, oa), x.s2.slide(ia * ia, oa * oa);
        y.s1.slide(ib, ob), y.s2.slide(ib * ib, ob * ob);
        sxy.slide(ia * ib, oa * ob);
    }
    std::uint64_t nans() const noexcept { return x.nans; }
    // Summed afresh about the origins the sums give (Spread::near); the count of NaN is x's.
    template <class ForEach>
    [[gnu::always_inline]] static CoSpread summed_after(ForEach for_each, const CoSpread& was, const Span& w) noexcept {
        const bool counted = was.x.nans == 0;
        return summed(for_each, counted ? was.x.near(w) : kNoOrigin, counted ? was.y.near(w) : kNoOrigin);
    }
    // The cross moment's error within tol of the geometric mean of the two spreads.
    [[gnu::always_inline]] Cond<V> exact_at(const Lows<V>& lx, const Lows<V>& ly, const Span& w) const noexcept {
        const V ex = x.s1.error(), ey = y.s1.error();
        const V e = sxy.error() + (lx.abs_s1 * ey + ly.abs_s1 * ex + ex * ey) * w.inv_p;
        return all_of(all_of(spread_exact(x.s1, x.s2, lx.abs_s1, lx.m2, w), spread_exact(y.s1, y.s2, ly.abs_s1, ly.m2, w)),
                      within(e * e, (lx.m2 * ly.m2) * w.tol2));
    }
    [[gnu::always_inline]] Moments moments(const Span& w) const noexcept {
        const V mx = x.s2.v - x.s1.v * (x.s1.v * w.inv_p), my = y.s2.v - y.s1.v * (y.s1.v * w.inv_p);
        const V cxy = sxy.v - x.s1.v * y.s1.v * w.inv_p;  // symmetric in x and y
        return {mx, my, cxy, exact_at({mx, mag(x.s1.v)}, {my, mag(y.s1.v)}, w)};
    }
    // A cross moment in the values' units, and a ratio of x's deviations to y's (a regression
    // of x on y) likewise.
    double cross_unscaled(double v) const noexcept {
        return (x.s == 1.0) & (y.s == 1.0) ? v : unscaled(v, x.unit(), y.unit());
    }
    double ratio_unscaled(double v) const noexcept { return x.s == y.s ? v : unscaled(v, x.unit(), y.s); }
    struct Watch {
        Lows<V> x, y;
    };
    [[gnu::always_inline]] void see(Watch& k, const Moments& r) const noexcept {
        k.x.see(r.mx, x.s1.v);
        k.y.see(r.my, y.s1.v);
    }
    [[gnu::always_inline]] Cond<V> exact_over(const Watch& k, const Span& w) const noexcept {
        return exact_at(k.x, k.y, w);
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
template <bool Nan, class V = double>
struct LineSpread {
    Spread<Nan, V> y;
    Sum<V> sjy;

    // The fit: its slope, its value at the window's first position and at its middle (the
    // window's mean), in the values' units; sxy_c and syy_c centred, of the scaled deviations
    // (unit takes a deviation back).
    struct Fit {
        V slope, intercept, level, sxy_c, syy_c, unit;
        Cond<V> exact;
    };

    template <class ForEach>
    [[gnu::always_inline]] static LineSpread summed(ForEach for_each, Origin near = kNoOrigin) noexcept {
        LineSpread r;
        r.y.set_origin(near.known() ? near : origin_of(for_each));
        counted_summed(near.known());
        Sum<> s1[2], s2[2], sjy[2];
        double pos = 0.0;
        auto add = [&](int j, double v) __attribute__((always_inline)) {
            r.y.nans += Spread<Nan>::is_nan(v);
            const double d = r.y.dev(v), t = (pos + j) * d;
            s1[j].add(d);
            s2[j].add(d * d);
            sjy[j].v += t;
            sjy[j].g += mag(sjy[j].v) + mag(t);  // the product's rounding stays in the sum
        };
        for_each.twos(
            [&](double a, double b) __attribute__((always_inline)) {
                add(0, a), add(1, b);
                pos += 2.0;
            },
            [&](double a) __attribute__((always_inline)) { add(0, a); });
        r.y.s1 = Sum<>::joined(s1[0], s1[1]);
        r.y.s2 = Sum<>::joined(s2[0], s2[1]);
        r.sjy = Sum<>::joined(sjy[0], sjy[1]);
        return r;
    }
    [[gnu::always_inline]] bool plain() const noexcept { return y.plain(); }
    template <bool Plain = false>
    [[gnu::always_inline]] void slide(V out, V in, double last_pos) noexcept {
        const V di = y.template dev<Plain>(in), dout = y.template dev<Plain>(out);
        const V rest = y.s1.v - dout, enter = di * last_pos, t = enter - rest;
        sjy.v += t;
        // The rounding of the rest, of the entering product, of their difference and of the
        // sum, and the error of the rest's Σd itself.
        sjy.g += (((mag(rest) + mag(enter)) + mag(t)) + y.s1.g) + mag(sjy.v);
        y.template slide<Plain>(out, in);
    }
    [[gnu::always_inline]] Cond<V> exact_at(const Lows<V>& l, const LineConstants& k, const Span& w) const noexcept {
        const V e = sjy.error() + y.s1.error() * k.mean_x;
        return all_of(spread_exact(y.s1, y.s2, l.abs_s1, l.m2, w), within(e * e, l.m2 * (w.tol2 * k.sxx)));
    }
    // The residual Σd² - (Σ j d)² / Sxx is a difference of the spread and the line's share
    // of it, and its error is bounded against the spread, not against itself: near a line,
    // where the residual is a small part of the spread, that bound may be most of it. So a
    // bound of its own: the errors of Σd² and Σ j d as exact_at bounds them (e2, e), and
    // beside those the roundings that centre the sums and those of the deviations and their
    // squares (u Σd² at first order; the tolerance absorbs them in the spread, a small
    // residual does not), each within a few of e2 or e, as every g holds its sum's magnitude
    // and (Σd)² <= p Σd².
    [[gnu::always_inline]] V residual_bound(V sxy_c, const LineConstants& k, const Span& w) const noexcept {
        const V e1 = y.s1.error();
        const V e2 = y.s2.error() + (mag(y.s1.v) * 2.0 + e1) * (e1 * w.inv_p);
        const V e = sjy.error() + e1 * k.mean_x;
        return e2 * 6.0 + (mag(sxy_c) + e * 3.0) * (e * (k.inv_sxx * 4.0));
    }
    // The same per unit of the spread, for a fit that is exact (e2 <= tol M2, e <= tol sqrt(M2
    // Sxx)) and whose residual is not negative (|sxy_c| <= sqrt(M2 Sxx)): no sums needed.
    static double residual_share(const Span& w) noexcept { return (10.0 + 12.0 * w.tol) * w.tol; }
    [[gnu::always_inline]] Fit fit(const LineConstants& k, const Span& w) const noexcept {
        const V m2 = y.s2.v - y.s1.v * (y.s1.v * w.inv_p);
        const V sxy_c = sjy.v - y.s1.v * k.mean_x;
        const V slope = sxy_c * k.inv_sxx;  // of the scaled deviations
        const V intercept = y.mean(y.s1.v * w.inv_p - slope * k.mean_x);
        const V level = y.mean(y.s1.v * w.inv_p);
        const V u = y.unit();
        return {slope * u, intercept, level, sxy_c, m2, u, exact_at({m2, mag(y.s1.v)}, k, w)};
    }
    using Watch = Lows<V>;
    [[gnu::always_inline]] void see(Watch& l, const Fit& f) const noexcept { l.see(f.syy_c, y.s1.v); }
    [[gnu::always_inline]] Cond<V> exact_over(const Watch& l, const LineConstants& k, const Span& w) const noexcept {
        return exact_at(l, k, w);
    }
};

// A window's least-squares line from one pass over the deviations from `origin` (a value of
// the window): its level at the middle and its slope, as near as such a pass gives them.
// Visited as a window summed afresh (visit.twos), NaN-free.
struct Line {
    double level, slope;
};
template <class ForEach>
inline Line line_through(ForEach for_each, double origin, const LineConstants& k) noexcept {
    double s0[2] = {0.0, 0.0}, s1[2] = {0.0, 0.0}, at = -k.mean_x;
    auto add = [&](int j, double v, double dx) {
        const double d = v - origin;
        s0[j] += d, s1[j] += d * dx;
    };
    for_each.twos(
        [&](double a, double b) {
            add(0, a, at), add(1, b, at + 1.0);
            at += 2.0;
        },
        [&](double a) { add(0, a, at); });
    return {origin + (s0[0] + s0[1]) / k.p, (s1[0] + s1[1]) * k.inv_sxx};
}

// The squares of the residuals of a window's least-squares line, summed from the residuals
// themselves: each value's deviation from the line's level less its slope times the
// position's deviation from the middle (line_through, then this pass). What mean and slope the
// residuals still hold is taken out by their own least-squares line in the same pass, the
// correcting one: the line's error enters at second order. What is left is the rounding of
// the residuals and of the line's share of each deviation: a few u sqrt(Σd² / residual) of
// the residual.
template <class ForEach>
inline double residual_squares(ForEach for_each, double origin, const LineConstants& k) noexcept {
    const Line line = line_through(for_each, origin, k);
    double s0[2] = {0.0, 0.0}, s1[2] = {0.0, 0.0}, s2[2] = {0.0, 0.0}, at = -k.mean_x;
    auto add = [&](int j, double v, double dx) {
        const double r = (v - line.level) - line.slope * dx;
        s0[j] += r, s1[j] += r * dx, s2[j] += r * r;
    };
    for_each.twos(
        [&](double a, double b) {
            add(0, a, at), add(1, b, at + 1.0);
            at += 2.0;
        },
        [&](double a) { add(0, a, at); });
    const double sr = s0[0] + s0[1], sxr = s1[0] + s1[1];
    return ((s2[0] + s2[1]) - sr * sr / k.p) - sxr * (sxr * k.inv_sxx);
}

// Two windows' states side by side (their stretches' lanes), and back. A half is written by
// a mask, not by its index: a half written by its index would keep the pair in memory.
inline Pair pack(double a, double b) noexcept { return Pair{a, b}; }
inline Sum<Pair> pack(const Sum<>& a, const Sum<>& b) noexcept { return {Pair{a.v, b.v}, Pair{a.g, b.g}}; }
inline Spread<false, Pair> pack(const Spread<false>& a, const Spread<false>& b) noexcept {
    Spread<false, Pair> r;
    r.cs = pack(a.cs, b.cs), r.s = pack(a.s, b.s);
    r.s1 = pack(a.s1, b.s1), r.s2 = pack(a.s2, b.s2);
    return r;
}
inline CoSpread<false, Pair> pack(const CoSpread<false>& a, const CoSpread<false>& b) noexcept {
    CoSpread<false, Pair> r;
    r.x = pack(a.x, b.x), r.y = pack(a.y, b.y), r.sxy = pack(a.sxy, b.sxy);
    return r;
}
inline LineSpread<false, Pair> pack(const LineSpread<false>& a, const LineSpread<false>& b) noexcept {
    LineSpread<false, Pair> r;
    r.y = pack(a.y, b.y), r.sjy = pack(a.sjy, b.sjy);
    return r;
}
inline pairs::Mask lane_mask(int j) noexcept { return j == 0 ? pairs::Mask{-1, 0} : pairs::Mask{0, -1}; }
inline void set_lane(Pair& r, pairs::Mask m, double v) noexcept { r = pairs::select(m, pairs::both(v), r); }
inline void set_lane(Sum<Pair>& r, pairs::Mask m, const Sum<>& a) noexcept { set_lane(r.v, m, a.v), set_lane(r.g, m, a.g); }
inline void set_lane(Spread<false, Pair>& r, pairs::Mask m, const Spread<false>& a) noexcept {
    set_lane(r.cs, m, a.cs), set_lane(r.s, m, a.s);
    set_lane(r.s1, m, a.s1), set_lane(r.s2, m, a.s2);
}
inline void set_lane(CoSpread<false, Pair>& r, pairs::Mask m, const CoSpread<false>& a) noexcept {
    set_lane(r.x, m, a.x), set_lane(r.y, m, a.y), set_lane(r.sxy, m, a.sxy);
}
inline void set_lane(LineSpread<false, Pair>& r, pairs::Mask m, const LineSpread<false>& a) noexcept {
    set_lane(r.y, m, a.y), set_lane(r.sjy, m, a.sjy);
}
inline Sum<> lane(const Sum<Pair>& s, int j) noexcept { return {s.v[j], s.g[j]}; }
inline Spread<false> lane(const Spread<false, Pair>& s, int j) noexcept {
    Spread<false> r;
    r.cs = s.cs[j], r.s = s.s[j], r.s1 = lane(s.s1, j), r.s2 = lane(s.s2, j);
    return r;
}
inline CoSpread<false> lane(const CoSpread<false, Pair>& s, int j) noexcept {
    CoSpread<false> r;
    r.x = lane(s.x, j), r.y = lane(s.y, j), r.sxy = lane(s.sxy, j);
    return r;
}
inline LineSpread<false> lane(const LineSpread<false, Pair>& s, int j) noexcept {
    LineSpread<false> r;
    r.y = lane(s.y, j), r.sjy = lane(s.sjy, j);
    return r;
}
inline Centred<> lane(const Centred<Pair>& c, int j) noexcept { return {c.m2[j], c.exact[j] != 0}; }
inline CoSpread<false>::Moments lane(const CoSpread<false, Pair>::Moments& m, int j) noexcept {
    return {m.mx[j], m.my[j], m.cxy[j], m.exact[j] != 0};
}
inline LineSpread<false>::Fit lane(const LineSpread<false, Pair>::Fit& f, int j) noexcept {
    return {f.slope[j], f.intercept[j], f.level[j], f.sxy_c[j], f.syy_c[j], f.unit[j], f.exact[j] != 0};
}

// A value no scale brings into the range: a window that holds one is not finite however it
// is summed.
inline bool unbounded(double x) noexcept { return std::isinf(x); }

// The first window after the one ending at i that a window summed afresh and still not exact
// waits for: the first without the newest bad bar (or, failing one, p slides on).
template <class Bad>
std::size_t held_until(std::size_t i, std::size_t p, Bad&& bad) noexcept {
    for (std::size_t k = i + 1; k-- > i + 1 - p;)
        if (bad(k)) return k + p;
    return i + p;
}

// Windows from one summing afresh to the next, whatever the bounds say: the windows are cut
// into stretches from the first, each summed afresh at its start, so that the stretches are
// independent and a window's value does not depend on how long the series is. A stretch is
// kStretch windows, or 16 p for a long window: its start costs a few passes over the window,
// once per order of p slides.
inline std::size_t stretch_of(std::size_t p) noexcept { return p <= kStretch / 16 ? kStretch : 16 * p; }


// How every walk and stream sums a window afresh, the one rule for all of them: `again` (a
// window whose slid state is at hand) in one pass about the mean its sums give, kept where it
// is then within its tolerance; otherwise (a stretch's start, or the sums gave no mean, or one
// pass did not suffice) about the value nearest its mean. A window still not exact holds an
// infinity (bad(k): bar k does): it is not summed afresh again before `hold` (held_until).
// rebuild(again) sums the state afresh; exact() reads it.
template <class Rebuild, class Exact, class Bad>
[[gnu::always_inline]] inline void sum_afresh(std::size_t i, std::size_t p, bool again, std::size_t& hold,
                                              Rebuild&& rebuild, Exact&& exact, Bad&& bad) {
    if (again) {
        rebuild(true);
        if (exact()) return;
    }
    rebuild(false);
    if (!exact()) hold = held_until(i, p, bad);
}

// Windows tested at once by walk_pairs (Lows): a block is read and emitted, then tested; a
// block where the test fails in either half is taken again from its first window, one window
// at a time, as walk() takes it.
inline constexpr std::size_t kBlock = 4;

// The stretches of a series free of NaN two whole ones at a time from `from`, one per half of
// the state: each half takes exactly the steps walk() takes for its stretch. summed(i): the
// scalar state of the window ending at i; result(state): its reading, whose `exact` says
// whether it is within its tolerance; over(state, watch): the test of a block of windows
// that state.see(watch, reading) has seen; slide(pair, i0, i1) moves both windows one bar;
// emit(i, scalar state, scalar reading), called again for a window whose half was summed
// afresh when its block was taken again (it then writes every output of window i again).
// Returns the first window of the stretches left.
template <class Summed, class Result, class Over, class SlidePair, class Emit, class Bad>
[[gnu::always_inline]] inline std::size_t walk_pairs(std::size_t n, std::size_t p, std::size_t from, Summed&& summed,
                                                     Result&& result, Over&& over, SlidePair&& slide, Emit&& emit,
                                                     Bad&& bad) {
    const std::size_t stretch = stretch_of(p);
    if (n - from >= 2 * stretch) fast_path::taken<"moments_lanes">();
    for (; n - from >= 2 * stretch; from += 2 * stretch) {
        const std::size_t start[2] = {from, from + stretch};
        std::size_t hold[2] = {0, 0};
        decltype(summed(from)) one[2];
        for (int j = 0; j < 2; ++j)
            sum_afresh(
                start[j], p, false, hold[j], [&](bool) __attribute__((always_inline)) { one[j] = summed(start[j]); },
                [&] __attribute__((always_inline)) { return result(one[j]).exact; }, bad);
        const auto r0 = result(one[0]), r1 = result(one[1]);
        emit(start[0], one[0], r0);
        emit(start[1], one[1], r1);
        auto st = pack(one[0], one[1]);
        for (std::size_t first = 1; first < stretch; first += kBlock) {
            const std::size_t last = first + kBlock < stretch ? first + kBlock : stretch;
            const auto kept = st;
            typename decltype(st)::Watch watch;
            // A block of ordinary windows (both scales 1) slides without the scales' products.
            auto block = [&](auto plain) __attribute__((always_inline)) {
                for (std::size_t t = first; t < last; ++t) {
                    slide(st, start[0] + t, start[1] + t, plain);
                    const auto r = result(st);
                    st.see(watch, r);
                    emit(start[0] + t, lane(st, 0), lane(r, 0));
                    emit(start[1] + t, lane(st, 1), lane(r, 1));
                }
            };
            if (st.plain()) [[likely]]
                block(std::true_type{});
            else
                block(std::false_type{});
            if (pairs::halves(over(st, watch)) == 3) [[likely]]
                continue;
            // Taken again: a half reads what it read until it is first summed afresh. Counted in
            // test builds, so that a test sees blocks taken again where none is summed afresh.
            fast_path::taken_rarely<"moments_again">();
            st = kept;
            bool changed[2] = {false, false};
            for (std::size_t t = first; t < last; ++t) {
                const std::size_t at[2] = {start[0] + t, start[1] + t};
                slide(st, at[0], at[1], std::false_type{});
                auto r = result(st);
                if (const int off = 3 & ~pairs::halves(r.exact)) {
                    for (int j = 0; j < 2; ++j) {
                        if (!((off >> j) & 1) || at[j] < hold[j]) continue;
                        fast_path::taken_rarely<"moments_afresh">();
                        const auto was = lane(st, j);
                        auto fresh = was;
                        sum_afresh(
                            at[j], p, true, hold[j],
                            [&](bool again) __attribute__((always_inline)) {
                                fresh = again ? summed(at[j], was) : summed(at[j]);
                            },
                            [&] __attribute__((always_inline)) { return result(fresh).exact; }, bad);
                        set_lane(st, lane_mask(j), fresh);
                        changed[j] = true;
                    }
                    r = result(st);
                }
                if (changed[0]) emit(at[0], lane(st, 0), lane(r, 0));
                if (changed[1]) emit(at[1], lane(st, 1), lane(r, 1));
            }
        }
    }
    return from;
}

// Every window of p bars of a series, in order, from the stretch (stretch_of(p)) whose first
// window ends at `from`: rebuild(i, again) sums the window ending at i afresh (sum_afresh),
// slide(i) moves the window to end at i, exact() tells whether the state is within its
// tolerance, emit(i) reads it. Each stretch starts summed afresh. A window summed afresh that
// is still not exact holds an infinity (bad(k): bar k holds one): it is not summed afresh
// again until the newest such bar has left (or, failing one, for p slides).
// p - 1 <= from < n, from - (p - 1) a multiple of the stretch.
template <class Rebuild, class Slide, class Exact, class Emit, class Bad>
[[gnu::always_inline]] inline void walk(std::size_t n, std::size_t p, std::size_t from, Rebuild&& rebuild,
                                        Slide&& slide, Exact&& exact, Emit&& emit, Bad&& bad) {
    const std::size_t stretch = stretch_of(p);
    std::size_t hold = 0;
    // Inlined, as every step is: a call handed the state would keep it in memory.
    auto afresh = [&](std::size_t i, bool again) __attribute__((always_inline)) {
        sum_afresh(
            i, p, again, hold, [&](bool a) __attribute__((always_inline)) { rebuild(i, a); }, exact, bad);
    };
    for (std::size_t first = from; first < n; first += stretch) {
        const std::size_t end = n - first > stretch ? first + stretch : n;
        hold = 0;
        afresh(first, false);
        emit(first);
        for (std::size_t i = first + 1; i < end; ++i) {
            slide(i);
            if (!exact() && i >= hold) [[unlikely]] {
                // Counted in test builds, so that a test sees a window summed afresh too often.
                fast_path::taken_rarely<"moments_afresh">();
                afresh(i, true);
            }
            emit(i);
        }
    }
}

// Every window of a series: two whole stretches side by side while they last where `Pairs`
// (a series free of NaN), the rest one window at a time. summed(i): the state of the window
// ending at i summed afresh; result(state): its reading (`exact` within tolerance);
// slide_pair(pair, i0, i1, plain) and slide(state, i, plain) move the windows one bar (plain:
// a std::bool_constant, true where every scale is 1); emit(i, state, reading). 1 <= p <= n.
template <bool Pairs, class Summed, class Result, class Over, class SlidePair, class Slide, class Emit, class Bad>
[[gnu::always_inline]] inline void sweep(std::size_t n, std::size_t p, Summed&& summed, Result&& result, Over&& over,
                                         SlidePair&& slide_pair, Slide&& slide, Emit&& emit, Bad&& bad) {
    std::size_t from = p - 1;
    if constexpr (Pairs) {
        from = walk_pairs(n, p, from, summed, result, over, slide_pair, emit, bad);
        if (from >= n) return;
    }
    decltype(summed(from)) st{};
    decltype(result(st)) r{};
    walk(
        n, p, from,
        [&](std::size_t i, bool again) __attribute__((always_inline)) { st = again ? summed(i, st) : summed(i); },
        [&](std::size_t i) __attribute__((always_inline)) {
            if (st.plain()) [[likely]]
                slide(st, i, std::true_type{});
            else
                slide(st, i, std::false_type{});
        },
        [&] __attribute__((always_inline)) { return (r = result(st)).exact; },
        [&](std::size_t i) __attribute__((always_inline)) { emit(i, st, r); }, bad);
}

}  // namespace vorn::utils::moments
