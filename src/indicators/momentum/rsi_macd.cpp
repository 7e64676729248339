#include "indicators/momentum/rsi_macd.hpp"

#include <cmath>
#include <limits>

#include "utils/constants.hpp"
#include "utils/kahan.hpp"
#include "utils/ma.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::momentum {

namespace {

using utils::NaN;

// Checked by the caller. Overwrites every element of `out` (length of values).
void ema_with_seed_into(std::span<const double> values, std::uint64_t period, std::uint64_t seed_index,
                        Series& out) {
    const std::size_t n = values.size();
    for (std::size_t i = 0; i < seed_index; ++i) out[i] = NaN;
    // Divided by the period even when NaN entries were skipped: a window with gaps reads low
    // rather than borrowing values from outside it.
    utils::Kahan seed;
    for (std::size_t j = seed_index + 1 - period; j <= seed_index; ++j)
        if (!std::isnan(values[j])) seed.add(values[j]);
    double e = seed.sum / static_cast<double>(period);
    out[seed_index] = e;
    const double alpha = utils::ma::ema_alpha(period);
    const double keep = 1.0 - alpha;
    for (std::size_t i = seed_index + 1; i < n; ++i) {
        e = e * keep + values[i] * alpha;
        out[i] = e;
    }
}

}  // namespace

Result<Series> rsi(std::span<const double> close, std::uint64_t period) {
    if (auto s = errors::validation::validate_series(close, "close"); !s) return fail(s.error());
    if (auto s = errors::validation::validate_seeded_period(period, close.size()); !s) return fail(s.error());
    const std::size_t n = close.size();
    Series out(n, NaN);
    RsiSteps steps(close, period);
    for (std::size_t i = period; i < n; ++i) out[i] = steps.step(i);
    return out;
}

Result<Series> ema_with_seed(std::span<const double> values, std::uint64_t period, std::uint64_t seed_index) {
    const std::size_t n = values.size();
    if (n == 0) return fail(VornError::empty_input("values"));
    if (seed_index >= n) return fail(VornError::invalid_period(seed_index, n));
    if (period == 0 || seed_index + 1 < period) return fail(VornError::insufficient_data(period, seed_index + 1));
    Series out(n);
    ema_with_seed_into(values, period, seed_index, out);
    return out;
}

Result<MacdSeries> macd(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period,
                        std::uint64_t signal_period) {
    if (auto s = errors::validation::validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (fast_period == 0 || slow_period == 0 || signal_period == 0) return fail(VornError::invalid_period(0, n));
    if (slow_period > n) return fail(VornError::insufficient_data(slow_period, n));
    if (fast_period > slow_period) return fail(VornError::invalid_period(fast_period, n));
    // slow + signal - 2 >= n, tested without forming the sum: a signal period near 2^64 would
    // wrap it below n and slip through. The bar count it asks for saturates for the same reason.
    if (signal_period >= n - slow_period + 2) {
        const std::uint64_t need = signal_period - 1 > std::numeric_limits<std::uint64_t>::max() - slow_period
                                       ? std::numeric_limits<std::uint64_t>::max()
                                       : slow_period + signal_period - 1;
        return fail(VornError::insufficient_data(need, n));
    }
    const std::uint64_t last_warm = slow_period + signal_period - 2;  // first index of every line

    // Both averages are seeded at the slow seed index, so the fast one averages the fast_period
    // closes ending there, not the first ones. The signal vector holds the slow EMA until the
    // line is formed, so no scratch series is needed.
    const std::uint64_t seed = slow_period - 1;
    MacdSeries r{Series(n), Series(n), Series()};
    ema_with_seed_into(close, fast_period, seed, r.macd);
    ema_with_seed_into(close, slow_period, seed, r.signal);
    for (std::size_t i = 0; i < n; ++i)
        r.macd[i] = std::isnan(r.macd[i]) || std::isnan(r.signal[i]) ? NaN : r.macd[i] - r.signal[i];
    ema_with_seed_into(r.macd, signal_period, last_warm, r.signal);
    // The line starts together with its signal.
    for (std::size_t i = 0; i < last_warm; ++i) r.macd[i] = NaN;
    r.histogram = utils::series_difference(r.macd, r.signal);
    return r;
}

}  // namespace vorn::indicators::momentum
