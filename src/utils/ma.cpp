#include "utils/ma.hpp"

#include <bit>
#include <cmath>
#include <limits>

#include "utils/beyond_range.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/kahan.hpp"
#include "utils/pairs.hpp"
#include "utils/stats.hpp"
#include "utils/window_blocks.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::ma {

namespace {

using errors::validation::validate_period;
using errors::validation::validate_series;

Status check_validating(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return s;
    return validate_period(period, values.size());
}

Status check_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (values.empty()) return fail(VornError::empty_input("values"));
    return validate_period(period, values.size());
}


// A weighted mean's sums taken over beyond the range (utils/beyond_range.hpp): the plain sum
// and the sum weighted by positions 1 .. p, slid by WmaWindow's arithmetic on the scaled terms.
// Its measures are the squares (its weight's terms) and |x|, whose sum times p + 1 bounds every
// partial sum of the weighted one.
class WmaBeyond : public sliding::BeyondRange<2> {
public:
    template <class Term>
    [[gnu::always_inline]] sliding::Next advance(sliding::Event e, std::size_t i, std::size_t p, Term&& term) noexcept {
        const double nf = static_cast<double>(p);
        return BeyondRange<2>::advance(
            e, i, p, {square_limit(), abs_limit(std::numeric_limits<double>::max() / (nf + 1.0))},
            [&]() __attribute__((always_inline)) {
                begin();
                const std::size_t start = i + 1 - p;
                for (std::size_t k = start; k <= i; ++k) {
                    const double x = scaled(term(k));
                    const double t = add(k, std::isfinite(x), {x * x, std::fabs(x)}) ? x : 0.0;
                    sums[0].add(t);
                    sums[1].add(static_cast<double>(k - start + 1) * t);
                }
            },
            [&]() __attribute__((always_inline)) {
                const double v = scaled(term(i)), o = scaled(term(i - p));
                leave(std::isfinite(o), {o * o, std::fabs(o)});
                const double in = add(i, std::isfinite(v), {v * v, std::fabs(v)}) ? v : 0.0;
                const double plain = sums[0].sum;
                sums[0].sub(std::isfinite(o) ? o : 0.0);
                sums[1].sub(plain);
                sums[1].add(nf * in);
                sums[0].add(in);
            });
    }
};

// A weighted mean's ordinary slide: o leaves and v enters its plain sum s and weighted sum w
// (nf the newest weight). True when it needs nothing more: the weight (of the squares)
// passes it and neither sum overflowed. Every slide passes the plain sum's rounding on to the
// weighted one, which gathers it until the next scheduled rebuild, so a value outweighing the
// window, or an overflowed sum, would spoil the windows after it: those rebuild at once.
// (Compensations are tiny beside their sums: their sum overflows only when one has.) Forced
// inline: its sums are the caller's locals, which stay in registers.
[[gnu::always_inline]] inline bool wma_slide(Kahan& s, Kahan& w, WindowWeight& weight, unsigned& slides, double o,
                                             double v, double nf, bool& passes) noexcept {
    const double plain = s.sum;
    s.sub(o);
    w.sub(plain);
    w.add(nf * v);
    s.add(v);
    ++slides;
    passes = weight.passes(o * o, v * v);
    return passes & std::isfinite(s.comp + w.comp);
}

// One weighted-mean window over a series that may still be growing: step(i) reads x[i]
// and, on a slide, x[i - n]. Several windows (the Hull average's three) run in one pass.
class WmaWindow {
public:

    WmaWindow(std::span<const double> x, std::uint64_t period)
        : x_(x), n_(period), nf_(static_cast<double>(period)),
          divisor_((1.0 + nf_) * nf_ * 0.5), every_(sliding::rebuild_every(period)) {}

    void rebind(std::span<const double> x) noexcept { x_ = x; }

    // Inline into the loop, rare paths included (placed apart as cold code): a call handed the
    // window would keep its sums in memory, and the Hull average's three windows would cost a
    // third more.
    [[gnu::always_inline]] double step(std::size_t i) noexcept {
        const double v = x_[i];
        sliding::Event e;
        if (std::isnan(v) | (count_ < n_) | (slides_ >= every_)) [[unlikely]] {
            double out;
            if (rarely(i, out, e)) return out;
        } else {
            e = slide(i, v);
            if (e == sliding::Event::none) [[likely]] return w_.sum / divisor_;
        }
        return rare(i, e);
    }

    // Steps the windows ending at i, i + 1, ... below `end` into out while their slides are
    // ordinary, from state copied into locals that nothing else can reach: the loop holds no
    // path but the ordinary slide, so its sums stay in registers. It stops at the first window
    // that needs more than that (the slide done, when it was one) and hands the state back;
    // the caller finishes that window with finish(). Returns where it stopped.
    [[gnu::noinline]] std::size_t run(double* out, std::size_t i, std::size_t end, sliding::Event& stop) noexcept {
        stop = sliding::Event::none;
        if (count_ < n_) return i;
        const double* x = x_.data();
        const std::size_t n = n_;
        const double nf = nf_, divisor = divisor_;
        Kahan s = s_, w = w_;
        WindowWeight weight = weight_;
        unsigned slides = slides_;
        const unsigned every = every_;
        for (; i < end; ++i) {
            stop = sliding::Event::none;
            const double v = x[i];
            if (std::isnan(v) | (slides >= every)) [[unlikely]]
                break;
            bool passes;
            if (!wma_slide(s, w, weight, slides, x[i - n], v, nf, passes)) [[unlikely]] {
                stop = settle(i, passes, weight, s, w);
                if (stop != sliding::Event::none) break;
            }
            out[i] = w.sum / divisor;
        }
        s_ = s, w_ = w, weight_ = weight, slides_ = slides;
        return i;
    }

    // The window ending at i where run() stopped.
    [[gnu::noinline]] double finish(std::size_t i, sliding::Event stop) noexcept {
        return stop == sliding::Event::none ? step(i) : rare(i, stop);
    }

private:
    // An ordinary slide to the window ending at i, entering v; what it asks for besides.
    [[gnu::always_inline]] sliding::Event slide(std::size_t i, double v) noexcept {
        bool passes;
        if (wma_slide(s_, w_, weight_, slides_, x_[i - n_], v, nf_, passes)) [[likely]] return sliding::Event::none;
        return settle(i, passes);
    }

    // What a slide that the weight did not pass, or that overflowed, asks for.
    [[gnu::always_inline]] sliding::Event settle(std::size_t i, bool passes) noexcept {
        return settle(i, passes, weight_, s_, w_);
    }
    // The same on copies of the sums and weight that a split loop holds (run()).
    [[gnu::always_inline]] sliding::Event settle(std::size_t i, bool passes, WindowWeight& weight, const Kahan& s,
                                                 const Kahan& w) const noexcept {
        if (beyond_.active()) return sliding::Event::slid;
        // Its sums keep no reading of a window of zeros beside them (utils::sliding), so an
        // outweighed window is summed afresh whatever it holds: one of zeros then sums to
        // exactly 0, and its weight, summed afresh to 0 with it, passes the zeros that follow,
        // so a run of zeros costs one pass over the window.
        const bool spoilt = !passes && weight.settle_inline(x_[i] * x_[i], [] { return true; });
        if (!finite(weight, s, w)) return sliding::Event::overflowed;
        return spoilt ? sliding::Event::rebuild : sliding::Event::none;
    }

    bool finite() const noexcept { return finite(weight_, s_, w_); }
    static bool finite(const WindowWeight& weight, const Kahan& s, const Kahan& w) noexcept {
        return std::isfinite(s.sum) & std::isfinite(w.sum) & std::isfinite(s.comp + w.comp) &
               (weight.sum <= std::numeric_limits<double>::max());
    }

    // A gap (the window restarts after it), the first window, and the scheduled rebuild: a
    // window of its own, one slide later than the simple mean's (slides R + 1, 2R + 1, ..., R
    // = sliding::rebuild_every(period): 1001, 2001, ... up to 1000 bars). True
    // when `out` is the step's value; otherwise `e` is what rare() is to do.
    [[gnu::always_inline]] bool rarely(std::size_t i, double& out, sliding::Event& e) noexcept {
        const double v = x_[i];
        if (std::isnan(v)) {
            s_.reset();
            w_.reset();
            weight_.reset();
            beyond_.reset();
            count_ = 0;
            slides_ = 0;
            out = NaN;
            return true;
        }
        if (count_ < n_) {
            ++count_;
            s_.add(v);
            w_.add(static_cast<double>(count_) * v);
            weight_.add(v * v);
            out = NaN;
            if (count_ < n_) return true;
            e = finite() ? sliding::Event::none : sliding::Event::fresh;
            return false;
        }
        slides_ = 1;
        e = beyond_.active() ? sliding::Event::scheduled : sliding::Event::rebuild;
        return false;
    }

    // Every rebuild, and every path of a window beyond the range (utils/beyond_range.hpp), in
    // one place, inlined once; none moves the schedule. A window taken over reads its scaled
    // sums (one just summed afresh, its own), its own left non-finite so that every slide
    // comes back here.
    [[gnu::always_inline]] double rare(std::size_t i, sliding::Event e) noexcept {
        while (e != sliding::Event::none) {
            if (e != sliding::Event::rebuild &&
                beyond_.advance(e, i, n_, [x = x_](std::size_t k) { return x[k]; }) == sliding::Next::read) {
                const double r = sliding::afresh(e) ? w_.sum / divisor_ : beyond_.read(1, i, n_) / divisor_;
                s_ = w_ = {NaN, NaN};
                weight_.sum = std::numeric_limits<double>::infinity();
                return r;
            }
            resum(i);
            if (finite()) {
                beyond_.back();
                break;
            }
            e = beyond_.active() ? sliding::Event::failed : sliding::Event::fresh;
        }
        return w_.sum / divisor_;
    }

    // Full recomputation over the window ending at i; the compensations it ends with carry on.
    [[gnu::always_inline]] void resum(std::size_t i) noexcept {
        s_.reset();
        w_.reset();
        weight_.reset();
        for (std::size_t k = 0; k < n_; ++k) {
            const double e = x_[i + 1 - n_ + k];
            s_.add(e);
            w_.add(static_cast<double>(k + 1) * e);
            weight_.add(e * e);
        }
    }

    friend class WmaPair;

    std::span<const double> x_;
    std::size_t n_;
    double nf_, divisor_;
    Kahan s_, w_;
    WindowWeight weight_;
    WmaBeyond beyond_;
    std::size_t count_ = 0;
    unsigned every_;  // slides between scheduled rebuilds
    unsigned slides_ = 0;
};

// Two weighted-mean windows over one series (the Hull average's half and full windows), their
// compensated sums advanced together, one window per half of a vector register: an ordinary
// slide performs, per half, exactly the steps of WmaWindow::step. Whatever else a step needs
// (the first windows, a gap, a scheduled rebuild, a weight's judgement, the range) the windows
// do themselves, one at a time, their sums handed over and taken back. Everything is inlined
// into the caller's loop, rare paths included: a call handed the pair would keep its sums in
// memory.
class WmaPair {
public:
    using Pair = double __attribute__((vector_size(16)));

    WmaPair(std::span<const double> x, std::uint64_t p0, std::uint64_t p1)
        : lane_{WmaWindow(x, p0), WmaWindow(x, p1)}, nf_{lane_[0].nf_, lane_[1].nf_},
          divisor_{lane_[0].divisor_, lane_[1].divisor_} {}

    // The two windows' values at i, in the order of the constructor's periods.
    [[gnu::always_inline]] Pair step(std::size_t i) noexcept {
        WmaWindow& a = lane_[0];
        WmaWindow& b = lane_[1];
        const double v = a.x_[i];
        double r[2];
        sliding::Event e[2];
        bool done[2] = {false, false};
        if (std::isnan(v) | (a.count_ < a.n_) | (b.count_ < b.n_) | (a.slides_ >= a.every_) |
            (b.slides_ >= b.every_))
            [[unlikely]] {
            hand_over();
            // Each window on its own: its ordinary slide, or its rare step.
            for (int l = 0; l < 2; ++l) {
                WmaWindow& w = lane_[l];
                if (std::isnan(v) | (w.count_ < w.n_) | (w.slides_ >= w.every_))
                    done[l] = w.rarely(i, r[l], e[l]);
                else
                    e[l] = w.slide(i, v);
            }
        } else {
            bool pa, pb;
            const Pair comps = slide_both(s_sum_, s_comp_, w_sum_, w_comp_, a.weight_, b.weight_, a.slides_, b.slides_,
                                          Pair{a.x_[i - a.n_], b.x_[i - b.n_]}, v, nf_, pa, pb);
            if (pa & pb & std::isfinite(comps[0]) & std::isfinite(comps[1])) [[likely]] return w_sum_ / divisor_;
            hand_over();
            e[0] = pa & std::isfinite(comps[0]) ? sliding::Event::none : a.settle(i, pa);
            e[1] = pb & std::isfinite(comps[1]) ? sliding::Event::none : b.settle(i, pb);
        }
#pragma GCC unroll 1
        for (int l = 0; l < 2; ++l)
            if (!done[l]) r[l] = lane_[l].rare(i, e[l]);
        take_back();
        return Pair{r[0], r[1]};
    }

    // The Hull average's loop: the pair's windows at i, their line diff[i] = 2 a - b, and the
    // smoothing window sm over that line into r[i], for every i below `end`. Ordinary slides
    // (and the weights' settles) run on state copied into locals that nothing else can reach,
    // so that every sum stays in a register; a bar that needs anything more stops the loop,
    // hands the state back, and is finished out of it, as step() and WmaWindow::step would.
    // True when some r[i] is a number.
    [[gnu::noinline]] bool hull(double* diff, double* r, std::size_t end, WmaWindow& sm) noexcept {
        using sliding::Event;
        bool smoothed = false;
        std::size_t i = 0;
        while (i < end) {
            // Where the loop stopped: at the pair (before its step when both events are none),
            // or at the smoothing window (likewise).
            bool at_pair = true;
            Event pe[2] = {Event::none, Event::none}, se = Event::none;
            {
                WmaWindow& a = lane_[0];
                WmaWindow& b = lane_[1];
                const double* x = a.x_.data();
                const std::size_t na = a.n_, nb = b.n_, ns = sm.n_;
                const bool filled = (a.count_ >= na) & (b.count_ >= nb), sfilled = sm.count_ >= ns;
                const Pair nf = nf_, divisor = divisor_;
                const double snf = sm.nf_, sdiv = sm.divisor_;
                Pair ss = s_sum_, sc = s_comp_, ws = w_sum_, wc = w_comp_;
                WindowWeight wa = a.weight_, wb = b.weight_, wsm = sm.weight_;
                unsigned sla = a.slides_, slb = b.slides_, sls = sm.slides_;
                const unsigned ea = a.every_, eb = b.every_, es = sm.every_;
                Kahan s2 = sm.s_, w2 = sm.w_;
                for (; i < end; ++i) {
                    const double v = x[i];
                    if (std::isnan(v) | !filled | (sla >= ea) | (slb >= eb))
                        [[unlikely]] {
                        at_pair = true;
                        break;
                    }
                    bool pa, pb;
                    const Pair comps = slide_both(ss, sc, ws, wc, wa, wb, sla, slb, Pair{x[i - na], x[i - nb]}, v, nf, pa, pb);
                    if (!(pa & pb & std::isfinite(comps[0]) & std::isfinite(comps[1]))) [[unlikely]] {
                        if (!(pa & std::isfinite(comps[0])))
                            pe[0] = a.settle(i, pa, wa, {ss[0], sc[0]}, {ws[0], wc[0]});
                        if (!(pb & std::isfinite(comps[1])))
                            pe[1] = b.settle(i, pb, wb, {ss[1], sc[1]}, {ws[1], wc[1]});
                        if ((pe[0] != Event::none) | (pe[1] != Event::none)) {
                            at_pair = true;
                            break;
                        }
                    }
                    const Pair both = ws / divisor;
                    const double ai = both[0], bi = both[1];
                    if (!std::isnan(ai) && !std::isnan(bi)) diff[i] = (ai + ai) - bi;
                    const double d = diff[i];
                    if (std::isnan(d) | !sfilled | (sls >= es)) [[unlikely]] {
                        at_pair = false;
                        break;
                    }
                    bool ps;
                    if (!wma_slide(s2, w2, wsm, sls, diff[i - ns], d, snf, ps)) [[unlikely]] {
                        se = sm.settle(i, ps, wsm, s2, w2);
                        if (se != Event::none) {
                            at_pair = false;
                            break;
                        }
                    }
                    r[i] = w2.sum / sdiv;
                    smoothed = smoothed || !std::isnan(r[i]);
                }
                s_sum_ = ss, s_comp_ = sc, w_sum_ = ws, w_comp_ = wc;
                a.weight_ = wa, b.weight_ = wb, sm.weight_ = wsm;
                a.slides_ = sla, b.slides_ = slb, sm.slides_ = sls;
                sm.s_ = s2, sm.w_ = w2;
            }
            if (i >= end) break;
            if (at_pair) {
                const Pair both = finish(i, pe);
                const double ai = both[0], bi = both[1];
                if (!std::isnan(ai) && !std::isnan(bi)) diff[i] = (ai + ai) - bi;
                r[i] = sm.step(i);
            } else {
                r[i] = sm.finish(i, se);
            }
            smoothed = smoothed || !std::isnan(r[i]);
            ++i;
        }
        return smoothed;
    }

private:
    // The pair's bar where hull() stopped: its whole step, or the rest of an ordinary slide
    // whose events the windows' settles gave.
    [[gnu::noinline]] Pair finish(std::size_t i, const sliding::Event (&e)[2]) noexcept {
        if ((e[0] == sliding::Event::none) & (e[1] == sliding::Event::none)) return step(i);
        hand_over();
        double r[2];
#pragma GCC unroll 1
        for (int l = 0; l < 2; ++l) r[l] = lane_[l].rare(i, e[l]);
        take_back();
        return Pair{r[0], r[1]};
    }

    [[gnu::always_inline]] static void add(Pair& sum, Pair& comp, Pair v) noexcept {
        const Pair y = v - comp;
        const Pair t = sum + y;
        comp = (t - sum) - y;
        sum = t;
    }

    // Both windows' ordinary slide, each half exactly WmaWindow's (wma_slide): o leaves and v
    // enters the plain sums s and the weighted sums w. pa and pb: each weight passed it. The
    // compensations' sum: finite in a half unless that half overflowed.
    [[gnu::always_inline]] static Pair slide_both(Pair& s, Pair& sc, Pair& w, Pair& wc, WindowWeight& wa,
                                                  WindowWeight& wb, unsigned& sla, unsigned& slb, Pair o, double v,
                                                  Pair nf, bool& pa, bool& pb) noexcept {
        const Pair vv = {v, v};
        const Pair plain = s;
        add(s, sc, -o);
        add(w, wc, -plain);
        add(w, wc, nf * vv);
        add(s, sc, vv);
        ++sla;
        ++slb;
        const Pair oo = o * o, in = vv * vv;
        pa = wa.passes(oo[0], in[0]);
        pb = wb.passes(oo[1], in[1]);
        return sc + wc;
    }

    [[gnu::always_inline]] void hand_over() noexcept {
        lane_[0].s_ = {s_sum_[0], s_comp_[0]}, lane_[0].w_ = {w_sum_[0], w_comp_[0]};
        lane_[1].s_ = {s_sum_[1], s_comp_[1]}, lane_[1].w_ = {w_sum_[1], w_comp_[1]};
    }
    [[gnu::always_inline]] void take_back() noexcept {
        s_sum_ = Pair{lane_[0].s_.sum, lane_[1].s_.sum};
        s_comp_ = Pair{lane_[0].s_.comp, lane_[1].s_.comp};
        w_sum_ = Pair{lane_[0].w_.sum, lane_[1].w_.sum};
        w_comp_ = Pair{lane_[0].w_.comp, lane_[1].w_.comp};
    }

    WmaWindow lane_[2];
    Pair nf_, divisor_;
    Pair s_sum_{0.0, 0.0}, s_comp_{0.0, 0.0}, w_sum_{0.0, 0.0}, w_comp_{0.0, 0.0};
};

}  // namespace

Series sma_impl(std::span<const double> x, std::uint64_t period) {
    Series out(x.size(), NaN);
    SmaWindow window(x, period);
    for (std::size_t i = 0; i < x.size(); ++i) out[i] = window.step(i);
    return out;
}

Series ema_impl(std::span<const double> x, std::uint64_t period, double alpha) {
    Series out(x.size(), NaN);
    if (period == 0) return out;
    EmaStage stage(period, alpha);
    for (std::size_t i = 0; i < x.size(); ++i) out[i] = stage(x[i]);
    return out;
}

Series wma_impl(std::span<const double> x, std::uint64_t period) {
    Series out(x.size(), NaN);
    WmaWindow window(x, period);
    sliding::Event stop;
    for (std::size_t i = 0; (i = window.run(out.data(), i, x.size(), stop)) < x.size(); ++i)
        out[i] = window.finish(i, stop);
    return out;
}

Result<Series> sma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return sma_impl(values, period);
}

Result<Series> ema(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return ema_impl(values, period, ema_alpha(period));
}

Result<Series> rma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return ema_impl(values, period, 1.0 / static_cast<double>(period));
}

Result<Series> wma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return wma_impl(values, period);
}

Result<Series> sma_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_allow_nan(values, period); !s) return fail(s.error());
    return sma_impl(values, period);
}

Result<Series> ema_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_allow_nan(values, period); !s) return fail(s.error());
    return ema_impl(values, period, ema_alpha(period));
}

Result<Series> wma_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_allow_nan(values, period); !s) return fail(s.error());
    return wma_impl(values, period);
}

Result<Series> hma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(period)));
    const std::uint64_t half = period / 2;
    if (auto s = validate_period(half, values.size()); !s) return fail(s.error());
    const std::size_t len = values.size();
    Series diff(len, NaN), r(len, NaN);
    WmaPair ab(values, half, period);
    WmaWindow smooth(diff, root);
    const bool smoothed = ab.hull(diff.data(), r.data(), len, smooth);
    // Too short for the final smoothing: the intermediate line is the best there is.
    if (!smoothed) return diff;
    return r;
}

Result<Series> dema(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const double alpha = ema_alpha(period);
    EmaStage e1(period, alpha), e2(period, alpha);
    Series out(values.size(), NaN);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double a = e1(values[i]), b = e2(a);
        if (!std::isnan(a) && !std::isnan(b)) out[i] = (a + a) - b;
    }
    return out;
}

Result<Series> tema(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const double alpha = ema_alpha(period);
    EmaStage e1(period, alpha), e2(period, alpha), e3(period, alpha);
    Series out(values.size(), NaN);
    bool defined = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double a = e1(values[i]), b = e2(a), c = e3(b);
        if (std::isnan(c)) continue;
        defined = true;
        if (!std::isnan(a) && !std::isnan(b)) out[i] = (a * 3.0 - b * 3.0) + c;
    }
    if (!defined) return dema(values, period);
    return out;
}

Result<Series> zlma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const std::size_t lag = (period - 1) / 2;
    Series adjusted(values.size(), NaN);
    for (std::size_t i = lag; i < values.size(); ++i) adjusted[i] = (values[i] + values[i]) - values[i - lag];
    return ema_impl(adjusted, period, ema_alpha(period));
}

Result<Series> t3(std::span<const double> values, std::uint64_t period, double v) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const double v2 = v * v, v3 = v * v * v;
    const double c1 = -v3;
    const double c2 = 3.0 * v3 + 3.0 * v2;
    const double c3 = ((-6.0 * v2) - 3.0 * v) - 3.0 * v3;
    const double c4 = 3.0 * v2 + (v3 + (3.0 * v + 1.0));
    const double alpha = ema_alpha(period);
    EmaStage s1(period, alpha), s2(period, alpha), s3(period, alpha), s4(period, alpha), s5(period, alpha),
        s6(period, alpha);
    Series out(values.size(), NaN);
    bool defined = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double e1 = s1(values[i]), e2 = s2(e1), e3 = s3(e2), e4 = s4(e3), e5 = s5(e4), e6 = s6(e5);
        if (std::isnan(e3) || std::isnan(e4) || std::isnan(e5) || std::isnan(e6)) continue;
        out[i] = c4 * e3 + ((c2 * e5 + c1 * e6) + c3 * e4);
        defined = defined || !std::isnan(out[i]);
    }
    // Too short for six stages (or a NaN factor): the plain average of the input.
    if (!defined) return ema_impl(values, period, alpha);
    return out;
}

Result<Series> kama(std::span<const double> values, std::uint64_t period, std::optional<std::uint64_t> fast_period,
                    std::optional<std::uint64_t> slow_period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    // The sums are formed in unsigned arithmetic first, as callers' periods are counts.
    const double fast_sc = fast_period ? 2.0 / static_cast<double>(*fast_period + 1) : 0.6666666666666666;
    const double slow_sc = slow_period ? 2.0 / static_cast<double>(*slow_period + 1) : 0.06451612903225806;
    const std::size_t n = period, len = values.size();
    Series out(len, NaN);
    out[n - 1] = values[n - 1];
    if (len == n) return out;
    // A window's volatility is the sum of its n absolute changes, oldest first, formed once.
    Scratch<double> moves(len);
    moves[0] = 0.0;
    for (std::size_t k = 1; k < len; ++k) moves[k] = std::fabs(values[k] - values[k - 1]);
    const auto smoothing = [&](auto change, auto volatility, auto zero) {
        const auto er = volatility > zero ? change / volatility : zero;
        const auto base = er * (fast_sc - slow_sc) + slow_sc;
        return base * base;
    };
    double prev = out[n - 1];
    const auto advance = [&](std::size_t at, double sc) {
        prev = (values[at] - prev) * sc + prev;
        out[at] = prev;
    };
    namespace blocks = window_blocks;
    if (n > blocks::kAfreshUpTo) {
        // A long window's volatility slides (stats::RollingSumWindow): its changes are never
        // negative, so it never reads below 0, and a flat window reads exactly 0. The window
        // ending at i holds the changes into bars i - n + 1 .. i: in `changes`, which starts
        // at bar 1, the window ending at i - 1.
        stats::RollingSumWindow volatility(std::span<const double>(moves.data() + 1, len - 1), n);
        for (std::size_t i = n; i < len; ++i)
            advance(i, smoothing(std::fabs(values[i] - values[i - n]), volatility.step(i - 1), 0.0));
        return out;
    }
    // A short one is summed afresh, eight neighbouring windows side by side
    // (utils::window_blocks); their smoothing constants follow in the same registers. The
    // average's own recursion, a chain of dependent steps, runs behind each block, so that
    // the next block's sums overlap it.
    std::size_t i = blocks::sum_by_eights<"kama_windows">(
        n, len, n, [&](std::size_t, std::size_t j) { return pairs::load(moves.data() + j); },
        [&](std::size_t at, const std::array<pairs::Pair, blocks::kPairs>& acc) {
            double sc[blocks::kWindows];
            for (std::size_t q = 0; q < blocks::kPairs; ++q) {
                const std::size_t bar = at + 2 * q;
                const pairs::Pair change =
                    pairs::abs(pairs::load(values.data() + bar) - pairs::load(values.data() + bar - n));
                pairs::store(sc + 2 * q, smoothing(change, acc[q], pairs::Pair{0.0, 0.0}));
            }
            for (std::size_t j = 0; j < blocks::kWindows; ++j) advance(at + j, sc[j]);
        });
    for (; i < len; ++i) {
        double sum = 0.0;
        for (std::size_t k = i + 1 - n; k <= i; ++k) sum += moves[k];
        advance(i, smoothing(std::fabs(values[i] - values[i - n]), sum, 0.0));
    }
    return out;
}

Result<Series> frama(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    const std::size_t len = values.size();
    if (period > len || period < 2 || period % 2 != 0) return fail(VornError::invalid_period(period, len));
    const std::size_t n = period, h = n / 2;
    const double hf = static_cast<double>(h), nf = static_cast<double>(n);
    Series out(len, NaN);
    out[n - 1] = values[n - 1];
    if (len == n) return out;
    // The window of n bars before i is two half windows of h bars; the half window that
    // ends at i - h - 1 was the newer half h bars earlier, so one rolling extreme of h bars
    // serves all three ranges.
    const stats::WindowExtremes ext = stats::rolling_max_min(values, h);
    const double* hi = ext.max.data();
    const double* lo = ext.min.data();
    // The ranges' arithmetic goes first, in a pass of its own; the logarithms and the
    // average's own recursion follow in passes of theirs. Dividing by a power of two is
    // multiplying by its exact reciprocal, to the bit.
    utils::Scratch sum12(len), n3s(len);
    const auto ranges = [&](auto scale_h, auto scale_n) {
        for (std::size_t i = n; i < len; ++i) {
            const std::size_t older = i - h - 1, newer = i - 1;
            const double n1 = scale_h(hi[older] - lo[older]);
            const double n2 = scale_h(hi[newer] - lo[newer]);
            const double top = hi[older] > hi[newer] ? hi[older] : hi[newer];
            const double bottom = lo[older] < lo[newer] ? lo[older] : lo[newer];
            sum12[i] = n1 + n2;
            n3s[i] = scale_n(top - bottom);
        }
    };
    if (std::has_single_bit(h)) {
        const double inv_h = 1.0 / hf, inv_n = 1.0 / nf;
        ranges([=](double x) { return x * inv_h; }, [=](double x) { return x * inv_n; });
    } else {
        ranges([=](double x) { return x / hf; }, [=](double x) { return x / nf; });
    }
    // The exponents are found in a pass of their own and the average in another, so that no
    // bar's logarithms wait on the bar before.
    double* expo = sum12.data();
    for (std::size_t i = n; i < len; ++i) {
        const double s12 = sum12[i], n3 = n3s[i];
        double e = 0.0;  // a flat window: alpha = exp(0) = 1
        if (s12 > 0.0 && n3 > 0.0) {
            const double d = (std::log(s12) - std::log(n3)) / 0.6931471805599453;
            e = (d - 1.0) * -4.6;
        }
        expo[i] = e;
    }
    for (std::size_t i = n; i < len; ++i) {
        double alpha = std::exp(expo[i]);
        if (alpha < 0.01) alpha = 0.01;
        if (alpha > 1.0) alpha = 1.0;
        out[i] = (1.0 - alpha) * out[i - 1] + alpha * values[i];
    }
    return out;
}

}  // namespace vorn::utils::ma
