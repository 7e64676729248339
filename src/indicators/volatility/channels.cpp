#include "indicators/volatility/channels.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "utils/constants.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"
#include "utils/window_lanes.hpp"

namespace vorn::indicators::volatility {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
constexpr double INF = std::numeric_limits<double>::infinity();
using namespace errors::validation;
namespace stats = utils::stats;
namespace ma = utils::ma;
namespace lanes = utils::lanes;

}  // namespace

Result<BandSeries> donchian_channel(std::span<const double> high, std::span<const double> low,
                                    std::uint64_t period) {
    // The length check validates `high` first.
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    if (auto s = validate_period(period, high.size()); !s) return fail(s.error());
    stats::WindowExtremes range = stats::rolling_high_low(high, low, period);
    BandSeries out{std::move(range.max), Series(high.size(), NaN), std::move(range.min)};
    for (std::size_t i = 0; i < high.size(); ++i)
        if (!std::isnan(out.upper[i]) && !std::isnan(out.lower[i])) out.middle[i] = (out.upper[i] + out.lower[i]) * 0.5;
    return out;
}

Result<ChandelierSeries> chandelier_exit(std::span<const double> high, std::span<const double> low,
                                         std::span<const double> close, std::uint64_t period,
                                         std::uint64_t atr_period, double multiplier) {
    // The length check validates `high` first.
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    if (auto s = validate_seeded_period(atr_period, n); !s) return fail(s.error());
    if (multiplier < 0.0) return fail(VornError::out_of_range("multiplier", multiplier, 0.0, INF));
    const auto [hh, ll] = stats::rolling_high_low(high, low, period);
    auto range = atr(high, low, close, atr_period);
    if (!range) return fail(range.error());
    const Series& a = *range;
    ChandelierSeries out{Series(n, NaN), Series(n, NaN)};
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(hh[i]) || std::isnan(ll[i]) || std::isnan(a[i])) continue;
        out.long_exit[i] = hh[i] - a[i] * multiplier;
        out.short_exit[i] = ll[i] + a[i] * multiplier;
    }
    return out;
}

namespace {

// The windows whose every value is defined, found in one forward pass: a value that is not
// (at bar i) spoils the windows ending at i .. i + period - 1. Values before the first bar
// seen count as defined.
class CompleteWindows {
public:
    explicit CompleteWindows(std::size_t period) noexcept : p_(period), from_(period - 1) {}
    void undefined(std::size_t i) noexcept { from_ = i + p_; }
    // The window ending at i, after every bar up to i has been seen.
    bool complete(std::size_t i) const noexcept { return i >= from_; }

private:
    std::size_t p_, from_;
};

// The marks the first passes leave in the output for the lanes: 0.0 where the window ending
// there is complete, NaN where it is not.
constexpr double kComplete = 0.0;

// rolling_max's rule, its slots in the caller's output.
struct HighestRule {
    using Cand = double;
    const double* v;
    double* slots;
    double at(std::size_t i) const noexcept { return v[i]; }
    static double pick(double later, double earlier) noexcept { return earlier > later ? earlier : later; }
    void keep(std::size_t i, double c) const noexcept { slots[i] = c; }
    double kept(std::size_t i) const noexcept { return slots[i]; }
};

// Both halves of `v` into `out` at i0 and i1 where their windows are complete. i0 and i1
// are one bar when a stretch fills both halves: the marks are read before either write,
// and both write the same value.
inline void finish_into(Series& out, std::size_t i0, std::size_t i1, lanes::Pair v) noexcept {
    const bool c0 = out[i0] == kComplete, c1 = out[i1] == kComplete;
    if (c0) out[i0] = v[0];
    if (c1) out[i1] = v[1];
}

// Sums of `values` (no NaN) over `period`, computed in lanes, into the complete windows of
// `out` (marked kComplete) as finish() turns them, two at a time. False when the lanes could
// not follow their plan: `out` is then spoilt, and the caller computes it one window at a time.
template <class Finish>
bool sums_into(const double* values, std::size_t n, std::size_t period, Series& out, Finish finish) {
    auto emit = [&](std::size_t i0, std::size_t i1, const lanes::Pair (&s)[1]) {
        finish_into(out, i0, i1, finish(s[0]));
    };
    const double* const x[1] = {values};
    return lanes::run<4>(lanes::KahanSums<1, decltype(emit)>(x, period, emit), n, period);
}

// The window sums one window at a time, of the values' finite entries (0.0 for the others),
// kept where every value of the window is finite: the path the lanes reproduce.
Series complete_window_sums(const Series& values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series zeroed(n);
    for (std::size_t i = 0; i < n; ++i) zeroed[i] = std::isfinite(values[i]) ? values[i] : 0.0;
    Series sums = stats::rolling_sum_kahan(zeroed, period);
    std::uint64_t missing = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(values[i])) ++missing;
        if (i >= period && !std::isfinite(values[i - period])) --missing;
        if (i + 1 >= period && missing != 0) sums[i] = NaN;
    }
    return sums;
}

// The sample deviation of the log returns, times sqrt(period) * 100. An undefined return
// (return 0, a zero close, an infinite ratio) voids the windows that hold it.
Series annualised_deviation(std::span<const double> close, std::uint64_t period) {
    const std::size_t n = close.size();
    Series returns(n, NaN);
    for (std::size_t i = 1; i < n; ++i) {
        if (std::fabs(close[i - 1]) < kDivisionGuard) continue;
        const double r = std::log(close[i] / close[i - 1]);
        if (std::isfinite(r)) returns[i] = r;
    }
    // Bar 0 has no return: the windows are taken over the returns from bar 1, so that a series
    // whose returns are all defined runs the kernel's path without NaN.
    Series out(n, NaN);
    if (n < 2) return out;
    const Series sd = stats::stdev(std::span<const double>(returns.data() + 1, n - 1), period);
    const double scale = std::sqrt(static_cast<double>(period)) * 100.0;
    for (std::size_t i = 0; i + 1 < n; ++i) out[i + 1] = sd[i] * scale;  // NaN stays NaN
    return out;
}

Series ulcer_index_by_window(std::span<const double> close, std::uint64_t period) {
    const std::size_t n = close.size();
    const Series hc = stats::rolling_max(close, period);
    Series dd(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        if (!(hc[i] > 0.0)) continue;
        const double q = (close[i] - hc[i]) / hc[i] * 100.0;
        dd[i] = q * q;
    }
    Series out = complete_window_sums(dd, period);
    const double pf = static_cast<double>(period);
    for (double& v : out) {
        if (std::isnan(v)) continue;
        if (v < 0.0) v = 0.0;
        v = std::sqrt(v / pf);
    }
    return out;
}

// Ranges already checked finite.
Series mass_index_by_window(std::span<const double> high, std::span<const double> low, std::uint64_t a,
                            std::uint64_t b) {
    const std::size_t n = high.size();
    Series range(n);
    for (std::size_t i = 0; i < n; ++i) range[i] = high[i] - low[i];
    const Series e1 = ma::ema_impl(range, a, ma::ema_alpha(a));
    const Series e2 = ma::ema_impl(e1, a, ma::ema_alpha(a));
    Series ratio(n, NaN);
    for (std::size_t i = 0; i < n; ++i) {
        const double x = e1[i], y = e2[i];
        if (std::isnan(x) || std::isnan(y) || std::fabs(y) < kDivisionGuard) continue;
        ratio[i] = x / y;
    }
    return complete_window_sums(ratio, b);
}

}  // namespace

Result<Series> historical_volatility(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (period < 2 || period > n) return fail(VornError::invalid_period(period, n));
    return annualised_deviation(close, period);
}

Result<Series> ulcer_index(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    const std::size_t p = period;
    Series out(n, NaN);
    // Squared drawdowns from the window's highest close, an undefined one (no positive high,
    // or an overflow) as 0.0 in the sums, its windows left NaN. The first p - 1 bars have no
    // high yet.
    utils::Scratch<double> dd(n);
    CompleteWindows windows(p);
    for (std::size_t i = 0; i + 1 < p; ++i) dd[i] = 0.0, windows.undefined(i);
    stats::window::block_extremes(HighestRule{close.data(), out.data()}, n, p, [&](std::size_t i, double hc) {
        double d = NaN;
        if (hc > 0.0) {
            const double q = (close[i] - hc) / hc * 100.0;
            d = q * q;
        }
        if (std::isfinite(d)) {
            dd[i] = d;
        } else {
            dd[i] = 0.0;
            windows.undefined(i);
        }
        out[i] = windows.complete(i) ? kComplete : NaN;
    });
    const double pf = static_cast<double>(period);
    const bool done = sums_into(dd.data(), n, p, out, [pf](lanes::Pair v) {
        // The sliding sum of non-negative squares can end a hair below zero once the
        // drawdowns leave the window; that is a zero index, not an undefined one.
        const lanes::Pair zero{0.0, 0.0};
        return lanes::root(lanes::select(v < zero, zero, v) / lanes::Pair{pf, pf});
    });
    if (!done) return ulcer_index_by_window(close, period);
    return out;
}

Result<Series> mass_index(std::span<const double> high, std::span<const double> low, std::uint64_t fast,
                          std::uint64_t slow) {
    // The length check validates `high` first.
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (fast == 0 || slow == 0) return fail(VornError::invalid_period(0, n));
    // The shorter period always smooths and the longer one always sums, whichever argument holds it.
    const std::uint64_t a = fast < slow ? fast : slow;
    const std::uint64_t b = fast < slow ? slow : fast;
    // 2b - a computed without wrapping: b + (b - a), saturated at the largest count.
    const std::uint64_t need = b - a > UINT64_MAX - b ? UINT64_MAX : b + (b - a);
    if (n < need) return fail(VornError::insufficient_data(need, n));
    // The single and the double average of the range, their ratio, all in one pass. The
    // second average seeds after the first one's warm-up, which is a gap to it.
    Series out(n, NaN);
    utils::Scratch<double> ratio(n);
    CompleteWindows windows(b);
    ma::EmaStage e1(a, ma::ema_alpha(a)), e2(a, ma::ema_alpha(a));
    for (std::size_t i = 0; i < n; ++i) {
        const double range = high[i] - low[i];
        // The first average refuses a range that overflowed, as it refuses any non-finite value.
        if (is_non_finite(range)) [[unlikely]] return fail(non_finite(i, "values", range));
        const double x = e1(range), y = e2(x);
        double r = NaN;
        if (!std::isnan(x) && !std::isnan(y) && !(std::fabs(y) < kDivisionGuard)) r = x / y;
        if (std::isfinite(r)) {
            ratio[i] = r;
        } else {
            ratio[i] = 0.0;
            windows.undefined(i);
        }
        if (i + 1 >= b) out[i] = windows.complete(i) ? kComplete : NaN;
    }
    if (!sums_into(ratio.data(), n, b, out, [](lanes::Pair v) { return v; }))
        return mass_index_by_window(high, low, a, b);
    return out;
}

}  // namespace vorn::indicators::volatility
