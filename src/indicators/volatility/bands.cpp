#include "indicators/volatility/bands.hpp"

#include <cmath>
#include <limits>

#include "utils/constants.hpp"
#include "utils/kahan.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"
#include "utils/window_weight.hpp"

namespace vorn::indicators::volatility {

namespace {

using utils::NaN;
using utils::kDivisionGuard;

using errors::validation::validate_hlc;
using errors::validation::validate_seeded_period;

// Inputs already validated; 1 <= period < n. Writes into `out` (pre-filled with NaN).
void atr_into(std::span<const double> high, std::span<const double> low, std::span<const double> close,
              std::uint64_t period, Series& out) {
    const std::size_t n = high.size();
    const double p = static_cast<double>(period);
    // The seed divides by the period, not by the count summed: bar 0 has no true range.
    utils::Kahan seed;
    for (std::size_t i = 1; i <= period; ++i) {
        const double tr = true_range_bar(high[i], low[i], close[i - 1]);
        if (!std::isnan(tr)) seed.add(tr);
    }
    double a = seed.sum / p;
    out[period] = a;
    const double pm1 = p - 1.0;
    for (std::size_t i = period + 1; i < n; ++i) {
        a = (a * pm1 + true_range_bar(high[i], low[i], close[i - 1])) / p;
        out[i] = a;
    }
}

}  // namespace

Result<Series> true_range(std::span<const double> high, std::span<const double> low,
                          std::span<const double> close, std::uint64_t drift) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    if (auto s = validate_seeded_period(drift, high.size()); !s) return fail(s.error());
    const std::size_t n = high.size();
    Series out(n, NaN);
    for (std::size_t i = drift; i < n; ++i) out[i] = true_range_bar(high[i], low[i], close[i - drift]);
    return out;
}

Result<Series> atr(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                   std::uint64_t period) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    if (auto s = validate_seeded_period(period, high.size()); !s) return fail(s.error());
    Series out(high.size(), NaN);
    atr_into(high, low, close, period, out);
    return out;
}

Result<Series> natr(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                    std::uint64_t period) {
    // The close is the divisor, so it is checked ahead of the ATR's own checks.
    if (auto s = errors::validation::validate_series(close, "close"); !s) return fail(s.error());
    auto r = atr(high, low, close, period);
    if (!r) return fail(r.error());
    Series& out = *r;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (std::isnan(out[i])) continue;
        out[i] = std::fabs(close[i]) < kDivisionGuard ? NaN : out[i] / close[i] * 100.0;
    }
    return r;
}

Result<BandSeries> bollinger_bands(std::span<const double> close, std::uint64_t period, double std_multiplier) {
    if (auto s = errors::validation::validate_series(close, "close"); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = errors::validation::validate_period(period, n); !s) return fail(s.error());
    if (std_multiplier < 0.0)
        return fail(VornError::out_of_range("std_multiplier", std_multiplier, 0.0,
                                            std::numeric_limits<double>::infinity()));
    BandSeries r{Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    if (period == 1) return r;  // a one-bar window has no deviation: no bands, no error

    const double p = static_cast<double>(period);
    const double k = std_multiplier;
    // The population deviation of each window, from the sums of deviations it shares with
    // utils::stats::stdev. The closes are finite (validated), so no NaN is counted.
    namespace window = utils::stats::window;
    window::spreads<false>(close, period, [&](std::size_t i, const auto& s, const utils::moments::Centred<>& c) {
        const double mean = s.mean(s.s1.v / p);
        const double sd = c.m2 > 0.0 ? std::sqrt(c.m2 / p) * s.unit() : 0.0;
        r.middle[i] = mean;
        r.upper[i] = sd * k + mean;  // NaN with either: a window's three are written whenever it is read
        r.lower[i] = mean - sd * k;
    });
    return r;
}

Result<BandSeries> keltner_channel(std::span<const double> high, std::span<const double> low,
                                   std::span<const double> close, std::uint64_t period, std::uint64_t atr_period,
                                   double multiplier) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = errors::validation::validate_period(period, n); !s) return fail(s.error());
    if (auto s = validate_seeded_period(atr_period, n); !s) return fail(s.error());
    if (multiplier < 0.0)
        return fail(VornError::out_of_range("multiplier", multiplier, 0.0, std::numeric_limits<double>::infinity()));
    auto middle = utils::ma::ema(close, period);
    if (!middle) return fail(middle.error());
    BandSeries r{Series(n, NaN), std::move(*middle), Series(n, NaN)};
    // The upper vector carries the ATR until the bands replace it.
    atr_into(high, low, close, atr_period, r.upper);
    for (std::size_t i = 0; i < n; ++i) {
        const double a = r.upper[i];
        const double m = r.middle[i];
        if (std::isnan(m) || std::isnan(a)) {
            r.upper[i] = NaN;
            continue;
        }
        r.upper[i] = m + a * multiplier;
        r.lower[i] = m - a * multiplier;
    }
    return r;
}

}  // namespace vorn::indicators::volatility
