#pragma once
// Moving-average kernels in three tiers: validating (refuse empty, non-finite and bad
// periods), NaN-tolerant (NaN is a gap that restarts the window) and unvalidated (the
// caller has checked; 1 <= period <= len).
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "errors/errors.hpp"
#include "utils/beyond_range.hpp"
#include "utils/constants.hpp"
#include "utils/kahan.hpp"
#include "utils/series.hpp"
#include "utils/sliding.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::ma {

Result<Series> sma(std::span<const double> values, std::uint64_t period);
Result<Series> ema(std::span<const double> values, std::uint64_t period);
Result<Series> rma(std::span<const double> values, std::uint64_t period);
Result<Series> wma(std::span<const double> values, std::uint64_t period);
Result<Series> hma(std::span<const double> values, std::uint64_t period);
Result<Series> dema(std::span<const double> values, std::uint64_t period);

Result<Series> sma_allow_nan(std::span<const double> values, std::uint64_t period);
Result<Series> ema_allow_nan(std::span<const double> values, std::uint64_t period);
Result<Series> wma_allow_nan(std::span<const double> values, std::uint64_t period);

Series sma_impl(std::span<const double> values, std::uint64_t period);
Series ema_impl(std::span<const double> values, std::uint64_t period, double alpha);
Series wma_impl(std::span<const double> values, std::uint64_t period);

// sma_impl one bar at a time over a series that may still be growing: step(i) reads x[i]
// and, on a slide, x[i - period] (the whole window on a recompute), so every bar up to i must
// be written. Averages of averages run their windows side by side in one pass, the two
// compensated-sum chains overlapping, with exactly the arithmetic of separate passes.
class SmaWindow {
public:
    SmaWindow(std::span<const double> x, std::uint64_t period) noexcept
        : x_(x), n_(period), nf_(static_cast<double>(period)), last_(sliding::rebuild_every(period) - 1) {}

    // Inline into the loop, rare paths included (placed apart as cold code): a call handed the
    // window would keep its sums in memory, a round trip on every slide's chain of additions.
    [[gnu::always_inline]] double step(std::size_t i) noexcept {
        const double v = x_[i];
        sliding::Event e;
        // The R-th slide after the window filled, and every R-th after that, is summed afresh
        // (sliding::OnEveryThousandth, R = 1000 up to 1000 bars; counted here before the
        // slide; a window of one bar on every slide).
        if (std::isnan(v) | (count_ < n_) | (slides_ >= last_)) [[unlikely]] {
            // A gap (the window restarts after it), the first window, and the scheduled rebuild.
            if (std::isnan(v)) {
                acc_.reset();
                weight_.reset();
                beyond_.reset();
                count_ = 0;
                slides_ = 0;
                return NaN;
            }
            if (count_ < n_) {
                acc_.add(v);
                weight_.add(std::fabs(v));
                if (++count_ < n_) return NaN;
                e = finite() ? sliding::Event::none : sliding::Event::fresh;
            } else {
                e = beyond_.active() ? sliding::Event::scheduled : sliding::Event::rebuild;
            }
            slides_ = sliding::first_count(n_, last_);
        } else {
            ++slides_;
            acc_.add(v);
            const double o = x_[i - n_];
            acc_.sub(o);
            // A sum that overflowed, or held a value outweighing the window, is rebuilt at once,
            // or it would spoil windows long after the huge values left. A slide that the
            // weight passes reads its sum as it is (sliding::kWeightCovers); the others, where
            // it may be a window of zeros or a sum of terms none of which is negative gone below
            // 0, as the window defines it.
            const bool passes = weight_.passes(std::fabs(o), std::fabs(v));
            if (passes & std::isfinite(acc_.comp)) [[likely]] {
                if (!reading_.covers()) [[unlikely]]
                    return read(i);
                return acc_.sum / nf_;
            }
            e = settle(i, passes);
        }
        return rare(i, e);
    }

    // A split loop: the windows' sums and weights copied into locals (local()), their ordinary
    // slides taken by slide() in a loop that makes no call and reaches nothing else, so that
    // they stay in registers even beside the take-over's paths; the first bar that needs more
    // stops the loop, the state goes back (keep()), and finish() takes that bar out of line.
    struct Local {
        Kahan acc;
        WindowWeight weight;
        unsigned slides;
    };
    Local local() const noexcept { return {acc_, weight_, slides_}; }
    void keep(const Local& l) noexcept { acc_ = l.acc, weight_ = l.weight, slides_ = l.slides; }

    // The bar i as step() takes it when it is an ordinary slide (its value in out); false
    // otherwise, with what finish() is to do (none: the whole step).
    [[gnu::always_inline]] bool slide(Local& l, std::size_t i, double& out, sliding::Event& e) noexcept {
        const double v = x_[i];
        e = sliding::Event::none;
        if (std::isnan(v) | (count_ < n_) | (l.slides >= last_)) [[unlikely]]
            return false;
        ++l.slides;
        l.acc.add(v);
        const double o = x_[i - n_];
        l.acc.sub(o);
        const bool passes = l.weight.passes(std::fabs(o), std::fabs(v));
        if (!(passes & std::isfinite(l.acc.comp))) [[unlikely]] {
            e = settle(i, passes, l.weight, l.acc);
            if (e != sliding::Event::none) return false;
            out = read(i, l.acc.sum, l.weight);
            return true;
        }
        if (!reading_.covers()) [[unlikely]] {
            out = read(i, l.acc.sum, l.weight);
            return true;
        }
        out = l.acc.sum / nf_;
        return true;
    }
    [[gnu::noinline]] double finish(std::size_t i, sliding::Event e) noexcept {
        return e == sliding::Event::none ? step(i) : rare(i, e);
    }

private:
    // What a slide that the weight did not pass, or that overflowed, asks for.
    [[gnu::always_inline]] sliding::Event settle(std::size_t i, bool passes) noexcept {
        return settle(i, passes, weight_, acc_);
    }
    [[gnu::always_inline]] sliding::Event settle(std::size_t i, bool passes, WindowWeight& weight, const Kahan& acc) noexcept {
        if (beyond_.active()) return sliding::Event::slid;
        const bool spoilt = !passes && weight.settle_inline(std::fabs(x_[i]), [&, i] {
            return reading_.holds_nonzero(i + 1 - n_, i, [&](std::size_t k) { return x_[k]; });
        });
        if (!finite(acc, weight)) return sliding::Event::overflowed;
        return spoilt ? sliding::Event::rebuild : sliding::Event::none;
    }

    bool finite() const noexcept { return finite(acc_, weight_); }
    static bool finite(const Kahan& acc, const WindowWeight& weight) noexcept {
        return std::isfinite(acc.sum) & std::isfinite(acc.comp) & (weight.sum <= std::numeric_limits<double>::max());
    }

    // Every rebuild, and every path of a window beyond the range (utils/beyond_range.hpp), in
    // one place, so that each is inlined once; none moves the schedule. A window taken over
    // reads its scaled sum (one just summed afresh, its own sum, as it always did), its own
    // left non-finite so that every slide comes back here.
    [[gnu::always_inline]] double rare(std::size_t i, sliding::Event e) noexcept {
        bool taken = false, own = true;  // own: the window reads its own sum (one place)
        while (e != sliding::Event::none) {
            if (e != sliding::Event::rebuild &&
                beyond_.advance(e, i, n_, [x = x_](std::size_t k) { return x[k]; }) == sliding::Next::read) {
                taken = true, own = sliding::afresh(e);
                break;
            }
            resum(i);
            if (finite()) {
                beyond_.back();
                break;
            }
            e = beyond_.active() ? sliding::Event::failed : sliding::Event::fresh;
        }
        const double r = own ? read(i) : beyond_.read(i, n_) / nf_;
        if (taken) [[unlikely]] {
            acc_ = {NaN, NaN};
            weight_.sum = std::numeric_limits<double>::infinity();
        }
        return r;
    }

    // The sum of the window ending at i as its window defines it; the clear case divides on
    // its own branch, which keeps the loops that run several windows as short as before.
    [[gnu::always_inline]] double read(std::size_t i) noexcept { return read(i, acc_.sum, weight_); }
    [[gnu::always_inline]] double read(std::size_t i, double sum, const WindowWeight& weight) noexcept {
        if (reading_.clear(sum, weight.high())) return sum / nf_;
        return reading_.look(i + 1 - n_, i, sum, [&](std::size_t k) { return x_[k]; }) / nf_;
    }

    [[gnu::always_inline]] void resum(std::size_t i) noexcept {
        acc_.reset();
        weight_.reset();
        for (std::size_t k = i + 1 - n_; k <= i; ++k) {
            acc_.add(x_[k]);
            weight_.add(std::fabs(x_[k]));
        }
        acc_.comp = 0.0;
    }

    std::span<const double> x_;
    std::size_t n_;
    double nf_;
    unsigned last_;  // the count of slides at which the next slide is summed afresh
    Kahan acc_;
    WindowWeight weight_;
    sliding::LazyReading reading_{n_};
    sliding::PlainBeyond beyond_;
    std::size_t count_ = 0;
    unsigned slides_ = 0;
};

// One exponential stage, fed one element at a time. Chained stages (DEMA, TEMA, T3) run
// side by side in one pass, so their latency chains overlap; each stage's arithmetic is
// exactly that of a separate pass.
class EmaStage {
public:
    EmaStage(std::uint64_t period, double alpha)
        : n_(period), nf_(static_cast<double>(period)), alpha_(alpha), keep_(1.0 - alpha) {}

    [[gnu::always_inline]] double operator()(double v) noexcept {
        if (std::isnan(v)) {  // a gap: seed again from the next element
            seed_.reset();
            count_ = 0;
            return NaN;
        }
        if (count_ < n_) {
            seed_.add(v);
            if (++count_ < n_) return NaN;
            avg_ = seed_.sum / nf_;
            return avg_;
        }
        avg_ = avg_ * keep_ + v * alpha_;
        return avg_;
    }

private:
    std::size_t n_;
    double nf_, alpha_, keep_;
    Kahan seed_;
    std::size_t count_ = 0;
    double avg_ = 0.0;
};

// The smoothing factor of the exponential average of period n.
inline double ema_alpha(std::uint64_t period) { return 2.0 / (1.0 + static_cast<double>(period)); }

// Averages that compute on top of the kernels above.
Result<Series> tema(std::span<const double> values, std::uint64_t period);
Result<Series> zlma(std::span<const double> values, std::uint64_t period);
Result<Series> t3(std::span<const double> values, std::uint64_t period, double vfactor);
Result<Series> kama(std::span<const double> values, std::uint64_t period, std::optional<std::uint64_t> fast_period,
                    std::optional<std::uint64_t> slow_period);
Result<Series> frama(std::span<const double> values, std::uint64_t period);

}  // namespace vorn::utils::ma
