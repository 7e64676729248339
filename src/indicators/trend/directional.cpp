#include "indicators/trend/directional.hpp"

#include <cmath>
#include <limits>

#include "indicators/volatility/bands.hpp"

namespace vorn::indicators::trend {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

Status validate(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                std::uint64_t period) {
    if (auto s = errors::validation::validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return s;
    return errors::validation::validate_seeded_period(period, high.size());
}

// Inputs validated, 1 <= period < n; `r` holds two NaN-filled series of length n.
// Directional movement and true range are formed bar by bar, so no scratch series is kept.
void di_into(std::span<const double> high, std::span<const double> low, std::span<const double> close,
             std::uint64_t period, DiSeries& r) {
    const std::size_t n = high.size();
    const double p = static_cast<double>(period);
    double sp = 0.0, sm = 0.0, st = 0.0;
    auto bar = [&](std::size_t i, double& pdm, double& mdm, double& tr) {
        const double up = high[i] - high[i - 1];
        const double down = low[i - 1] - low[i];
        // Equal moves, and an inside bar, carry no directional movement of either sign.
        pdm = up > 0.0 && up > down ? up : 0.0;
        mdm = down > up && down > 0.0 ? down : 0.0;
        tr = volatility::true_range_bar(high[i], low[i], close[i - 1]);
    };
    // The warm-up sums period - 1 bars; the first smoothing step then adds bar `period`.
    for (std::size_t i = 1; i < period; ++i) {
        double pdm, mdm, tr;
        bar(i, pdm, mdm, tr);
        sp += pdm;
        sm += mdm;
        st += tr;
    }
    for (std::size_t i = period; i < n; ++i) {
        double pdm, mdm, tr;
        bar(i, pdm, mdm, tr);
        sp = (sp - sp / p) + pdm;
        sm = (sm - sm / p) + mdm;
        st = (st - st / p) + tr;
        if (std::fabs(st) < 1e-10) {
            r.plus_di[i] = 0.0;
            r.minus_di[i] = 0.0;
        } else {
            r.plus_di[i] = (sp * 100.0) / st;
            r.minus_di[i] = (sm * 100.0) / st;
        }
    }
}

DiSeries di_checked(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                    std::uint64_t period) {
    const std::size_t n = high.size();
    DiSeries r{Series(n, NaN), Series(n, NaN)};
    di_into(high, low, close, period, r);
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
    DiSeries di = di_checked(high, low, close, period);
    Series& out = di.plus_di;  // DX replaces +DI bar by bar
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = std::isnan(out[i]) || std::isnan(di.minus_di[i]) ? NaN : dx_value(out[i], di.minus_di[i]);
    return std::move(out);
}

Result<AdxSeries> adx(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                      std::uint64_t period) {
    if (auto s = validate(high, low, close, period); !s) return fail(s.error());
    const std::size_t n = high.size();
    DiSeries di = di_checked(high, low, close, period);
    AdxSeries r{Series(n, NaN), std::move(di.plus_di), std::move(di.minus_di)};
    if (2 * period > n) return r;
    const double p = static_cast<double>(period);
    const std::size_t first = 2 * period - 1;
    double sum = 0.0;
    for (std::size_t i = period; i <= first; ++i) sum += dx_value(r.plus_di[i], r.minus_di[i]);
    double a = sum / p;
    r.adx[first] = a;
    const double pm1 = p - 1.0;
    for (std::size_t i = first + 1; i < n; ++i) {
        a = (a * pm1 + dx_value(r.plus_di[i], r.minus_di[i])) / p;
        r.adx[i] = a;
    }
    return r;
}

}  // namespace vorn::indicators::trend
