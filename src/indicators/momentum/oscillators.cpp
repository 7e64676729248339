#include "indicators/momentum/oscillators.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "utils/bounds.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/kahan.hpp"
#include "utils/ma.hpp"
#include "utils/series.hpp"
#include "utils/stats.hpp"
#include "utils/window_lanes.hpp"
#include "utils/window_order.hpp"

namespace vorn::indicators::momentum {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
using errors::validation::validate_hlc;
using errors::validation::validate_lengths_match;
using errors::validation::validate_period;
using errors::validation::validate_series;

std::uint64_t capped(std::uint64_t period, std::size_t n) {
    return period < n ? period : static_cast<std::uint64_t>(n);
}

// Shared by APO, PPO and the awesome oscillator. Equal periods pass the ordering test but
// fail the last one, as does a fast period that does not fit the data.
Status check_fast_slow(std::uint64_t fast, std::uint64_t slow, std::size_t n) {
    if (fast == 0 || slow == 0) return fail(VornError::invalid_period(0, n));
    if (fast > slow)
        return fail(VornError::invalid_value(
            0, "fast_period (" + std::to_string(fast) + ") must be <= slow_period (" + std::to_string(slow) + ")"));
    if (fast >= capped(slow, n)) return fail(VornError::insufficient_data(slow, n));
    return {};
}

struct FastSlow {
    Series fast, slow;
};

Result<FastSlow> fast_slow_ema(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = check_fast_slow(fast_period, slow_period, n); !s) return fail(s.error());
    // The checks above leave the averages nothing to refuse, so they run unchecked.
    // A slow period beyond the data runs over the whole series: one value, at the end.
    const std::uint64_t slow = capped(slow_period, n);
    return FastSlow{utils::ma::ema_impl(close, fast_period, utils::ma::ema_alpha(fast_period)),
                    utils::ma::ema_impl(close, slow, utils::ma::ema_alpha(slow))};
}

// MOM and ROC: the series, then the period in the moving-average regime (a period equal
// to the length is accepted).
Status check_lookback(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return s;
    return validate_period(period, values.size());
}

}  // namespace

Result<Series> mom(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_lookback(values, period); !s) return fail(s.error());
    const std::size_t n = values.size();
    Series out(n, NaN);
    for (std::size_t i = period; i < n; ++i) out[i] = values[i] - values[i - period];
    return out;
}

Result<Series> roc(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_lookback(values, period); !s) return fail(s.error());
    const std::size_t n = values.size();
    Series out(n, NaN);
    for (std::size_t i = period; i < n; ++i) {
        const double base = values[i - period];
        if (std::fabs(base) < kDivisionGuard) continue;
        out[i] = (values[i] / base - 1.0) * 100.0;
    }
    return out;
}

Result<Series> apo(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period) {
    auto fs = fast_slow_ema(close, fast_period, slow_period);
    if (!fs) return fail(fs.error());
    return utils::series_difference(fs->fast, fs->slow);
}

Result<Series> ppo(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period) {
    auto fs = fast_slow_ema(close, fast_period, slow_period);
    if (!fs) return fail(fs.error());
    const std::size_t n = close.size();
    Series out(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        const double f = fs->fast[i], s = fs->slow[i];
        if (std::isnan(f) || std::isnan(s) || std::fabs(s) < kDivisionGuard) continue;
        out[i] = (f - s) / s * 100.0;
    }
    return out;
}

Result<Series> cmo(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = errors::validation::validate_seeded_period(period, n); !s) return fail(s.error());
    const double p = static_cast<double>(period);
    Series out(n, NaN);
    // The seed is a plain sum in index order, as in the RSI.
    double g = 0.0, l = 0.0;
    for (std::size_t i = 1; i <= period; ++i) {
        const double d = close[i] - close[i - 1];
        if (d > 0.0) g += d;
        if (d < 0.0) l += -d;
    }
    g = g / p;
    l = l / p;
    // Averages of gains and of losses are not below 0, so |gain - loss| <= gain + loss: the
    // oscillator lies in -100..100 on any closes (scaling before dividing can round past).
    const auto value = [](double gain, double loss) {
        const double sum = gain + loss;
        return std::fabs(sum) < kDivisionGuard
                   ? 0.0
                   : utils::bounds::confine((gain - loss) * 100.0 / sum, utils::bounds::kSignedPercent);
    };
    out[period] = value(g, l);
    for (std::size_t i = period + 1; i < n; ++i) {
        const double d = close[i] - close[i - 1];
        g = (g * (p - 1.0) + (d > 0.0 ? d : 0.0)) / p;
        l = (l * (p - 1.0) + (-d > 0.0 ? -d : 0.0)) / p;
        out[i] = value(g, l);
    }
    return out;
}

namespace {

// Up to this many bars each window's deviation is summed afresh (eight windows side by
// side); longer windows are kept ranked, which costs less there.
constexpr std::size_t kSummedWindow = 1024;

// The sum of |x - m| over a window ranked by value: with S the window's sum, and S_lo the
// sum of its c_lo values below m, it is (S - S_lo - (p - c_lo) m) + (c_lo m - S_lo)
// = S - 2 S_lo + (2 c_lo - p) m. The sums are pairs of doubles (see utils::order::Summed)
// and the product exact, so the difference loses nothing to the cancellation between
// the sums and the mean; one rounding at the end. With X the largest |x| among the two
// blocks that hold the window, the result is within 2^-52 of itself plus
// 32 (log2(2p) + 2) p^2 2^-105 X of the exact sum about m (at p = 10^4 and prices near
// 10^3, below 10^-17). Values so large that p of them could overflow a sum are scaled by a
// power of two first, which changes nothing but for values below 2^-958.
template <class Write>
void ranked_deviations(std::span<const double> x, std::span<const double> mean, std::size_t p, Write&& write) {
    namespace order = utils::order;
    const std::size_t n = x.size();
    constexpr double kLargeValue = 0x1p960, kScale = 0x1p-64, kUnscale = 0x1p64;
    double largest = 0.0;
    for (const double v : x) largest = std::max(largest, std::fabs(v));
    const bool scaled = largest >= kLargeValue;
    utils::Scratch<double> copy(scaled ? n : 0);
    if (scaled)
        for (std::size_t i = 0; i < n; ++i) copy[i] = x[i] * kScale;
    const std::span<const double> v = scaled ? std::span<const double>(copy.data(), n) : x;
    order::SlidingRanks<order::Summed> ranks(v, p);
    const double pf = static_cast<double>(p);
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= p) ranks.leave(i - p);
        ranks.enter(i);
        if (i + 1 < p || std::isnan(mean[i])) continue;
        const double m = scaled ? mean[i] * kScale : mean[i];
        const order::Summed& all = ranks.total();
        const order::Summed lo = ranks.below_value(m);
        double k_hi, k_lo;
        order::two_product(2.0 * static_cast<double>(lo.count) - pf, m, k_hi, k_lo);
        order::Summed dev{0, all.hi, all.lo};
        dev.accumulate(-2.0 * lo.hi, -2.0 * lo.lo);
        dev.accumulate(k_hi, k_lo);
        // Deviations cannot sum below zero.
        const double sum = dev.hi > 0.0 ? dev.hi : 0.0;
        write(i, scaled ? sum * kUnscale : sum);
    }
    utils::fast_path::taken<"cci_ranked">();
}

}  // namespace

Result<Series> cci(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    const double p = static_cast<double>(period);
    utils::Scratch tp(n), m(n);
    Series out(n, NaN);
    const auto write = [&](std::size_t i, double dev) {
        if (std::isnan(m[i])) return;  // a window whose sum overflowed
        const double md = dev / p;
        out[i] = std::fabs(md) < kDivisionGuard ? 0.0 : (tp[i] - m[i]) / (md * 0.015);
    };
    // The mean deviation is taken about each window's own mean, so it is summed afresh per
    // bar, in index order. Neighbouring windows' sums are independent: eight of them run side
    // by side, two to a vector register, each half adding exactly what the scalar sum would.
    using Pair = double __attribute__((vector_size(16)));
    using Bits = long long __attribute__((vector_size(16)));
    constexpr std::size_t pairs = 4, lanes = 2 * pairs;
    const auto deviations = [&](std::size_t i) {  // the windows ending at i .. i + lanes - 1
        const Bits magnitude = {0x7FFFFFFFFFFFFFFFll, 0x7FFFFFFFFFFFFFFFll};
        Pair dev[pairs], mi[pairs];
#pragma GCC unroll 8
        for (std::size_t q = 0; q < pairs; ++q) {
            dev[q] = Pair{0.0, 0.0};
            __builtin_memcpy(&mi[q], &m[i + 2 * q], sizeof(Pair));
        }
        for (std::size_t j = i + 1 - period; j <= i; ++j)
#pragma GCC unroll 8
            for (std::size_t q = 0; q < pairs; ++q) {
                Pair x;
                __builtin_memcpy(&x, &tp[j + 2 * q], sizeof x);
                dev[q] += (Pair)((Bits)(x - mi[q]) & magnitude);
            }
#pragma GCC unroll 8
        for (std::size_t q = 0; q < pairs; ++q) {
            write(i + 2 * q, dev[q][0]);
            write(i + 2 * q + 1, dev[q][1]);
        }
    };
    // The mean steps in the pass that forms the typical price, one compensated chain the
    // processor waits on; the deviations of windows whose means are known meanwhile fill the
    // wait. The mean's own checks would refuse a typical price that overflowed, under the
    // name "values"; nothing else below can fail.
    utils::ma::SmaWindow mean(std::span<const double>(tp.data(), n), period);
    const bool ranked = period > kSummedWindow && period <= utils::order::kLargestWindow;
    // The first window whose deviation is still to come (ranked: none in this pass).
    std::size_t next = ranked ? n : period - 1;
    for (std::size_t i = 0; i < n; ++i) {
        tp[i] = (high[i] + low[i] + close[i]) / 3.0;
        if (is_non_finite(tp[i])) [[unlikely]]
            return fail(errors::validation::non_finite(i, "values", tp[i]));
        m[i] = mean.step(i);
        if (next + 2 * lanes <= i + 1) {
            deviations(next);
            next += lanes;
        }
    }
    if (ranked) {
        ranked_deviations(std::span<const double>(tp.data(), n), std::span<const double>(m.data(), n), period, write);
        return out;
    }
    for (; next + lanes <= n; next += lanes) deviations(next);
    if (next != period - 1) utils::fast_path::taken<"cci_windows">();
    for (std::size_t i = next; i < n; ++i) {
        double dev = 0.0;
        for (std::size_t j = i + 1 - period; j <= i; ++j) dev += std::fabs(tp[j] - m[i]);
        write(i, dev);
    }
    return out;
}

namespace {

// Two compensated sums advanced together, one per half of a vector register: each half
// performs exactly the steps of utils::Kahan::add, so its sum is bit for bit the scalar one.
using Pair = double __attribute__((vector_size(16)));

struct KahanPair {
    Pair sum{0.0, 0.0};
    Pair comp{0.0, 0.0};

    [[gnu::always_inline]] void add(const double* at) noexcept {
        Pair v;
        __builtin_memcpy(&v, at, sizeof v);
        const Pair y = v - comp;
        const Pair t = sum + y;
        comp = (t - sum) - y;
        sum = t;
    }
};

// p, with the compiler no longer knowing how it relates to the pointers of other steps. A pair
// that one chain loads is loaded again two steps later by its neighbour; GCC 12 (predictive
// commoning, on at -O2 beside the vectoriser) keeps such values from step to step instead of
// loading them again, which takes registers the twelve compensated sums need: one of their
// compensations then lives on the stack, and its store and reload lengthen the dependency
// chain that sets the loop's pace by about a third. Loads cost less than that. The empty asm
// emits no instruction on any target.
[[gnu::always_inline]] inline const double* unrelated(const double* p) noexcept {
    asm("" : "+r"(p));
    return p;
}

bool holds_nan(std::span<const double> v) noexcept {
    for (const double x : v)
        if (std::isnan(x)) return true;
    return false;
}

// The sums of bp and tr over every window of every length in `periods` (ascending, each
// 1 <= period < n), each summed afresh in index order: record(k, end, sbp, str) for the
// window of periods[k] ending at `end`, from end = period on. Windows of different lengths
// that start at the same bar share their first additions, so each start runs one chain as
// long as the longest window and reads the shorter windows' sums off it as it passes their
// ends: the additions and their order are those of a chain per window, at the longest
// window's cost instead of the sum of all. After each run of starts, finished(first, last):
// every window ending in first..last has been recorded.
template <class Record, class Finished>
void uo_window_sums(std::span<const double> bp, std::span<const double> tr, std::span<const std::size_t> periods,
                    Record&& record, Finished&& finished) {
    const std::size_t n = bp.size();
    const std::size_t shortest = periods.front(), longest = periods.back();
    // Windows start at bar 1 at the earliest, so that the undefined first bar never enters a sum.
    std::size_t s = 1;
    // Chains that start at neighbouring bars are independent: without gaps, six of them run
    // side by side so that their compensation chains overlap instead of waiting on one
    // another (more would no longer fit the registers).
    if (!holds_nan(bp.subspan(1, n - 1)) && !holds_nan(tr.subspan(1, n - 1))) {
        constexpr std::size_t pairs = 3, lanes = 2 * pairs;
        if (s + lanes + longest <= n + 1) utils::fast_path::taken<"uo_chains">();
        for (; s + lanes + longest <= n + 1; s += lanes) {
            KahanPair sbp[pairs], str[pairs];
            std::size_t t = 0;
            for (std::size_t k = 0; k < periods.size(); ++k) {
                for (; t < periods[k]; ++t) {
                    const double* b = unrelated(&bp[s + t]);
                    const double* r = unrelated(&tr[s + t]);
#pragma GCC unroll 8
                    for (std::size_t q = 0; q < pairs; ++q) {
                        sbp[q].add(b + 2 * q);
                        str[q].add(r + 2 * q);
                    }
                }
                const std::size_t end = s + periods[k] - 1;
#pragma GCC unroll 8
                for (std::size_t q = 0; q < pairs; ++q) {
                    record(k, end + 2 * q, sbp[q].sum[0], str[q].sum[0]);
                    record(k, end + 2 * q + 1, sbp[q].sum[1], str[q].sum[1]);
                }
            }
            finished(s + shortest - 1, s + shortest + lanes - 2);
        }
    }
    // The rest, and every start when a gap is about: one chain at a time, skipping NaN.
    for (; s + shortest <= n; ++s) {
        utils::Kahan sbp, str;
        std::size_t j = s;
        for (std::size_t k = 0; k < periods.size(); ++k) {
            const std::size_t end = s + periods[k] - 1;
            if (end >= n) break;
            for (; j <= end; ++j) {
                if (!std::isnan(bp[j])) sbp.add(bp[j]);
                if (!std::isnan(tr[j])) str.add(tr[j]);
            }
            record(k, end, sbp.sum, str.sum);
        }
        finished(s + shortest - 1, s + shortest - 1);
    }
}

// A true-range sum below 1e-10 leaves the average undefined.
double uo_ratio(double sbp, double str) noexcept { return std::fabs(str) >= kDivisionGuard ? sbp / str : NaN; }

// Windows up to this long are summed afresh, each in index order (uo_window_sums: a chain per
// start shared by the windows that start there, about as cheap as sliding sums at these
// lengths); longer ones slide (uo_sliding_averages), so that no window costs its length.
constexpr std::size_t kSummedAfreshUpTo = 32;

// The average of every window of p bars from bar 1 on, p > kSummedAfreshUpTo, into avg[end]
// (NaN before bar p): sliding compensated sums of bp and tr, summed afresh on their schedule
// and wherever a value outweighing what stays has left, as utils::stats::RollingSumPair slides
// them (skipping a NaN, as the sums afresh do). So each average is that of its window to the
// rounding of the values it holds, an extreme bar forgotten once it has left, at O(1) a bar.
// Without NaN the stretches between rebuilds run side by side in lanes (utils::lanes, bit for
// bit the pair's sums); the pair takes the series where a gap is about, or where the lanes
// could not follow their plan.
void uo_sliding_averages(std::span<const double> bp, std::span<const double> tr, std::size_t p, double* avg) {
    const std::size_t n = bp.size();
    const std::span<const double> b = bp.subspan(1), t = tr.subspan(1);
    if (!holds_nan(b) && !holds_nan(t)) {
        auto emit = [&](std::size_t i0, std::size_t i1, const utils::lanes::Pair (&s)[2]) {
            avg[i0 + 1] = uo_ratio(s[0][0], s[1][0]);
            avg[i1 + 1] = uo_ratio(s[0][1], s[1][1]);
        };
        const double* const x[2] = {b.data(), t.data()};
        if (utils::lanes::run<2>(utils::lanes::KahanSums<2, decltype(emit)>(x, p, emit), n - 1, p)) return;
    }
    utils::stats::RollingSumPair sums(b, t, p);
    for (std::size_t j = 0; j + 1 < n; ++j) {
        const auto s = sums.step(j);
        if (j + 1 >= p) avg[j + 1] = uo_ratio(s[0], s[1]);
    }
}

}  // namespace

Series calc_uo_avg(std::span<const double> bp, std::span<const double> tr, std::uint64_t period) {
    const std::size_t n = bp.size();
    Series out(n, NaN);
    // A window of no bars sums to zero: nothing is defined.
    if (period >= n || period == 0) return out;
    const std::size_t p = period;
    if (p > kSummedAfreshUpTo) {
        uo_sliding_averages(bp, tr, p, out.data());
        return out;
    }
    uo_window_sums(
        bp, tr, {&p, 1}, [&](std::size_t, std::size_t end, double sbp, double str) { out[end] = uo_ratio(sbp, str); },
        [](std::size_t, std::size_t) {});
    return out;
}

Result<Series> ultimate_oscillator(std::span<const double> high, std::span<const double> low,
                                   std::span<const double> close, std::uint64_t period1, std::uint64_t period2,
                                   std::uint64_t period3) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (n == 1) return fail(VornError::insufficient_data(2, 1));
    if (period1 == 0 || period2 == 0 || period3 == 0) return fail(VornError::invalid_period(0, n));
    Series out(n, NaN);
    // A period that leaves no window leaves no value anywhere.
    if (period1 >= n || period2 >= n || period3 >= n) return out;
    utils::Scratch bp(n), tr(n);
    bp[0] = tr[0] = NaN;
    for (std::size_t i = 1; i < n; ++i) {
        const double prev = close[i - 1];
        const double lo = low[i] < prev ? low[i] : prev;
        const double hi = high[i] > prev ? high[i] : prev;
        bp[i] = close[i] - lo;
        tr[i] = hi - lo;
    }
    // The three averages by ascending period; role[r] is where average r + 1 stands.
    std::size_t periods[3] = {period1, period2, period3}, role[3] = {0, 1, 2};
    std::sort(std::begin(role), std::end(role), [&](std::size_t x, std::size_t y) { return periods[x] < periods[y]; });
    const std::size_t sorted[3] = {periods[role[0]], periods[role[1]], periods[role[2]]};
    std::size_t at[3];
    for (std::size_t k = 0; k < 3; ++k) at[role[k]] = k;
    const std::size_t longest = sorted[2];
    const std::span<const double> bps(bp.data(), n), trs(tr.data(), n);
    auto combine = [&](std::size_t i, double a1, double a2, double a3) __attribute__((always_inline)) {
        if (std::isnan(a1) || std::isnan(a2) || std::isnan(a3)) return;
        out[i] = (2.0 * a2 + 4.0 * a1 + a3) * 100.0 / 7.0;
    };
    if (longest <= kSummedAfreshUpTo) {
        // A bar's three averages come from chains that start up to the longest period apart:
        // each average waits in a ring, long enough to outlast that, until the bar's last one.
        const std::size_t ring = std::bit_ceil(longest + 16), mask = ring - 1;
        utils::Scratch avg(3 * ring);
        uo_window_sums(
            bps, trs, sorted,
            [&](std::size_t k, std::size_t end, double sbp, double str) { avg[k * ring + (end & mask)] = uo_ratio(sbp, str); },
            [&](std::size_t first, std::size_t last) {
                for (std::size_t i = first < longest ? longest : first; i <= last; ++i)
                    combine(i, avg[at[0] * ring + (i & mask)], avg[at[1] * ring + (i & mask)],
                            avg[at[2] * ring + (i & mask)]);
            });
    } else {
        // Each average over the whole series, as its own period has it: the short ones summed
        // afresh (their chains shared), the long ones sliding.
        utils::Scratch avg(3 * n);
        std::size_t fresh = 0;
        while (fresh < 3 && sorted[fresh] <= kSummedAfreshUpTo) ++fresh;
        if (fresh > 0)
            uo_window_sums(bps, trs, std::span<const std::size_t>(sorted, fresh),
                           [&](std::size_t k, std::size_t end, double sbp, double str) { avg[k * n + end] = uo_ratio(sbp, str); },
                           [](std::size_t, std::size_t) {});
        for (std::size_t k = fresh; k < 3; ++k) uo_sliding_averages(bps, trs, sorted[k], &avg[k * n]);
        for (std::size_t i = longest; i < n; ++i) combine(i, avg[at[0] * n + i], avg[at[1] * n + i], avg[at[2] * n + i]);
    }
    // A bar whose close lies within its true range buys at most that range, so each average
    // lies in 0..1 and the oscillator in 0..100, where every bar of the longest window did;
    // rounding carries it past only now and then, and only then are the bars looked over.
    if (!utils::bounds::strays(out.data(), 0, n, utils::bounds::kPercent)) [[likely]]
        return out;
    utils::bounds::confine_where_held(out.data(), n, longest, utils::bounds::kPercent,
                                      [&](std::size_t i) { return !(bp[i] < 0.0) & !(bp[i] > tr[i]); });
    return out;
}

Result<Series> awesome_oscillator(std::span<const double> high, std::span<const double> low,
                                  std::uint64_t fast_period, std::uint64_t slow_period) {
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = check_fast_slow(fast_period, slow_period, n); !s) return fail(s.error());
    // Both averages step side by side in the pass that forms the median price, each exactly
    // as in a pass of its own. A median that overflowed is refused as the averages' own
    // checks would, under their name "values"; nothing else below can fail.
    utils::Scratch mid(n);
    Series out(n);
    const std::span<const double> mids(mid.data(), n);
    utils::ma::SmaWindow fast(mids, fast_period), slow(mids, capped(slow_period, n));
    for (std::size_t i = 0; i < n; ++i) {
        mid[i] = (high[i] + low[i]) * 0.5;
        if (is_non_finite(mid[i])) [[unlikely]]
            return fail(errors::validation::non_finite(i, "values", mid[i]));
        const double f = fast.step(i), s = slow.step(i);
        out[i] = std::isnan(f) || std::isnan(s) ? NaN : f - s;
    }
    return out;
}

Result<FisherSeries> fisher_transform(std::span<const double> high, std::span<const double> low,
                                      std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    const auto [hh, ll] = utils::stats::rolling_high_low(high, low, period);
    FisherSeries out{Series(n, NaN), Series(n, NaN)};
    for (std::size_t i = period - 1; i < n; ++i) {
        if (std::isnan(hh[i]) || std::isnan(ll[i])) continue;
        const double r = hh[i] - ll[i];
        double x = std::fabs(r) < kDivisionGuard ? 0.0 : ((close[i] - ll[i]) / r) * 2.0 - 1.0;
        // fmax/fmin on purpose: a position that came out NaN (an infinite range over an
        // infinite distance) is clamped like any other instead of poisoning the log.
        x = std::fmax(x, -0.999);
        x = std::fmin(x, 0.999);
        out.fisher[i] = std::log((1.0 + x) / (1.0 - x)) * 0.5;
        if (i > 0) out.signal[i] = out.fisher[i - 1];
    }
    return out;
}

Result<TsiSeries> tsi(std::span<const double> close, std::uint64_t long_period, std::uint64_t short_period,
                      std::uint64_t signal_period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (n == 1) return fail(VornError::insufficient_data(2, 1));
    if (long_period == 0 || short_period == 0 || signal_period == 0) return fail(VornError::invalid_period(0, n));
    if (long_period > n) return fail(VornError::invalid_period(long_period, n));
    if (short_period > n) return fail(VornError::invalid_period(short_period, n));

    // Nothing below can fail, so the signal period is tested with the others, and all five
    // smoothings step side by side in one pass, each exactly as in a pass of its own.
    if (signal_period > n) return fail(VornError::invalid_period(signal_period, n));
    const double al = utils::ma::ema_alpha(long_period), as = utils::ma::ema_alpha(short_period);
    // The undefined first change is a gap: each smoothing seeds from the first full window after it.
    utils::ma::EmaStage m_long(long_period, al), m_short(short_period, as), a_long(long_period, al),
        a_short(short_period, as), signal(signal_period, utils::ma::ema_alpha(signal_period));
    TsiSeries out{Series(n), Series(n)};
    for (std::size_t i = 0; i < n; ++i) {
        const double m = i == 0 ? NaN : close[i] - close[i - 1];
        const double e = m_short(m_long(m)), d = a_short(a_long(std::fabs(m)));
        // A flat stretch leaves NaN in the line; the signal reseeds after it.
        const double t = std::isnan(e) || !(std::fabs(d) >= kDivisionGuard) ? NaN : (e * 100.0) / d;
        out.tsi[i] = t;
        out.signal[i] = signal(t);
    }
    return out;
}

}  // namespace vorn::indicators::momentum
