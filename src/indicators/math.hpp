#pragma once
// Element-wise math over validated series, and rolling window extrema and sums.
//
// One-series functions refuse an empty series, then any non-finite element, then (sqrt,
// ln, log10, asin, acos) the first element outside the domain. Two-series functions refuse
// an empty values1, an empty values2, a length mismatch, then non-finite elements of
// values1 and of values2 — both emptiness tests ahead of the length test, unlike
// errors::validation::validate_lengths_match. Results are not checked: overflow returns an
// infinity.
#include <cstdint>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::math {

Result<Series> sqrt(std::span<const double> values);
Result<Series> ln(std::span<const double> values);
Result<Series> log10(std::span<const double> values);
Result<Series> exp(std::span<const double> values);
Result<Series> abs(std::span<const double> values);
Result<Series> ceil(std::span<const double> values);
Result<Series> floor(std::span<const double> values);
Result<Series> sin(std::span<const double> values);
Result<Series> cos(std::span<const double> values);
Result<Series> tan(std::span<const double> values);
Result<Series> asin(std::span<const double> values);
Result<Series> acos(std::span<const double> values);
Result<Series> atan(std::span<const double> values);
Result<Series> sinh(std::span<const double> values);
Result<Series> cosh(std::span<const double> values);
Result<Series> tanh(std::span<const double> values);

Result<Series> add(std::span<const double> values1, std::span<const double> values2);
Result<Series> sub(std::span<const double> values1, std::span<const double> values2);
Result<Series> mult(std::span<const double> values1, std::span<const double> values2);
// Refuses a divisor below 1e-10 in magnitude (1e-10 itself divides).
Result<Series> div(std::span<const double> values1, std::span<const double> values2);

struct MinMaxSeries {
    Series min, max;
    auto as_tuple() const { return std::tie(min, max); }
};

// Rolling window over a finite series; refuses period 0 or above the length.
Result<Series> max(std::span<const double> values, std::uint64_t period);
Result<Series> min(std::span<const double> values, std::uint64_t period);
Result<Series> sum(std::span<const double> values, std::uint64_t period);
Result<MinMaxSeries> minmax(std::span<const double> values, std::uint64_t period);
// Offsets of the window's minimum and maximum from its oldest bar (0 .. period - 1), as
// floats; ties go to the oldest bar holding the extreme.
Result<MinMaxSeries> minmaxindex(std::span<const double> values, std::uint64_t period);

}  // namespace vorn::indicators::math
