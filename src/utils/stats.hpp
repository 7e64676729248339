#pragma once
// Sliding-window statistics shared across indicator families. None of these validates or
// fails: a period outside the usable range gives a series that is NaN throughout, and an
// empty input gives an empty result. Callers validate first.
//
// Plain window sums are compensated and, to bound drift, recomputed from scratch on a fixed
// schedule (utils/sliding.hpp), and also after a slide that leaves them infinite or NaN (an
// overflowed sum) or after which a value that passed through them outweighs the window
// (utils::WindowWeight), so neither outlives the bars that caused it. A plain sum whose
// window stays beyond the double range is not recomputed on every slide: it is taken over by
// scaled sums until the window fits again (utils/beyond_range.hpp). The second moments
// (deviation, correlation, the least-squares line) follow their own error bounds instead
// (utils/moments.hpp).
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "errors/errors.hpp"
#include "utils/beyond_range.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/kahan.hpp"
#include "utils/moments.hpp"
#include "utils/pairs.hpp"
#include "utils/series.hpp"
#include "utils/sliding.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::stats {

struct RegressionSeries {
    Series slope, intercept, r_squared;
    auto as_tuple() const { return std::tie(slope, intercept, r_squared); }
};

// Window extrema, O(n); of equal values (0.0 and -0.0) the latest is returned. A window
// holding a NaN gives NaN. 1 <= period <= len.
Series rolling_max(std::span<const double> values, std::uint64_t period);
Series rolling_min(std::span<const double> values, std::uint64_t period);

// Both of the above over one series, in one pass: exactly rolling_max and rolling_min.
struct WindowExtremes {
    Series max, min;
};
WindowExtremes rolling_max_min(std::span<const double> values, std::uint64_t period);

// rolling_max of `high` and rolling_min of `low` (as long as `high` at least) in one pass, for
// series the caller has checked to hold no NaN: their windows are never blanked, so the pass
// that looks for a NaN is left out.
WindowExtremes rolling_high_low(std::span<const double> high, std::span<const double> low, std::uint64_t period);

namespace window {
using moments::LineConstants;

// The selections of the rolling extremes: of two equal values (0.0 and -0.0) the later one
// is kept. Written so that they compile to plain max/min instructions.
inline double pick_max(double later, double earlier) noexcept { return earlier > later ? earlier : later; }
inline double pick_min(double later, double earlier) noexcept { return earlier < later ? earlier : later; }
}  // namespace window

// rolling_max_min one bar at a time over a series that may still be growing, with its
// selections in its order (the blocks of block_extremes, each block's suffix extremes taken
// when the block after it begins): step(i) reads x up to i. Steps go 0, 1, 2, ... in order;
// NaN before period - 1, and for a window holding a NaN. Any period >= 1 (beyond the data:
// NaN throughout).
class MaxMinWindow {
public:
    struct Extremes {
        double max, min;
    };

    MaxMinWindow(std::span<const double> x, std::uint64_t period)
        : x_(x), p_(period), fits_(period <= x.size()), kept_(fits_ ? 2 * period : 0) {}

    [[gnu::always_inline]] Extremes step(std::size_t i) noexcept {
        if (!fits_) return {NaN, NaN};
        const double v = x_[i];
        if (std::isnan(v)) after_nan_ = i + 1;
        if (i == next_block_) [[unlikely]] begin_block(i);
        max_ = window::pick_max(v, max_);
        min_ = window::pick_min(v, min_);
        // Before the first window, and for a window that holds a NaN (it began at or before
        // the latest NaN).
        if (i + 1 < p_ + after_nan_) return {NaN, NaN};
        if (i + 1 - start_ == p_) return {max_, min_};
        const std::size_t j = i - start_;
        return {window::pick_max(max_, kept_[2 * j]), window::pick_min(min_, kept_[2 * j + 1])};
    }

private:
    // The window ending at start + j (j < p - 1) also holds the previous block's bars from
    // start + j + 1 - p on: their extremes, latest first.
    void begin_block(std::size_t i) noexcept {
        start_ = i;
        next_block_ = i + p_;
        max_ = min_ = x_[i];
        if (i == 0) return;
        double tail_max = x_[i - 1], tail_min = x_[i - 1];
        for (std::size_t j = p_ - 1; j-- > 0;) {
            const double e = x_[i + j + 1 - p_];
            tail_max = window::pick_max(tail_max, e);
            tail_min = window::pick_min(tail_min, e);
            kept_[2 * j] = tail_max;
            kept_[2 * j + 1] = tail_min;
        }
    }

    std::span<const double> x_;
    std::size_t p_;
    bool fits_;
    Scratch<> kept_;  // the previous block's suffix extremes, max and min side by side
    std::size_t start_ = 0, next_block_ = 0;
    double max_ = 0.0, min_ = 0.0;
    std::size_t after_nan_ = 0;  // the bar after the latest NaN
};

// Compensated rolling sum; NaN elements are skipped (a window of NaN only sums to 0.0), a
// window of zeros sums to exactly 0.0, and one without negative terms is never below 0.
// Rebuilt on sliding::OnEveryThousandth. It is RollingSumWindow stepped over the series.
Series rolling_sum_kahan(std::span<const double> values, std::uint64_t period);

// rolling_sum_kahan one bar at a time over a series that may still be growing, with its
// arithmetic and its rebuilds: step(i) gives the sum of the window ending at i (NaN before
// period - 1). It reads x[i] and, on a slide, x[i - period] (the whole window on the first
// one and on a rebuild), so every bar up to i must be written. Several sums stepped side by
// side in one pass overlap their compensated-addition chains, which a sum's own pass runs
// one after another. Steps go 0, 1, 2, ... in order; period >= 1.
class RollingSumWindow {
public:
    RollingSumWindow(std::span<const double> x, std::uint64_t period) noexcept : x_(x), p_(period) {}

    // Inlined into the caller's loop, where the sum stays in registers between steps.
    [[gnu::always_inline]] double step(std::size_t i) noexcept {
        if (i + 1 < p_) return NaN;
        sliding::Event e = sliding::Event::none;
        if (i + 1 == p_ || schedule_.rebuilds())
            e = beyond_.active() ? sliding::Event::scheduled : sliding::Event::rebuild;
        bool passes = false;
        if (e == sliding::Event::none) {
            const double v = x_[i], o = x_[i - p_];
            if (!std::isnan(v)) sum_.add(v);
            if (!std::isnan(o)) sum_.add(-o);
            // Settled inline: a call handed the weight's address would pin this whole window,
            // the sum with it, to memory, a store and a load in every compensated addition's
            // chain (or, with the weight copied out, stores of its copy on every slide).
            passes = weight_.passes(magnitude(o), magnitude(v));
            if (!(passes & std::isfinite(sum_.comp))) [[unlikely]]
                e = settle(i, passes);
        }
        // A slide that the weight passes reads its sum as it is (sliding::kWeightCovers); the
        // others as the window defines it.
        if (e != sliding::Event::none) [[unlikely]] return rare(i, e);
        if (!(passes & reading_.covers())) [[unlikely]] return read(i);
        return sum_.sum;
    }

private:
    static double magnitude(double x) noexcept { return std::isnan(x) ? 0.0 : std::fabs(x); }

    // What a slide that the weight did not pass, or that overflowed, asks for.
    [[gnu::always_inline]] sliding::Event settle(std::size_t i, bool passes) noexcept {
        if (beyond_.active()) return sliding::Event::slid;
        const bool spoilt = !passes && weight_.settle_inline(magnitude(x_[i]), [&, i] {
            return reading_.holds_nonzero(i + 1 - p_, i, [&](std::size_t k) { return x_[k]; });
        });
        if (!finite()) return sliding::Event::overflowed;
        return spoilt ? sliding::Event::rebuild : sliding::Event::none;
    }
    bool finite() const noexcept {
        return std::isfinite(sum_.sum) & std::isfinite(sum_.comp) & (weight_.sum <= std::numeric_limits<double>::max());
    }

    // Every rebuild, and every path of a window beyond the range (utils/beyond_range.hpp), in
    // one place, inlined once; none moves the schedule. A window taken over reads its scaled
    // sum (one just summed afresh, its own), its own left non-finite so that every slide comes
    // back here.
    [[gnu::always_inline]] double rare(std::size_t i, sliding::Event e) noexcept {
        while (e != sliding::Event::none) {
            if (e != sliding::Event::rebuild &&
                beyond_.advance(e, i, p_, [x = x_](std::size_t k) { return std::isnan(x[k]) ? 0.0 : x[k]; }) ==
                    sliding::Next::read) {
                const double r = sliding::afresh(e) ? read(i) : beyond_.read(i, p_);
                sum_ = {NaN, NaN};
                weight_.sum = std::numeric_limits<double>::infinity();
                return r;
            }
            // A rebuilt sum's compensation is not carried into the slides.
            sum_.reset();
            weight_.reset();
            for (std::size_t k = i + 1 - p_; k <= i; ++k) {
                if (!std::isnan(x_[k])) sum_.add(x_[k]);
                weight_.add(magnitude(x_[k]));
            }
            sum_.comp = 0.0;
            if (finite()) {
                beyond_.back();
                break;
            }
            e = beyond_.active() ? sliding::Event::failed : sliding::Event::fresh;
        }
        return read(i);
    }

    std::span<const double> x_;
    std::size_t p_;
    [[gnu::always_inline]] double read(std::size_t i) noexcept {
        return reading_.read(i + 1 - p_, i, sum_.sum, weight_.high(), [&](std::size_t k) { return x_[k]; });
    }

    Kahan sum_;
    WindowWeight weight_;
    sliding::OnEveryThousandth schedule_{p_};
    sliding::LazyReading reading_{p_};
    sliding::PlainBeyond beyond_;
};

// Two RollingSumWindow of one period over two series, their sums advanced together, one per
// half of a vector register: each half adds (or, for a NaN, skips) exactly what its own
// window would, and each is rebuilt (or taken over beyond the range) exactly when its own
// window would be (both on the schedule, either on its own weight or overflow); each reads
// as its window would (zeros
// only: 0; no negative term: not below 0). step(i) gives both sums, NaN before period - 1;
// the same reading rules as RollingSumWindow. Steps go 0, 1, 2, ...; period >= 1.
class RollingSumPair {
public:
    using Pair = pairs::Pair;
    using Mask = pairs::Mask;

    RollingSumPair(std::span<const double> a, std::span<const double> b, std::uint64_t period)
        : x_{a, b}, p_(period), weight_(std::make_unique<WindowWeight[]>(2)) {}

private:
    // Whether half l's window ending at i holds a nonzero term, looked at through its reading;
    // by value, so that nothing of this object has its address handed out.
    auto holds_nonzero(int l, std::size_t i) const noexcept {
        return [r = &reading_[l], x = x_[l], i, p = p_] {
            return r->holds_nonzero(i + 1 - p, i, [x](std::size_t k) { return x[k]; });
        };
    }

public:

    [[gnu::always_inline]] Pair step(std::size_t i) noexcept {
        if (i + 1 < p_) return Pair{NaN, NaN};
        sliding::Event e[2] = {sliding::Event::none, sliding::Event::none};
        if (i + 1 == p_ || schedule_.rebuilds()) {
            for (int l = 0; l < 2; ++l)
                e[l] = beyond_[l].active() ? sliding::Event::scheduled : sliding::Event::rebuild;
        } else {
            const Pair v = {x_[0][i], x_[1][i]}, o = {x_[0][i - p_], x_[1][i - p_]};
            const Mask v_number = v == v, o_number = o == o;
            // NaN comes rarely, if at all: the blend that skips it only when it is about.
            if (__builtin_expect(((v_number[0] & v_number[1]) & (o_number[0] & o_number[1])) == -1, 1)) {
                add(v);
                add(-o);
            } else {
                add(v, v_number);
                add(-o, o_number);
            }
            const Mask magnitude = {0x7FFFFFFFFFFFFFFFll, 0x7FFFFFFFFFFFFFFFll};
            const Pair mv = (Pair)((Mask)v & magnitude & v_number), mo = (Pair)((Mask)o & magnitude & o_number);
            const bool p0 = weight_[0].passes(mo[0], mv[0]), p1 = weight_[1].passes(mo[1], mv[1]);
            if (!(p0 & std::isfinite(comp_[0]))) e[0] = settle(0, i, p0, mv[0]);
            if (!(p1 & std::isfinite(comp_[1]))) e[1] = settle(1, i, p1, mv[1]);
            // Slides that both weights pass read their sums as they are (sliding::kWeightCovers).
            if (p0 & p1 & reading_[0].covers() & (e[0] == sliding::Event::none) & (e[1] == sliding::Event::none))
                [[likely]]
                return sum_;
        }
        // The others as their windows define them (each half by a constant index, so that the
        // sums stay in their register).
        return Pair{rare(0, i, e[0]), rare(1, i, e[1])};
    }

private:
    // Kahan::add in both halves.
    [[gnu::always_inline]] void add(Pair v) noexcept {
        const Pair y = v - comp_;
        const Pair t = sum_ + y;
        comp_ = (t - sum_) - y;
        sum_ = t;
    }
    // Kahan::add in both halves, kept only where `take` holds (a NaN is skipped).
    template <class M>
    [[gnu::always_inline]] void add(Pair v, M take) noexcept {
        const Pair y = v - comp_;
        const Pair t = sum_ + y;
        const Pair c = (t - sum_) - y;
        sum_ = take ? t : sum_;
        comp_ = take ? c : comp_;
    }

    [[gnu::always_inline]] void rebuild(int l, std::size_t i) noexcept {
        Kahan sum;
        WindowWeight& w = weight_[l];
        w.reset();
        for (std::size_t k = i + 1 - p_; k <= i; ++k) {
            const double x = x_[l][k];
            if (!std::isnan(x)) sum.add(x);
            w.add(std::isnan(x) ? 0.0 : std::fabs(x));
        }
        sum_[l] = sum.sum;
        comp_[l] = 0.0;
    }

    // What half l's slide asks for, when its weight did not pass it or it overflowed.
    [[gnu::always_inline]] sliding::Event settle(int l, std::size_t i, bool passes, double magnitude) noexcept {
        if (beyond_[l].active()) return sliding::Event::slid;
        const bool spoilt = !passes && weight_[l].settle(magnitude, holds_nonzero(l, i));
        if (!finite(l)) return sliding::Event::overflowed;
        return spoilt ? sliding::Event::rebuild : sliding::Event::none;
    }
    bool finite(int l) const noexcept {
        return std::isfinite(sum_[l]) & std::isfinite(comp_[l]) & (weight_[l].sum <= std::numeric_limits<double>::max());
    }
    // Half l's rebuilds, and its paths beyond the range (utils/beyond_range.hpp): its sum as
    // read. A half taken over reads its scaled sum, its own left non-finite.
    [[gnu::always_inline]] double rare(int l, std::size_t i, sliding::Event e) noexcept {
        while (e != sliding::Event::none) {
            if (e != sliding::Event::rebuild &&
                beyond_[l].advance(e, i, p_, [x = x_[l]](std::size_t k) { return std::isnan(x[k]) ? 0.0 : x[k]; }) ==
                    sliding::Next::read) {
                const double r = sliding::afresh(e) ? read(l, i) : beyond_[l].read(i, p_);
                sum_[l] = comp_[l] = NaN;
                weight_[l].sum = std::numeric_limits<double>::infinity();
                return r;
            }
            rebuild(l, i);
            if (finite(l)) {
                beyond_[l].back();
                break;
            }
            e = beyond_[l].active() ? sliding::Event::failed : sliding::Event::fresh;
        }
        return read(l, i);
    }

    // Half l's sum as its window defines it.
    [[gnu::always_inline]] double read(int l, std::size_t i) noexcept {
        return reading_[l].read(i + 1 - p_, i, sum_[l], weight_[l].high(), [&](std::size_t k) { return x_[l][k]; });
    }

    std::span<const double> x_[2];
    std::size_t p_;
    Pair sum_{0.0, 0.0}, comp_{0.0, 0.0};
    // Held apart: their out-of-line members take their address, which would pin the sums
    // beside them to memory.
    std::unique_ptr<WindowWeight[]> weight_;
    sliding::OnEveryThousandth schedule_{p_};
    // Behind a pointer too, so that the sums are the only state the slides keep at hand.
    std::unique_ptr<sliding::LazyReading[]> reading_{
        new sliding::LazyReading[2]{sliding::LazyReading(p_), sliding::LazyReading(p_)}};
    std::unique_ptr<sliding::PlainBeyond[]> beyond_{new sliding::PlainBeyond[2]};
};

// Whether a series may hold NaN: `none` where the caller has validated it, so that a kernel
// does not look through it again before taking its path without NaN tests.
enum class NaNs { maybe, none };

// Sample standard deviation (divisor period - 1); a window holding a NaN gives NaN.
// 2 <= period <= len.
Series stdev(std::span<const double> values, std::uint64_t period, NaNs nans = NaNs::maybe);

// Pearson correlation over the first min(len x, len y) elements; a window holding a NaN in
// either series, or a degenerate window, gives 0.0. 2 <= period <= m.
Series correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period,
                   NaNs nans = NaNs::maybe);
// A window's correlation from its centred sums (cross, and each series' squares): 0.0 where
// either series does not move, within [-1, 1].
double correlation_of(double cxy, double mx, double my) noexcept;

// Least-squares line over each window, abscissa 0 (oldest) .. period - 1. A window holding a
// NaN gives NaN. 2 <= period <= len (standard_error: 3 <= period).
Series linearreg_slope(std::span<const double> values, std::uint64_t period, NaNs nans = NaNs::maybe);
RegressionSeries linear_regression(std::span<const double> values, std::uint64_t period, NaNs nans = NaNs::maybe);
// The fitted line at abscissa x.
Series line_at(std::span<const double> values, std::uint64_t period, double x, NaNs nans = NaNs::maybe);
// The fitted line one bar past the window.
Series tsf(std::span<const double> values, std::uint64_t period, NaNs nans = NaNs::maybe);
// Standard deviation of the fit's residuals: within 2^-28 of itself from the window's sums, or
// summed from the residuals themselves where the window lies near a line.
Series standard_error(std::span<const double> values, std::uint64_t period, NaNs nans = NaNs::maybe);

// Building blocks for statistics computed over the same sliding sums elsewhere.
namespace window {

// Extremes of every window of `period` bars by blocks (van Herk / Gil-Werman): the bars are
// cut into blocks of `period`; each window is a whole block or the tail of one block plus
// the head of the next, so its extreme is the better of a suffix extreme of the earlier
// block and a prefix extreme of the later one. Three selections per bar and no branch on
// the data, O(n) whatever the period.
//
// The rule is a type R with a candidate type `R::Cand`:
//   at(i)                 the candidate of bar i;
//   pick(later, earlier)  the one of two candidates that stands for both, `later` coming from
//                         the later bars; it fixes the tie-break;
//   keep(i, c) / kept(i)  a suffix extreme of the previous block, kept for the window ending
//                         at i; kept(i) is read before emit(i, ...) runs, so the slot may be
//                         the caller's output at i. Only slots from `period` on are used.
// emit(i, cand) is called for every i >= period - 1, in order. A window's result depends
// only on the bars inside it. Requires 1 <= period <= n.
template <class R, class Emit>
void block_extremes(const R& rule, std::size_t n, std::size_t period, Emit&& emit) {
    const std::size_t p = period;
    for (std::size_t start = 0; start < n; start += p) {
        const std::size_t end = n - start > p ? start + p : n;
        if (start != 0) {
            // The window ending at start + j begins at start + j + 1 - p, in the previous block.
            auto tail = rule.at(start - 1);
            for (std::size_t j = p - 1; j-- > 0;) {
                tail = rule.pick(tail, rule.at(start + j + 1 - p));
                if (start + j < end) rule.keep(start + j, tail);
            }
        }
        auto head = rule.at(start);
        for (std::size_t i = start; i < end; ++i) {
            head = rule.pick(rule.at(i), head);
            if (i + 1 < p) continue;
            emit(i, i + 1 - start == p ? head : rule.pick(head, rule.kept(i)));
        }
    }
}

// Every window of `period` bars of one series, its deviations' sums kept exact relative to
// the window's spread (utils/moments.hpp): emit(i, const moments::Spread<Nan>&, const
// moments::Centred<>&) for every window. With Nan, a NaN enters as the window's origin and is
// counted (Spread::nans); without, the values hold none. 2 <= period <= len.
template <bool Nan, class Emit>
void spreads(std::span<const double> values, std::size_t period, Emit&& emit) {
    const double* x = values.data();
    const moments::Span w(period);
    moments::sweep<!Nan>(
        values.size(), period,
        [&](std::size_t i, const auto&... was) __attribute__((always_inline)) {
            return moments::Spread<Nan>::summed(moments::window_of(x, i, period), was.near(w)...);
        },
        [&](const auto& st) __attribute__((always_inline)) { return st.centred(w); },
        [&](const auto& st, const auto& watch) __attribute__((always_inline)) { return st.exact_over(watch, w); },
        [&](auto& st, std::size_t i0, std::size_t i1, auto plain) __attribute__((always_inline)) {
            st.template slide<plain.value>(moments::Pair{x[i0 - period], x[i1 - period]}, moments::Pair{x[i0], x[i1]});
        },
        [&](auto& st, std::size_t i, auto plain) __attribute__((always_inline)) {
            st.template slide<plain.value>(x[i - period], x[i]);
        },
        emit,
        [x](std::size_t k) { return moments::unbounded(x[k]); });
}

// The same over two series of at least `period` bars each (the first n): emit(i, const
// moments::CoSpread<Nan>&, const moments::CoSpread<Nan>::Moments&). With Nan, a bar with NaN
// in either series is counted once (CoSpread::nans). 2 <= period <= n.
template <bool Nan, class Emit>
void co_spreads(std::span<const double> a, std::span<const double> b, std::size_t n, std::size_t period, Emit&& emit) {
    const double *x = a.data(), *y = b.data();
    const moments::Span w(period);
    using moments::Pair;
    moments::sweep<!Nan>(
        n, period,
        [&](std::size_t i, const auto&... was) __attribute__((always_inline)) {
            if constexpr (sizeof...(was) == 0) return moments::CoSpread<Nan>::summed(moments::window_of(x, y, i, period));
            else return moments::CoSpread<Nan>::summed_after(moments::window_of(x, y, i, period), was..., w);
        },
        [&](const auto& st) __attribute__((always_inline)) { return st.moments(w); },
        [&](const auto& st, const auto& watch) __attribute__((always_inline)) { return st.exact_over(watch, w); },
        [&](auto& st, std::size_t i0, std::size_t i1, auto plain) __attribute__((always_inline)) {
            st.template slide<plain.value>(Pair{x[i0 - period], x[i1 - period]}, Pair{y[i0 - period], y[i1 - period]},
                                           Pair{x[i0], x[i1]}, Pair{y[i0], y[i1]});
        },
        [&](auto& st, std::size_t i, auto plain) __attribute__((always_inline)) {
            st.template slide<plain.value>(x[i - period], y[i - period], x[i], y[i]);
        },
        emit, [x, y](std::size_t k) { return moments::unbounded(x[k]) || moments::unbounded(y[k]); });
}

// Every window's least-squares line, abscissa 0 (oldest) .. period - 1: emit(i, const
// moments::LineSpread<Nan>::Fit&), or emit(i, fit, const moments::LineSpread<Nan>&) where
// Emit takes the window's sums too, for every window that holds no NaN. 2 <= period <= len.
template <bool Nan, class Emit>
void line_fits(std::span<const double> values, std::uint64_t period, Emit&& emit) {
    const double* x = values.data();
    const std::size_t pn = static_cast<std::size_t>(period);
    const LineConstants k(period);
    const moments::Span w(pn);
    const double last_pos = k.p - 1.0;
    moments::sweep<!Nan>(
        values.size(), pn,
        [&](std::size_t i, const auto&... was) __attribute__((always_inline)) {
            return moments::LineSpread<Nan>::summed(moments::window_of(x, i, pn), was.y.near(w)...);
        },
        [&](const auto& st) __attribute__((always_inline)) { return st.fit(k, w); },
        [&](const auto& st, const auto& watch) __attribute__((always_inline)) { return st.exact_over(watch, k, w); },
        [&](auto& st, std::size_t i0, std::size_t i1, auto plain) __attribute__((always_inline)) {
            st.template slide<plain.value>(moments::Pair{x[i0 - pn], x[i1 - pn]}, moments::Pair{x[i0], x[i1]}, last_pos);
        },
        [&](auto& st, std::size_t i, auto plain) __attribute__((always_inline)) {
            st.template slide<plain.value>(x[i - pn], x[i], last_pos);
        },
        [&](std::size_t i, const auto& st, const auto& f) __attribute__((always_inline)) {
            if (st.y.nans != 0) return;
            // The state too where the caller asks for it (a check of its bounds).
            if constexpr (std::is_invocable_v<Emit&, std::size_t, decltype(st), decltype(f)>) emit(i, st, f);
            else emit(i, f);
        },
        [x](std::size_t j) { return moments::unbounded(x[j]); });
}

// line_fits with Nan as the values need.
template <class Emit>
void line_fits_of(std::span<const double> values, std::uint64_t period, Emit&& emit, NaNs nans = NaNs::maybe);

// f(std::true_type) where any of the series holds a NaN, else f(std::false_type): a kernel's
// loop without a NaN test where there is none to meet.
template <class F, class... Spans>
decltype(auto) by_nan(NaNs nans, F&& f, const Spans&... series) {
    if (nans == NaNs::none) return f(std::false_type{});
    // Two values a step: the scalar form is a compare and a flag per value, as long as a slide.
    pairs::Mask nan{0, 0};
    bool odd = false;
    ([&](std::span<const double> v) {
        const std::size_t n = v.size(), pairs = n & ~std::size_t{1};
        for (std::size_t i = 0; i < pairs; i += 2) {
            const pairs::Pair x = pairs::load(v.data() + i);
            nan |= x != x;
        }
        if (n != pairs) odd |= v[n - 1] != v[n - 1];
    }(series), ...);
    return odd || pairs::any(nan) ? f(std::true_type{}) : f(std::false_type{});
}

template <class Emit>
void line_fits_of(std::span<const double> values, std::uint64_t period, Emit&& emit, NaNs nans) {
    by_nan(nans, [&](auto nan) { line_fits<nan.value>(values, period, emit); }, values);
}

// The addition that takes a sum past the double range, or adds an infinity, leaves an
// infinite or NaN compensation behind, and so does every later addition to a non-finite sum;
// left alone it would spoil every later slide. Compensations are tiny next to their sums, so
// adding several of them overflows only when one already has: one test covers a set of sums.
// Finite inputs whose sums stay finite never fail it.
template <class... Sums>
bool compensations_finite(const Sums&... sums) noexcept {
    return std::isfinite((sums.comp + ...));
}

// The window weights of sliding_sums when the caller names none: one per sum, the
// magnitude of each contribution.
struct WeighEachSum {
    template <std::size_t N>
    std::array<double, N> operator()(std::size_t, const std::array<double, N>& c) const noexcept {
        std::array<double, N> w;
        for (std::size_t j = 0; j < N; ++j) w[j] = std::fabs(c[j]);
        return w;
    }
};

// The order of a slide's two additions to each sum.
enum class SlideOrder { leave_first, enter_first };

// N independent compensated sums over the window ending at each index i >= period - 1.
// contrib(i, c) fills c with index i's contributions (NaN taken as 0.0) and returns true
// when index i counts as NaN; weigh(i, c) returns index i's magnitudes (a std::array of
// any size, each a utils::WindowWeight of the window: x * x beside sums of squares and
// products, |x| beside plain sums); emit(i, sums, nan_count) is called for every window,
// with CountTerms each sum as its window defines it (sliding::TermCount's rules: zeros only
// give 0, no negative term never below 0; looked at only where a weight did not pass the
// slide, sliding::LazyReading; the statistics' power sums go without). A slide subtracts
// the leaving contributions, then adds the entering ones (Order: the other way round); the
// first window's compensations, and a rebuild's, carry on. Rebuilt on Schedule
// (sliding::AfterEveryThousand or OnEveryThousandth) and when a weight asks; with
// CountTerms, a window beyond the double range is taken over (utils/beyond_range.hpp).
// Requires 1 <= period <= n.
template <std::size_t N, class Schedule = sliding::AfterEveryThousand, SlideOrder Order = SlideOrder::leave_first,
          bool CountTerms = false, class Contrib, class Weigh, class Emit>
void sliding_sums(std::size_t n, std::size_t period, Contrib&& contrib, Weigh&& weigh, Emit&& emit) {
    using Weights = decltype(weigh(std::size_t{}, std::declval<const std::array<double, N>&>()));
    constexpr std::size_t W = std::tuple_size_v<Weights>;
    // With CountTerms the weights are those of each sum (WeighEachSum's |c|), which vouch
    // for its reading on a slide they all pass (sliding::kWeightCovers).
    static_assert(!CountTerms || W == N);
    std::array<Kahan, N> sums{};
    // One reading per sum, only with CountTerms.
    auto readings = [&]<std::size_t... J>(std::index_sequence<J...>) {
        return std::array<sliding::LazyReading, sizeof...(J)>{((void)J, sliding::LazyReading(period))...};
    }(std::make_index_sequence<CountTerms ? N : 0>{});
    std::array<WindowWeight, W> weights{};
    std::array<double, N> c{};
    std::array<double, N> leave{};
    std::uint64_t nan_count = 0;
    // Written out per sum (not as a loop) so that the sums stay in registers: each slide's
    // compensated additions form a dependency chain that a round trip through memory lengthens.
    auto each = [](auto&& f) { [&]<std::size_t... J>(std::index_sequence<J...>) { (f(J), ...); }(std::make_index_sequence<N>{}); };
    auto each_weight = [](auto&& f) { [&]<std::size_t... J>(std::index_sequence<J...>) { (f(J), ...); }(std::make_index_sequence<W>{}); };
    // Both forced inline: as calls they would be handed the sums' addresses, and the sums
    // would live in memory on every slide.
    auto fill = [&](std::size_t end) __attribute__((always_inline)) {
        each([&](std::size_t j) { sums[j].reset(); });
        each_weight([&](std::size_t j) { weights[j].reset(); });
        nan_count = 0;
        for (std::size_t k = end + 1 - period; k <= end; ++k) {
            if (contrib(k, c)) ++nan_count;
            each([&](std::size_t j) { sums[j].add(c[j]); });
            const Weights w = weigh(k, c);
            each_weight([&](std::size_t j) { weights[j].add(w[j]); });
        }
    };
    // Almost every window reads its sums as they are; the others from a copy. `passed`: the
    // slide that led to this window was passed by every weight.
    auto read = [&](std::size_t i, bool passed) __attribute__((always_inline)) {
        if constexpr (CountTerms) {
            if (!(passed & readings[0].covers())) [[unlikely]] {
                const std::size_t start = i + 1 - period;
                std::array<Kahan, N> r = sums;
                each([&](std::size_t j) {
                    r[j].sum = readings[j].read(start, i, r[j].sum, weights[j].high(), [&](std::size_t k) {
                        std::array<double, N> t;
                        contrib(k, t);
                        return t[j];
                    });
                });
                emit(i, static_cast<const std::array<Kahan, N>&>(r), nan_count);
                return;
            }
        }
        emit(i, static_cast<const std::array<Kahan, N>&>(sums), nan_count);
    };
    // Whether weight j's window ending at i holds a nonzero term: the rare look of a slide
    // outweighed by what passed through it.
    auto weighs = [&](std::size_t i, std::size_t j) {
        std::array<double, N> t;
        for (std::size_t k = i + 1; k-- > i + 1 - period;) {
            contrib(k, t);
            if (weigh(k, t)[j] > 0.0) return true;
        }
        return false;
    };
    // Plain sums (CountTerms) whose window leaves the double range are taken over until it
    // fits again (utils/beyond_range.hpp); the statistics' power sums are rebuilt as before.
    // The measures are the magnitudes of the contributions, as WeighEachSum's weights.
    struct NotTaken {};
    std::conditional_t<CountTerms, sliding::BeyondRange<N>, NotTaken> beyond{};
    auto finite = [&]() __attribute__((always_inline)) {
        bool all = true;
        each([&](std::size_t j) { all &= std::isfinite(sums[j].sum) & std::isfinite(sums[j].comp); });
        each_weight([&](std::size_t j) { all &= weights[j].sum <= std::numeric_limits<double>::max(); });
        return all;
    };
    // Every rebuild of such sums, and every path beyond the range, in one place.
    auto rare = [&](std::size_t i, sliding::Event e) __attribute__((always_inline)) {
        if constexpr (CountTerms) {
            auto scaled_terms = [&](std::size_t k, std::array<double, N>& t, std::array<double, N>& m) {
                std::array<double, N> x;
                contrib(k, x);
                bool ok = true;
                for (std::size_t j = 0; j < N; ++j) {
                    t[j] = sliding::BeyondRange<N>::scaled(x[j]);
                    m[j] = std::fabs(t[j]);
                    ok &= std::isfinite(t[j]);
                }
                return ok;
            };
            auto take = [&]() __attribute__((always_inline)) {
                beyond.begin();
                std::array<double, N> t, m;
                for (std::size_t k = i + 1 - period; k <= i; ++k)
                    if (beyond.add(k, scaled_terms(k, t, m), m))
                        each([&](std::size_t j) { beyond.sums[j].add(t[j]); });
            };
            auto slide = [&]() __attribute__((always_inline)) {
                std::array<double, N> in, out, m;
                const bool out_ok = scaled_terms(i - period, out, m);
                beyond.leave(out_ok, m);
                const bool in_ok = beyond.add(i, scaled_terms(i, in, m), m);
                each([&](std::size_t j) {
                    const double v = in_ok ? in[j] : 0.0, o = out_ok ? -out[j] : 0.0;
                    if constexpr (Order == SlideOrder::leave_first) {
                        beyond.sums[j].add(o);
                        beyond.sums[j].add(v);
                    } else {
                        beyond.sums[j].add(v);
                        beyond.sums[j].add(o);
                    }
                });
            };
            while (e != sliding::Event::none) {
                std::array<double, N> limits;
                limits.fill(sliding::BeyondRange<N>::abs_limit(std::numeric_limits<double>::max()));
                if (e != sliding::Event::rebuild && beyond.advance(e, i, period, limits, take, slide) == sliding::Next::read) {
                    // Sums just summed afresh read as they came out; the scaled ones otherwise.
                    if (sliding::afresh(e)) {
                        read(i, false);
                    } else {
                        std::array<Kahan, N> r{};
                        each([&](std::size_t j) { r[j].sum = beyond.read(j, i, period); });
                        emit(i, static_cast<const std::array<Kahan, N>&>(r), nan_count);
                    }
                    // Its own sums left non-finite, so that every slide comes back here.
                    each([&](std::size_t j) { sums[j] = {NaN, NaN}; });
                    each_weight([&](std::size_t j) { weights[j].sum = std::numeric_limits<double>::infinity(); });
                    return;
                }
                fill(i);
                if (finite()) {
                    beyond.back();
                    break;
                }
                e = beyond.active() ? sliding::Event::failed : sliding::Event::fresh;
            }
            read(i, false);
        }
    };
    fill(period - 1);
    if constexpr (CountTerms) {
        rare(period - 1, finite() ? sliding::Event::none : sliding::Event::fresh);
    } else {
        read(period - 1, false);
    }
    Schedule schedule(period);
    for (std::size_t i = period; i < n; ++i) {
        bool rebuild = schedule.rebuilds(), passed = false;
        if constexpr (CountTerms) {
            if (beyond.active()) [[unlikely]] {
                const bool nan_out = contrib(i - period, leave);
                const bool nan_in = contrib(i, c);
                if (nan_out && nan_count > 0) --nan_count;
                if (nan_in) ++nan_count;
                rare(i, rebuild ? sliding::Event::scheduled : sliding::Event::slid);
                continue;
            }
        }
        if (!rebuild) {
            const bool nan_out = contrib(i - period, leave);
            const bool nan_in = contrib(i, c);
            if (nan_out && nan_count > 0) --nan_count;
            if (nan_in) ++nan_count;
            double comps = 0.0;
            each([&](std::size_t j) {
                if constexpr (Order == SlideOrder::leave_first) {
                    sums[j].add(-leave[j]);
                    sums[j].add(c[j]);
                } else {
                    sums[j].add(c[j]);
                    sums[j].add(-leave[j]);
                }
                comps += sums[j].comp;
            });
            const Weights w_out = weigh(i - period, leave), w_in = weigh(i, c);
            bool outweighed = false;
            if constexpr (CountTerms) {
                passed = true;
                each_weight([&](std::size_t j) {
                    const bool passes = weights[j].passes(w_out[j], w_in[j]);
                    passed &= passes;
                    outweighed |= !passes && weights[j].settle(w_in[j], [&, i, j] { return weighs(i, j); });
                });
            } else {
                each_weight([&](std::size_t j) {
                    outweighed |= !weights[j].passes(w_out[j], w_in[j]) && weights[j].settle(w_in[j], [&, i, j] { return weighs(i, j); });
                });
            }
            rebuild = !std::isfinite(comps) | outweighed;
            if constexpr (CountTerms) {
                if (rebuild) [[unlikely]] {
                    rare(i, finite() ? sliding::Event::rebuild : sliding::Event::overflowed);
                    continue;
                }
            }
        } else if constexpr (CountTerms) {
            rare(i, sliding::Event::rebuild);
            continue;
        }
        if (rebuild) fill(i);
        read(i, passed & !rebuild);
    }
}

// As above, with one weight per sum (WeighEachSum).
template <std::size_t N, class Schedule = sliding::AfterEveryThousand, SlideOrder Order = SlideOrder::leave_first,
          bool CountTerms = false, class Contrib, class Emit>
void sliding_sums(std::size_t n, std::size_t period, Contrib&& contrib, Emit&& emit) {
    sliding_sums<N, Schedule, Order, CountTerms>(n, period, contrib, WeighEachSum{}, emit);
}

}  // namespace window
}  // namespace vorn::utils::stats
