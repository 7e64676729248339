#include "indicators/extended/flow.hpp"

#include <cmath>
#include <variant>

#include "indicators/volatility/bands.hpp"
#include "utils/bounds.hpp"
#include "utils/constants.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"
#include "utils/window_lanes.hpp"

namespace vorn::indicators::extended {

namespace lanes = utils::lanes;

namespace {

using utils::NaN;
using utils::kDivisionGuard;
constexpr std::uint64_t inertia_signal_period = 4;

using errors::validation::validate_lengths_match;
using errors::validation::validate_period;

// The RVI's checks: the four series, then its two periods in order.
Status validate_rvi(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                    std::span<const double> close, std::uint64_t first_period, std::uint64_t second_period) {
    if (auto s = validate_lengths_match({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return s;
    if (auto s = validate_period(first_period, close.size()); !s) return s;
    return validate_period(second_period, close.size());
}

// The RVI line into `line` (as long as the inputs, pre-filled with NaN), one bar at a time:
// after(i) runs once line[i] is written, so that an average of the line steps in the same pass,
// its compensated sum overlapping the line's own. Flattened so that the averages' steps are
// inlined into the loop. Inputs validated, 1 <= period <= n.
template <class After>
[[gnu::flatten]] void rvi_line(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                               std::span<const double> close, std::uint64_t period, Series& line, After after) {
    const std::size_t n = close.size();
    Series num(n, NaN), den(n, NaN);  // the smoothed bodies and ranges, NaN for the first three bars
    utils::ma::SmaWindow num_mean(num, period), den_mean(den, period);
    for (std::size_t i = 0; i < n; ++i) {
        // Weights 1, 2, 2, 1 from the newest bar back, added newest first.
        if (i >= 3) {
            const double co0 = close[i] - open[i], co1 = close[i - 1] - open[i - 1];
            const double co2 = close[i - 2] - open[i - 2], co3 = close[i - 3] - open[i - 3];
            const double hl0 = high[i] - low[i], hl1 = high[i - 1] - low[i - 1];
            const double hl2 = high[i - 2] - low[i - 2], hl3 = high[i - 3] - low[i - 3];
            num[i] = (((co0 + 2.0 * co1) + 2.0 * co2) + co3) / 6.0;
            den[i] = (((hl0 + 2.0 * hl1) + 2.0 * hl2) + hl3) / 6.0;
        }
        const double ns = num_mean.step(i), ds = den_mean.step(i);
        line[i] = std::isnan(ns) || std::isnan(ds) || std::fabs(ds) < kDivisionGuard ? NaN : ns / ds;
        after(i);
    }
}

}  // namespace

Series shift_forward(std::span<const double> values, std::uint64_t shift) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (shift < n)
        for (std::size_t j = 0; j + shift < n; ++j) out[j + shift] = values[j];
    return out;
}

Result<Series> efi(std::span<const double> close, std::span<const double> volume, std::uint64_t period) {
    if (auto s = validate_lengths_match({{close, "close"}, {volume, "volume"}}); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    Series force(n, NaN);
    for (std::size_t i = 1; i < n; ++i) force[i] = (close[i] - close[i - 1]) * volume[i];
    // Bar 0 has no change: its NaN delays the seed to the mean of force[1 .. period].
    return utils::ma::ema_impl(force, period, utils::ma::ema_alpha(period));
}

Result<RviSeries> rvi(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                      std::span<const double> close, std::uint64_t period, std::uint64_t signal_period) {
    if (auto s = validate_rvi(open, high, low, close, period, signal_period); !s) return fail(s.error());
    const std::size_t n = close.size();
    RviSeries out{Series(n, NaN), Series(n, NaN)};
    utils::ma::SmaWindow signal(out.rvi, signal_period);
    rvi_line(open, high, low, close, period, out.rvi, [&](std::size_t i) { out.signal[i] = signal.step(i); });
    // A bar's body is at most its range, so a line value formed from such bars (four for each
    // of its `period` terms) lies in -1..1, and so does the signal's mean of such line values:
    // both are confined where every bar behind them kept its body within its range, looked for
    // only where rounding carried one past.
    namespace bounds = utils::bounds;
    if (!bounds::strays(out.rvi.data(), 0, n, bounds::kUnit) && !bounds::strays(out.signal.data(), 0, n, bounds::kUnit))
        [[likely]]
        return out;
    const auto body_within = [&](std::size_t i) { return !(std::fabs(close[i] - open[i]) > high[i] - low[i]); };
    bounds::confine_where_held(out.rvi.data(), n, period + 3, bounds::kUnit, body_within);
    bounds::confine_where_held(out.signal.data(), n, period + 3 + signal_period - 1, bounds::kUnit, body_within);
    return out;
}

namespace {

// The least-squares line's value at the newest bar of each window of the RVI line that lies
// wholly from bar p on and holds no undefined bar.
void regression_ends(const Series& line, std::size_t p, Series& out) {
    const double newest_x = static_cast<double>(p) - 1.0;
    utils::stats::window::line_fits_of(line, p, [&](std::size_t i, const auto& f) {
        // Written for every window: a window may be read more than once (moments::walk_pairs).
        out[i] = i >= p && std::isfinite(f.slope) && std::isfinite(f.intercept) ? f.slope * newest_x + f.intercept : NaN;
    });
}

// The RVI line one window at a time: the path the lanes reproduce, taken when they cannot
// (sums near the largest double).
Series inertia_by_window(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                         std::span<const double> close, std::uint64_t rvi_period, std::uint64_t regression_period) {
    const std::size_t n = close.size();
    Series out(n, NaN), line(n, NaN);
    rvi_line(open, high, low, close, rvi_period, line, [](std::size_t) {});
    regression_ends(line, regression_period, out);
    return out;
}

}  // namespace

Result<Series> inertia(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                       std::span<const double> close, std::uint64_t rvi_period, std::uint64_t regression_period) {
    if (auto s = validate_rvi(open, high, low, close, rvi_period, regression_period); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_period(inertia_signal_period, n); !s) return fail(s.error());
    Series out(n, NaN);
    if (regression_period < 2) return out;  // a one-bar window fits no line
    using lanes::Pair;
    // The RVI line as rvi_line computes it, its two averages stepped in lanes: the smoothed
    // bodies and ranges start at bar 3, so their averages' windows do.
    Series line(n, NaN);
    constexpr std::size_t kFrom = 3;
    const std::size_t rp = rvi_period;
    if (n >= kFrom + rp) {
        const std::size_t m = n - kFrom;
        utils::Scratch<double> num(m), den(m);
        // Each bar's body and range (close - open, high - low), the newest at d0.
        auto bar = [&](std::size_t i) { return Pair{close[i] - open[i], high[i] - low[i]}; };
        Pair d1 = bar(2), d2 = bar(1), d3 = bar(0);
        for (std::size_t i = kFrom; i < n; ++i) {
            const Pair d0 = bar(i);
            // Weights 1, 2, 2, 1 from the newest bar back, added newest first.
            const Pair smoothed = (((d0 + Pair{2.0, 2.0} * d1) + Pair{2.0, 2.0} * d2) + d3) / Pair{6.0, 6.0};
            num[i - kFrom] = smoothed[0];
            den[i - kFrom] = smoothed[1];
            d3 = d2, d2 = d1, d1 = d0;
        }
        const double nf = static_cast<double>(rp);
        auto emit = [&](std::size_t i0, std::size_t i1, const Pair (&s)[2]) {
            const Pair ns = s[0] / Pair{nf, nf}, ds = s[1] / Pair{nf, nf}, r = ns / ds;
            // Neither NaN nor too small: the comparison is false for NaN.
            line[kFrom + i0] = std::fabs(ds[0]) >= kDivisionGuard ? r[0] : NaN;
            line[kFrom + i1] = std::fabs(ds[1]) >= kDivisionGuard ? r[1] : NaN;
        };
        const double* const sums[2] = {num.data(), den.data()};
        // A smoothed value that overflowed leaves the lanes' plan.
        if (!lanes::run<2>(lanes::KahanSums<2, decltype(emit), true>(sums, rp, emit), m, rp))
            return inertia_by_window(open, high, low, close, rvi_period, regression_period);
    }
    regression_ends(line, regression_period, out);
    return out;
}

Result<Series> pgo(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period) {
    // The ATR checks the same series in the same order and refuses a period of 0 the same way,
    // so its checks stand for the shared ones; only a period above n, which it reports as too
    // little data, is an invalid period here, as for any windowed indicator.
    auto atr = volatility::atr(high, low, close, period);
    if (!atr) {
        const std::size_t n = close.size();
        if (period > n && std::holds_alternative<errors::InsufficientData>(atr.error().kind()))
            return fail(VornError::invalid_period(period, n));
        return fail(atr.error());
    }
    utils::ma::SmaWindow mean(close, period);
    Series& out = *atr;  // each bar is read before it is overwritten
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double a = out[i], m = mean.step(i);
        out[i] = std::isnan(m) || std::isnan(a) || std::fabs(a) < kDivisionGuard ? NaN : (close[i] - m) / a;
    }
    return atr;
}

}  // namespace vorn::indicators::extended
