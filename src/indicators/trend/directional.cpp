#include "indicators/trend/directional.hpp"

#include <cmath>

#include "indicators/volatility/bands.hpp"
#include "utils/bounds.hpp"
#include "utils/constants.hpp"

namespace vorn::indicators::trend {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
namespace bounds = utils::bounds;

// +DI and -DI travel together, one per half of a vector register: each half does exactly
// the scalar steps, and the two divisions of a step share one instruction.
using Pair = double __attribute__((vector_size(16)));
using Mask = long long __attribute__((vector_size(16)));

Status validate(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                std::uint64_t period) {
    if (auto s = errors::validation::validate_hlc(high, low, close); !s) return s;
    return errors::validation::validate_seeded_period(period, high.size());
}

// A bar's directional movement (+DM, -DM) and true range. A move counts when it is positive
// and beats the other one: equal moves, and an inside bar, carry no directional movement of
// either sign. Selected by mask, as the direction of a bar is a coin flip to a branch predictor.
[[gnu::always_inline]] inline void bar_moves(std::span<const double> high, std::span<const double> low,
                                             std::span<const double> close, std::size_t i, Pair& dm, double& tr) {
    const double up = high[i] - high[i - 1];
    const double down = low[i - 1] - low[i];
    const Pair moves{up, down}, others{down, up};
    const Mask counts = (moves > Pair{0.0, 0.0}) & (moves > others);
    dm = reinterpret_cast<Pair>(reinterpret_cast<Mask>(moves) & counts);
    tr = volatility::true_range_bar(high[i], low[i], close[i - 1]);
}

// Wilder's smoothing of the directional movement and the true range, bar by bar, with no
// scratch series: `emit(i, plus_di, minus_di)` for every i from period to n - 1, in order.
// Inputs validated, 1 <= period < n. Whatever the caller builds on the DI (DX, its average)
// runs in the same loop, so its chain of divisions overlaps the smoothing's. Returns whether
// a DI emitted lay past 0..100, looked at as each is formed (confine_di).
template <class Emit>
[[gnu::always_inline]] inline bool smooth_di(std::span<const double> high, std::span<const double> low,
                                             std::span<const double> close, std::uint64_t period, Emit&& emit) {
    const std::size_t n = high.size();
    const double p = static_cast<double>(period);
    const Pair pp{p, p};
    const Pair hundred{100.0, 100.0};
    // The warm-up sums period - 1 bars; the first smoothing step then adds bar `period`.
    Pair s{0.0, 0.0};
    double st = 0.0;
    for (std::size_t i = 1; i < period; ++i) {
        Pair dm;
        double tr;
        bar_moves(high, low, close, i, dm, tr);
        s += dm;
        st += tr;
    }
    bounds::Watch watch(bounds::kPercent);
    for (std::size_t i = period; i < n; ++i) {
        Pair dm;
        double tr;
        bar_moves(high, low, close, i, dm, tr);
        s = (s - s / pp) + dm;
        st = (st - st / p) + tr;
        const Pair di = (s * hundred) / Pair{st, st};
        const Pair shown = std::fabs(st) < kDivisionGuard ? Pair{0.0, 0.0} : di;
        watch.see(shown);
        emit(i, shown[0], shown[1]);
    }
    return watch.strayed();
}

// While no bar has moved further than its true range (none does when each previous close lies
// within its bar's range), each DI lies in 0..100 (their sum too: a bar moves one way at
// most), and the DI as shown are confined there; Wilder's averages never forget a bar, so after
// one that did they have no bound. Rounding carries a DI past 100 only now and then (`strayed`,
// from smooth_di): only then are the bars looked over.
void confine_di(bool strayed, Series& plus_di, Series& minus_di, std::span<const double> high,
                std::span<const double> low, std::span<const double> close) {
    if (!strayed) [[likely]]
        return;
    // Bar 0 has no move.
    const auto within_range = [&](std::size_t j) {
        if (j == 0) return true;
        Pair dm;
        double tr;
        bar_moves(high, low, close, j, dm, tr);
        return !((dm[0] > tr) | (dm[1] > tr));
    };
    bounds::confine_until_broken(plus_di.size(), bounds::kPercent, within_range, plus_di.data(), minus_di.data());
}

DiSeries di_checked(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                    std::uint64_t period) {
    const std::size_t n = high.size();
    DiSeries r{Series(n, NaN), Series(n, NaN)};
    const bool strayed = smooth_di(high, low, close, period, [&](std::size_t i, double plus, double minus) {
        r.plus_di[i] = plus;
        r.minus_di[i] = minus;
    });
    confine_di(strayed, r.plus_di, r.minus_di, high, low, close);
    return r;
}

}  // namespace

Result<DiSeries> compute_di(std::span<const double> high, std::span<const double> low,
                            std::span<const double> close, std::uint64_t period) {
    const std::size_t n = high.size();
    if (period >= n) return fail(VornError::insufficient_data(period + 1, n));
    // The true range's own checks; callers that validated pass them trivially, and a caller
    // that did not gets an error instead of a read past a shorter series.
    if (auto s = validate(high, low, close, period); !s) return fail(s.error());
    return di_checked(high, low, close, period);
}

Result<DiSeries> dmi(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                     std::uint64_t period) {
    if (auto s = validate(high, low, close, period); !s) return fail(s.error());
    return di_checked(high, low, close, period);
}

Result<Series> dx(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                  std::uint64_t period) {
    if (auto s = validate(high, low, close, period); !s) return fail(s.error());
    Series out(high.size(), NaN);
    // The DI are never below 0, so |plus - minus| <= plus + minus: DX lies in 0..100 on any bars,
    // and only its upper bound can be crossed.
    smooth_di(high, low, close, period, [&](std::size_t i, double plus, double minus) {
        out[i] = std::isnan(plus) || std::isnan(minus) ? NaN
                                                        : bounds::confine_not_below(dx_value(plus, minus), bounds::kPercent);
    });
    return out;
}

Result<AdxSeries> adx(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                      std::uint64_t period) {
    if (auto s = validate(high, low, close, period); !s) return fail(s.error());
    const std::size_t n = high.size();
    AdxSeries r{Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    const double p = static_cast<double>(period);
    const double pm1 = p - 1.0;
    // The first average is the plain mean of DX over bars period .. 2 * period - 1; with
    // fewer bars than that the average stays undefined (first lies past the end).
    const std::size_t first = 2 * period - 1;
    // Each bar's DX and the previous bar's average share one division: the average of bar
    // i - 1 waits on nothing of bar i, and the two divide side by side.
    double sum = 0.0;
    double pending = 0.0;  // the previous bar's average, still to be divided by p
    // The average reads each bar's unconfined DX. DX lies in 0..100 on any bars, and so does
    // its average.
    const bool strayed = smooth_di(high, low, close, period, [&](std::size_t i, double plus, double minus) {
        r.plus_di[i] = plus;
        r.minus_di[i] = minus;
        const double s = plus + minus;
        const Pair q = Pair{std::fabs(plus - minus) * 100.0, pending} / Pair{s, p};
        // A zero DI sum reads 0.0 (dx_value's rule).
        const double d = std::fabs(s) < kDivisionGuard ? 0.0 : q[0];
        if (i > first) [[likely]] {
            r.adx[i - 1] = bounds::confine(q, bounds::kPercent)[1];
            pending = q[1] * pm1 + d;
        } else {
            sum += d;
            pending = sum;
        }
    });
    // The last bar's average.
    if (first < n) r.adx[n - 1] = bounds::confine(pending / p, bounds::kPercent);
    confine_di(strayed, r.plus_di, r.minus_di, high, low, close);
    return r;
}

}  // namespace vorn::indicators::trend
