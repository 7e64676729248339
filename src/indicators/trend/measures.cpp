#include "indicators/trend/measures.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "indicators/volatility/bands.hpp"
#include "utils/bounds.hpp"
#include "utils/constants.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"
#include "utils/window_lanes.hpp"

namespace vorn::indicators::trend {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
using namespace errors::validation;
namespace stats = utils::stats;
namespace ma = utils::ma;
namespace lanes = utils::lanes;

// Monotonic queue of bars (value and index) in a ring of a power of two at least the
// window's p + 1 bars, with each bar's value beside its index: the queue is walked without
// going back to the series.
class Extremes {
public:
    explicit Extremes(std::size_t p) : mask_(std::bit_ceil(p + 2) - 1), value_(mask_ + 1), index_(mask_ + 1) {}

    // `evicts(x, back)` is true when the newest bar's value x makes the queued value `back`
    // useless.
    template <class Evicts>
    void push(std::size_t i, double x, Evicts&& evicts) {
        while (tail_ != head_ && evicts(x, value_[(tail_ - 1) & mask_])) --tail_;
        value_[tail_ & mask_] = x;
        index_[tail_ & mask_] = i;
        ++tail_;
    }
    // Never empties the queue: the newest index is always at or after `oldest`.
    void expire_before(std::size_t oldest) {
        while (index_[head_ & mask_] < oldest) ++head_;
    }

    // Bars from `i` back to the most recent bar of the window whose value lies within 1e-10
    // of the window's extreme. The queue (front = the extreme, later equal values kept) holds
    // every suffix extreme, so that bar is always in it and the qualifying entries form a
    // prefix of it.
    std::size_t bars_since(std::size_t i) const {
        const double extreme = value_[head_ & mask_];
        std::size_t best = index_[head_ & mask_];
        for (std::size_t k = head_ + 1; k != tail_; ++k) {
            if (!(std::fabs(value_[k & mask_] - extreme) < 1e-10)) break;
            best = index_[k & mask_];
        }
        return i - best;
    }

private:
    std::size_t mask_;
    utils::Scratch<double> value_;
    utils::Scratch<std::size_t> index_;
    std::size_t head_ = 0, tail_ = 0;  // counts of bars taken off the front and put on the back
};

// A window's best value (the highest, or the lowest negated) and the latest bar holding it
// (its index as a double, exact), and the best of its values strictly worse than the best
// (-inf when there is none).
struct Best {
    lanes::Pair best_at;
    double next;
};

// block_extremes' rule for Best over sign * x; of equal values the later bar is kept, as the
// queues keep it. Without a branch, in vector registers: which of two bars is the better one
// is a coin flip to a predictor. The suffix extremes are kept in a ring of a power of two at
// least the window long, which the indices of one block never wrap.
struct BestRule {
    using Cand = Best;
    const double* x;
    double sign;
    Best* ring;
    std::size_t mask;
    Best at(std::size_t i) const noexcept {
        return {lanes::Pair{sign * x[i], static_cast<double>(i)}, -std::numeric_limits<double>::infinity()};
    }
    static Best pick(Best later, Best earlier) noexcept {
        using lanes::Pair;
        const Pair lb{later.best_at[0], later.best_at[0]}, eb{earlier.best_at[0], earlier.best_at[0]};
        const lanes::Mask lt = lb < eb, gt = lb > eb;
        // The winner's own runner-up against the loser's best (equal bests: both runners-up).
        const Pair loser = lanes::select(gt, eb, Pair{earlier.next, earlier.next});
        const Pair ab = lanes::select(lt, Pair{earlier.next, later.best_at[0]}, Pair{later.next, loser[0]});
        return {lanes::select(lt, earlier.best_at, later.best_at), ab[0] > ab[1] ? ab[0] : ab[1]};
    }
    void keep(std::size_t i, Best c) const noexcept { ring[i & mask] = c; }
    Best kept(std::size_t i) const noexcept { return ring[i & mask]; }
};

// For each window of p + 1 bars ending at i >= p, emit(i, d): the bars from i back to the most
// recent bar whose value lies within 1e-10 of the window's extreme (sign 1: the highest, -1:
// the lowest), as Extremes::bars_since counts them. That bar is the latest one holding the
// extreme unless some other value of the window lies within 1e-10 of it; then the window is
// searched from its end. False, with some windows emitted, when such searches have passed
// over more than 4 n bars: the queues then take the whole series.
template <class Emit>
bool latest_extremes(std::span<const double> x, double sign, std::size_t p, Emit&& emit) {
    const std::size_t n = x.size(), w = p + 1;
    utils::Scratch<Best> ring(std::bit_ceil(w));
    std::size_t budget = 4 * n;
    bool within = true;
    stats::window::block_extremes(BestRule{x.data(), sign, ring.data(), ring.size() - 1}, n, w, [&](std::size_t i, Best c) {
        const double best = c.best_at[0];
        const auto at = static_cast<std::size_t>(c.best_at[1]);
        std::size_t latest = at;
        if (std::fabs(c.next - best) < 1e-10) [[unlikely]] {
            // A value of the window near the extreme: the latest bar near it, if after `at`.
            std::size_t k = i;
            while (k > at && !(std::fabs(sign * x[k] - best) < 1e-10)) --k;
            latest = k;
            const std::size_t searched = i - k;
            within = within && searched <= budget;
            budget -= within ? searched : 0;
        }
        if (within) emit(i, i - latest);
    });
    return within;
}

}  // namespace

Result<AroonSeries> aroon(std::span<const double> high, std::span<const double> low, std::uint64_t period) {
    // The length check validates `high` first.
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (period < 2) return fail(VornError::invalid_period(period, n));
    if (period >= n) return fail(VornError::insufficient_data(errors::validation::bars_for_period(period), n));
    const std::size_t p = period;
    const double pf = static_cast<double>(period);
    AroonSeries out{Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    // (p - d) / p * 100 for every count of bars d, as each bar would compute it.
    utils::Scratch<double> share(p + 1);
    for (std::size_t d = 0; d <= p; ++d) share[d] = (static_cast<double>(p - d) / pf) * 100.0;
    const bool done = latest_extremes(high, 1.0, p, [&](std::size_t i, std::size_t d) { out.up[i] = share[d]; }) &&
                      latest_extremes(low, -1.0, p, [&](std::size_t i, std::size_t d) { out.down[i] = share[d]; });
    if (done) {
        for (std::size_t i = p; i < n; ++i) out.oscillator[i] = out.up[i] - out.down[i];
        return out;
    }

    // Strictly decreasing highs and strictly increasing lows from front to back; of equal
    // values the later survives.
    Extremes highs(p), lows(p);
    for (std::size_t i = 0; i < n; ++i) {
        // Expiring before the push keeps at most p + 1 indices queued.
        if (i > p) {
            highs.expire_before(i - p);
            lows.expire_before(i - p);
        }
        highs.push(i, high[i], [](double x, double back) { return x >= back; });
        lows.push(i, low[i], [](double x, double back) { return back >= x; });
        if (i < p) continue;
        const double up = share[highs.bars_since(i)], down = share[lows.bars_since(i)];
        out.up[i] = up;
        out.down[i] = down;
        out.oscillator[i] = up - down;
    }
    return out;
}

namespace {

// Vortex and choppiness: bar checks (high first, as the length check takes it), then one bar
// at least, then a non-zero period; a period at or above the length is no error (the result
// is all NaN).
Status check_bars_period(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                         std::uint64_t period) {
    if (auto s = validate_hlc(high, low, close); !s) return s;
    if (high.size() == 1) return fail(VornError::insufficient_data(2, 1));
    if (period == 0) return fail(VornError::invalid_period(0, high.size()));
    return {};
}

// TRIX and DPO accept a period equal to the length and need the period itself otherwise.
Status check_close_period(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return s;
    if (period == 0) return fail(VornError::invalid_period(0, close.size()));
    if (period > close.size()) return fail(VornError::insufficient_data(period, close.size()));
    return {};
}

}  // namespace

Result<Series> trix(std::span<const double> close, std::uint64_t period) {
    if (auto s = check_close_period(close, period); !s) return fail(s.error());
    const double alpha = ma::ema_alpha(period);
    // Each stage restarts its seed after the previous stage's NaN warm-up.
    const Series e1 = ma::ema_impl(close, period, alpha);
    const Series e2 = ma::ema_impl(e1, period, alpha);
    const Series e3 = ma::ema_impl(e2, period, alpha);
    const std::size_t n = close.size();
    Series out(n, NaN);
    for (std::size_t i = 1; i < n; ++i) {
        const double prev = e3[i - 1], cur = e3[i];
        if (std::isnan(prev) || std::isnan(cur) || std::fabs(prev) < kDivisionGuard) continue;
        out[i] = ((cur - prev) / prev) * 100.0;
    }
    return out;
}

Result<Series> dpo(std::span<const double> close, std::uint64_t period) {
    if (auto s = check_close_period(close, period); !s) return fail(s.error());
    const std::size_t n = close.size();
    const std::size_t k = period / 2 + 1;
    const Series mean = ma::sma_impl(close, period);
    Series out(n, NaN);
    // The close is not shifted: each bar is compared with the mean that ended k bars earlier.
    for (std::size_t i = k; i < n; ++i)
        if (!std::isnan(mean[i - k])) out[i] = close[i] - mean[i - k];
    return out;
}

namespace {

// The vortex sums one window at a time: the reference the lanes reproduce, taken when they
// cannot (values near the largest double).
void vortex_by_window(std::span<const double> vp, std::span<const double> vm, std::span<const double> tr,
                      std::uint64_t period, VortexSeries& out) {
    const Series sp = stats::rolling_sum_kahan(vp, period);
    const Series sm = stats::rolling_sum_kahan(vm, period);
    const Series st = stats::rolling_sum_kahan(tr, period);
    for (std::size_t i = period; i < vp.size(); ++i) {
        if (std::isnan(st[i]) || std::fabs(st[i]) < kDivisionGuard) continue;
        out.plus[i] = sp[i] / st[i];
        out.minus[i] = sm[i] / st[i];
    }
}

}  // namespace

Result<VortexSeries> vortex(std::span<const double> high, std::span<const double> low,
                            std::span<const double> close, std::uint64_t period) {
    if (auto s = check_bars_period(high, low, close, period); !s) return fail(s.error());
    const std::size_t n = high.size();
    VortexSeries out{Series(n, NaN), Series(n, NaN)};
    if (period >= n) return out;
    // Bar 0 has no movement and holds 0.0 in all three; the outputs start at `period`, so it
    // is in no window used. Differences of finite prices may overflow but are never NaN.
    utils::Scratch<double> vp(n), vm(n), tr(n);
    vp[0] = vm[0] = tr[0] = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
        vp[i] = std::fabs(high[i] - low[i - 1]);
        vm[i] = std::fabs(low[i] - high[i - 1]);
        tr[i] = volatility::true_range_bar(high[i], low[i], close[i - 1]);
    }
    auto emit = [&](std::size_t i0, std::size_t i1, const lanes::Pair (&s)[3]) {
        const lanes::Pair plus = s[0] / s[2], minus = s[1] / s[2];
        // Neither NaN nor too small: the comparison is false for NaN.
        if (std::fabs(s[2][0]) >= kDivisionGuard) out.plus[i0] = plus[0], out.minus[i0] = minus[0];
        if (std::fabs(s[2][1]) >= kDivisionGuard) out.plus[i1] = plus[1], out.minus[i1] = minus[1];
    };
    const double* const sums[3] = {vp.data(), vm.data(), tr.data()};
    if (!lanes::run<2>(lanes::KahanSums<3, decltype(emit)>(sums, period, emit), n, period)) {
        out = {Series(n, NaN), Series(n, NaN)};
        vortex_by_window({vp.data(), n}, {vm.data(), n}, {tr.data(), n}, period, out);
        return out;
    }
    // The first window, at period - 1, still holds bar 0.
    out.plus[period - 1] = out.minus[period - 1] = NaN;
    return out;
}

namespace {

// The highest high and the lowest low of a window, found together.
struct HighLow {
    double high, low;
};

// block_extremes' rule for both extremes at once; of equal values the later one is kept, as
// rolling_max and rolling_min keep it.
struct RangeRule {
    using Cand = HighLow;
    const double* high;
    const double* low;
    HighLow* slots;
    HighLow at(std::size_t i) const noexcept { return {high[i], low[i]}; }
    static HighLow pick(HighLow later, HighLow earlier) noexcept {
        return {earlier.high > later.high ? earlier.high : later.high,
                earlier.low < later.low ? earlier.low : later.low};
    }
    void keep(std::size_t i, HighLow c) const noexcept { slots[i] = c; }
    HighLow kept(std::size_t i) const noexcept { return slots[i]; }
};

}  // namespace

Result<Series> choppiness(std::span<const double> high, std::span<const double> low,
                          std::span<const double> close, std::uint64_t period) {
    if (auto s = check_bars_period(high, low, close, period); !s) return fail(s.error());
    const std::size_t n = high.size();
    Series out(n, NaN);
    if (period >= n) return out;
    const std::size_t p = period;
    // The summed true ranges go to `out` first; the window's range then turns each into the
    // index. Bar 0's placeholder range of 0.0 is in the first window only, which gives none.
    utils::Scratch<double> tr(n);
    tr[0] = 0.0;
    for (std::size_t i = 1; i < n; ++i) tr[i] = volatility::true_range_bar(high[i], low[i], close[i - 1]);
    auto emit = [&](std::size_t i0, std::size_t i1, const lanes::Pair (&s)[1]) {
        out[i0] = s[0][0];
        out[i1] = s[0][1];
    };
    const double* const sums[1] = {tr.data()};
    if (!lanes::run<4>(lanes::KahanSums<1, decltype(emit)>(sums, p, emit), n, p)) {
        const Series sum = stats::rolling_sum_kahan(std::span<const double>(tr.data(), n), period);
        std::copy(sum.begin(), sum.end(), out.begin());
    }
    const double scale = std::log10(static_cast<double>(period));
    utils::Scratch<HighLow> slots(n);
    stats::window::block_extremes(RangeRule{high.data(), low.data(), slots.data()}, n, p,
                                  [&](std::size_t i, HighLow c) {
        const double s = out[i], range = c.high - c.low;
        // Also false for a NaN sum or range.
        if (i >= p && s > 0.0 && range > 0.0) {
            out[i] = (std::log10(s / range) * 100.0) / scale;
        } else {
            out[i] = NaN;
        }
    });
    return out;
}

Result<Series> qstick(std::span<const double> open, std::span<const double> close, std::uint64_t period) {
    // The length check validates `open` first.
    if (auto s = validate_lengths_match({{open, "open"}, {close, "close"}}); !s) return fail(s.error());
    if (auto s = validate_period(period, open.size()); !s) return fail(s.error());
    Series body(open.size());
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = close[i] - open[i];
    return ma::ema(body, period);
}

Result<Series> vhf(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (n == 1) return fail(VornError::insufficient_data(2, 1));
    if (auto s = validate_seeded_period(period, n); !s) return fail(s.error());
    const std::size_t p = period;
    // The summed changes go to `out` first, then the window's range turns each into the
    // filter. Bar 0's change of 0.0 is in the first window only, which gives none.
    Series out(n, NaN);
    utils::Scratch<double> change(n);
    change[0] = 0.0;
    for (std::size_t i = 1; i < n; ++i) change[i] = std::fabs(close[i] - close[i - 1]);
    auto emit = [&](std::size_t i0, std::size_t i1, const lanes::Pair (&s)[1]) {
        out[i0] = s[0][0];
        out[i1] = s[0][1];
    };
    const double* const sums[1] = {change.data()};
    // A change that overflowed leaves the lanes' plan: then the sums one window at a time.
    if (!lanes::run<4>(lanes::KahanSums<1, decltype(emit)>(sums, p, emit), n, p)) {
        const Series sum = stats::rolling_sum_kahan(std::span<const double>(change.data(), n), period);
        std::copy(sum.begin(), sum.end(), out.begin());
    }
    utils::Scratch<HighLow> slots(n);
    stats::window::block_extremes(RangeRule{close.data(), close.data(), slots.data()}, n, p,
                                  [&](std::size_t i, HighLow c) {
        const double sum = out[i], num = std::fabs(c.high - c.low);
        if (i >= p && std::isfinite(num) && std::isfinite(sum) && sum > 0.0) {
            // The closes' range over a window is at most the path of its changes.
            out[i] = utils::bounds::confine_not_below(num / sum, utils::bounds::kFraction);
        } else {
            out[i] = NaN;
        }
    });
    return out;
}

}  // namespace vorn::indicators::trend
