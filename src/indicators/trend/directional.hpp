#pragma once
// Wilder's directional movement system. The frame relies on adx's validation, its warm-up
// (DI from index period, ADX from index 2 * period - 1) and the order of AdxSeries.
#include <cmath>
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/constants.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::trend {

struct DiSeries {
    Series plus_di, minus_di;
    auto as_tuple() const { return std::tie(plus_di, minus_di); }
};

struct AdxSeries {
    Series adx, plus_di, minus_di;
    auto as_tuple() const { return std::tie(adx, plus_di, minus_di); }
};

// DX of one bar; a zero DI sum reads 0.0 rather than dividing.
inline double dx_value(double plus_di, double minus_di) noexcept {
    const double s = plus_di + minus_di;
    if (std::fabs(s) < utils::kDivisionGuard) return 0.0;
    return (std::fabs(plus_di - minus_di) * 100.0) / s;
}

// +DI and -DI, NaN before index period. The caller validates the series and refuses a zero
// period; this kernel checks only period >= n (needs period + 1 bars).
Result<DiSeries> compute_di(std::span<const double> high, std::span<const double> low,
                            std::span<const double> close, std::uint64_t period);

// The full validation (high; low and close against it; period 0; period >= n), then the
// DI pair, DX and its Wilder average. ADX is all NaN when 2 * period > n.
Result<AdxSeries> adx(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                      std::uint64_t period);

// adx's validation, then the DI pair.
Result<DiSeries> dmi(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                     std::uint64_t period);

// adx's validation, then DX (NaN before index period).
Result<Series> dx(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                  std::uint64_t period);

}  // namespace vorn::indicators::trend
