#include "indicators/extended/oscillators.hpp"

#include <algorithm>
#include <cmath>

#include "indicators/extended/high_low.hpp"
#include "indicators/momentum/rsi_macd.hpp"
#include "utils/bounds.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/ma.hpp"
#include "utils/pairs.hpp"
#include "utils/stats.hpp"
#include "utils/window_blocks.hpp"

namespace vorn::indicators::extended {

using errors::validation::validate_series_and_periods;

namespace {

namespace blocks = utils::window_blocks;
namespace pairs = utils::pairs;
using pairs::Pair;
using utils::NaN;
using utils::kDivisionGuard;

}  // namespace

Series roc_helper(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (n <= period) return out;
    for (std::size_t i = period; i < n; ++i) {
        const double base = values[i - period];
        if (std::fabs(base) >= kDivisionGuard) out[i] = (values[i] - base) / base * 100.0;
    }
    return out;
}

namespace {

// stochastic_raw of the n values value(0 .. n - 1), in one pass over them.
template <class Value>
Series stochastic(std::size_t n, std::uint64_t period, const Value& value) {
    Series out(n, NaN);
    if (period == 0 || period >= n) return out;
    const std::size_t p = period;
    // Index period - 1 is never written, although its window is complete.
    high_low(n, p, value, [&](std::size_t i, double hi, double lo) {
        if (i < p) return;
        const double range = hi - lo;
        out[i] = std::fabs(range) > kDivisionGuard ? (value(i) - lo) / range * 100.0 : 50.0;
    });
    return out;
}

}  // namespace

Series stochastic_raw(std::span<const double> values, std::uint64_t period) {
    return stochastic(values.size(), period, [&](std::size_t i) { return values[i]; });
}

Result<QqeSeries> qqe(std::span<const double> close, std::uint64_t rsi_period, std::uint64_t smooth,
                      double multiplier) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {rsi_period, smooth}); !s) return fail(s.error());
    auto rsi = momentum::rsi(close, rsi_period);
    if (!rsi) return fail(rsi.error());
    const std::size_t n = close.size();
    const double alpha = utils::ma::ema_alpha(smooth);
    QqeSeries r{utils::ma::ema_impl(*rsi, smooth, alpha), Series(n, NaN), Series(n, 0.0)};
    // The average as formed; the loop below reads each value unconfined, then confines it in
    // place for the caller.
    Series& m = r.smoothed;
    // The delta series reuses the RSI's buffer.
    Series& delta = *rsi;
    delta[0] = NaN;
    for (std::size_t i = 1; i < n; ++i)
        delta[i] = std::isnan(m[i]) || std::isnan(m[i - 1]) ? NaN : std::fabs(m[i] - m[i - 1]);
    const Series a = utils::ma::ema_impl(delta, smooth, alpha);
    // An exponential average of RSI values lies in 0..100. With a band not below 0 the trailing
    // line moves toward the average and never past it, so it stays between the midpoint and
    // the average's values (a negative band pushes it away: then it has no bound). Both are
    // confined as they are written; the line moves on from its unconfined value, and each
    // value of the average, read once here, is confined in its place after.
    namespace bounds = utils::bounds;
    const bounds::Interval line_bound = multiplier < 0.0 ? bounds::kAnything : bounds::kPercent;
    m[0] = bounds::confine(m[0], bounds::kPercent);
    double line = NaN;  // the trailing line at the previous bar, unconfined
    for (std::size_t i = 1; i < n; ++i) {
        const double mi = m[i];
        m[i] = bounds::confine(mi, bounds::kPercent);
        if (std::isnan(mi) || std::isnan(a[i])) {
            line = NaN;
            continue;
        }
        // The line restarts from the RSI's midpoint after any undefined bar.
        const double prev = std::isnan(line) ? 50.0 : line;
        const double band = a[i] * multiplier;
        if (mi > prev) {
            const double cap = prev + band;
            line = std::isnan(cap) || mi < cap ? mi : cap;
            r.direction[i] = 1.0;
        } else if (mi < prev) {
            const double floor = prev - band;
            line = std::isnan(floor) || mi > floor ? mi : floor;
            r.direction[i] = -1.0;
        } else {
            line = prev;
        }
        r.trailing[i] = bounds::confine(line, line_bound);
    }
    return r;
}

Result<KstSeries> kst(std::span<const double> close, std::uint64_t roc1, std::uint64_t roc2, std::uint64_t roc3,
                      std::uint64_t roc4, std::uint64_t signal_period) {
    // The smoothing periods are fixed (10, 10, 10, 15) whatever the ROC periods are; after
    // these checks no average can refuse its input.
    if (auto s = validate_series_and_periods({{close, "close"}}, {std::max({roc1, roc2, roc3, roc4}), signal_period, 10, 15}); !s)
        return fail(s.error());
    const std::size_t n = close.size();
    const std::uint64_t periods[4] = {roc1, roc2, roc3, roc4};
    Series roc[4] = {Series(n, NaN), Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    KstSeries r{Series(n, NaN), Series(n, NaN)};
    // The five averages (the signal line's over the KST line) step side by side in one pass,
    // so that their compensated sums' chains overlap, each with sma_impl's arithmetic.
    utils::ma::SmaWindow s1(roc[0], 10), s2(roc[1], 10), s3(roc[2], 10), s4(roc[3], 15), signal(r.kst, signal_period);
    // Once every rate of change has its base, they are divided two at a time.
    const std::size_t all = std::max({roc1, roc2, roc3, roc4});
    const Pair hundred = pairs::both(100.0), tiny = pairs::both(kDivisionGuard), nan = pairs::both(NaN);
    auto rates = [&](std::size_t i, std::size_t k) {
        const Pair base{close[i - periods[k]], close[i - periods[k + 1]]};
        const Pair rate = (pairs::both(close[i]) - base) / base * hundred;
        // A base below 1e-10 in magnitude leaves the rate undefined.
        const Pair rates = pairs::select(pairs::abs(base) >= tiny, rate, nan);
        roc[k][i] = rates[0];
        roc[k + 1][i] = rates[1];
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= all) [[likely]] {
            rates(i, 0), rates(i, 2);
        } else {
            for (std::size_t k = 0; k < 4; ++k) {
                if (i < periods[k]) continue;
                const double base = close[i - periods[k]];
                if (std::fabs(base) >= kDivisionGuard) roc[k][i] = (close[i] - base) / base * 100.0;
            }
        }
        const double a = s1.step(i), b = s2.step(i), c = s3.step(i), d = s4.step(i);
        if (!(std::isnan(a) || std::isnan(b) || std::isnan(c) || std::isnan(d))) r.kst[i] = 4.0 * d + (3.0 * c + (a + (b + b)));
        r.signal[i] = signal.step(i);
    }
    return r;
}

Result<Series> stc(std::span<const double> close, std::uint64_t fast, std::uint64_t slow, std::uint64_t cycle) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {fast, slow, cycle}); !s) return fail(s.error());
    // The checks above are all that the validating averages would repeat.
    const Series f = utils::ma::ema_impl(close, fast, utils::ma::ema_alpha(fast));
    const Series s = utils::ma::ema_impl(close, slow, utils::ma::ema_alpha(slow));
    // Two unsmoothed stochastic passes over the MACD line, which the first takes bar by bar
    // from the two averages.
    const auto macd = [&](std::size_t i) { return std::isnan(f[i]) || std::isnan(s[i]) ? NaN : f[i] - s[i]; };
    return stochastic_raw(stochastic(close.size(), cycle, macd), cycle);
}

Result<Series> smi(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period, std::uint64_t smooth1, std::uint64_t smooth2) {
    if (auto s = validate_series_and_periods({{high, "high"}, {low, "low"}, {close, "close"}}, {period, smooth1, smooth2}); !s)
        return fail(s.error());
    const std::size_t n = close.size();
    auto [diff, half] = utils::stats::rolling_high_low(high, low, period);
    for (std::size_t i = 0; i < n; ++i) {
        const double hh = diff[i], ll = half[i];
        if (std::isnan(hh) || std::isnan(ll)) {
            diff[i] = half[i] = NaN;
            continue;
        }
        diff[i] = close[i] - (hh + ll) * 0.5;
        half[i] = (hh - ll) * 0.5;
    }
    auto d = utils::ma::ema_allow_nan(utils::ma::ema_impl(diff, smooth1, utils::ma::ema_alpha(smooth1)), smooth2);
    if (!d) return fail(d.error());
    auto r1 = utils::ma::ema_allow_nan(half, smooth1);
    if (!r1) return fail(r1.error());
    auto r = utils::ma::ema_allow_nan(*r1, smooth2);
    if (!r) return fail(r.error());
    Series& out = *d;
    for (std::size_t i = 0; i < n; ++i) {
        const double num = out[i], den = (*r)[i];
        out[i] = std::isnan(num) || std::isnan(den) || std::fabs(den) < kDivisionGuard ? NaN : num / den * 100.0;
    }
    // A close within its window's extremes lies at most half the range from their midpoint, so
    // while every close so far did, the index lies in -100..100 (the averages never forget);
    // rounding carries it past only now and then, and only then are the closes looked over.
    namespace bounds = utils::bounds;
    if (bounds::strays(out.data(), 0, n, bounds::kSignedPercent)) [[unlikely]] {
        const auto [hh, ll] = utils::stats::rolling_high_low(high, low, period);
        bounds::confine_until_broken(
            n, bounds::kSignedPercent,
            [&](std::size_t j) { return bounds::within(close[j], bounds::Interval{ll[j], hh[j]}); }, out.data());
    }
    return std::move(out);
}

Result<Series> tdfi(std::span<const double> close, std::uint64_t period, std::uint64_t smooth) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period, smooth}); !s) return fail(s.error());
    Series mom(close.size(), NaN);
    for (std::size_t i = period; i < close.size(); ++i) mom[i] = std::fabs(close[i] - close[i - period]);
    return utils::ma::ema_impl(mom, smooth, utils::ma::ema_alpha(smooth));
}

Result<Series> coppock(std::span<const double> close, std::uint64_t period1, std::uint64_t period2,
                       std::uint64_t wma_period) {
    const std::uint64_t longest = std::max(period1, period2);
    if (auto s = validate_series_and_periods({{close, "close"}}, {longest, wma_period}); !s) return fail(s.error());
    const std::size_t n = close.size(), w = wma_period;
    // The two rates of change summed in one pass (roc_helper's values), and only from index
    // `longest`: no window reads the sums before it, which are undefined.
    auto roc = [&](std::size_t i, std::uint64_t period) {
        const double base = close[i - period];
        return std::fabs(base) >= kDivisionGuard ? (close[i] - base) / base * 100.0 : NaN;
    };
    utils::Scratch<double> sum(n);
    for (std::size_t i = longest; i < n; ++i) {
        const double a = roc(i, period1), b = roc(i, period2);
        sum[i] = std::isnan(a) || std::isnan(b) ? NaN : a + b;
    }
    if (w > blocks::kAfreshUpTo) {
        // A long window's weighted sum slides, as the weighted mean's does (utils::ma::wma_impl:
        // weights 1 .. w from the oldest bar, over (1 + w) w / 2, exact as below for every
        // window shorter than 2^26 bars). A NaN sum is a gap there, which blanks exactly the
        // windows that hold it, the undefined sums before `longest` included.
        for (std::size_t i = 0; i < longest; ++i) sum[i] = NaN;
        return utils::ma::wma_impl(std::span<const double>(sum.data(), n), w);
    }
    // w (w + 1) / 2 in integers, halving the even factor first so that it cannot overflow.
    const double divisor = static_cast<double>(w % 2 == 0 ? (w / 2) * (w + 1) : w * ((w + 1) / 2));
    Series out(n, NaN);
    // A short window is summed afresh from its oldest bar, eight side by side where they fit
    // (utils::window_blocks); one holding an undefined sum is NaN through its own arithmetic.
    const Pair divisor2 = pairs::both(divisor);
    std::size_t i = blocks::sum_by_eights<"coppock_windows">(
        longest + w - 1, n, w,
        [&](std::size_t k, std::size_t j) { return pairs::both(static_cast<double>(k + 1)) * pairs::load(sum.data() + j); },
        [&](std::size_t at, const std::array<Pair, blocks::kPairs>& acc) {
            for (std::size_t q = 0; q < blocks::kPairs; ++q) pairs::store(&out[at + 2 * q], acc[q] / divisor2);
        });
    for (; i < n; ++i) {
        const double* win = sum.data() + (i + 1 - w);
        double acc = 0.0;
        for (std::size_t k = 0; k < w; ++k) acc += static_cast<double>(k + 1) * win[k];
        out[i] = acc / divisor;
    }
    return out;
}

}  // namespace vorn::indicators::extended
