#pragma once
// Supervised data for the models: one feature row per sample bar and one target per row.
// Row r belongs to bar i = r + lookback. The momentum and SuperTrend rows hold the window
// of bars r .. i-1 and their target is the change into bar i; the ATR2 row holds values of
// bar i itself and its target is the change into bar i + 1 (0.0 on the last row, which has
// no next bar).
#include <cmath>
#include <cstdint>
#include <span>

#include "errors/errors.hpp"
#include "ml/models.hpp"

namespace vorn::ml::features {

using models::Matrix;
using models::Vector;

struct Dataset {
    Matrix features;  // standardized, rows() == targets.size()
    Vector targets;   // never standardized
    // The column count, kept apart because it stands also when there are no rows, where
    // a large look-back gives a count no matrix could hold.
    std::uint64_t columns = 0;

    std::uint64_t rows() const noexcept { return static_cast<std::uint64_t>(targets.size()); }
};

// Each preparer refuses, before reading anything, an atr or volume shorter than close
// (LengthMismatch) and a lookback of 0 (ParameterOutOfRange); longer series are accepted
// and their extra values ignored. With len(close) <= lookback the result has no rows.

// Columns: ATR (NaN -> 0.0), one-bar return, volume over its lookback-bar average taken at
// the row index (1.0 while that average is undefined or near 0). Target: the next bar's
// return in percent, clamped to [-5, 5].
Result<Dataset> prepare_atr2_features(std::span<const double> close, std::span<const double> atr,
                                      std::span<const double> volume, std::uint64_t lookback);

// Columns: the lookback RSI values before the bar, oldest first (NaN -> 50.0).
// Target: the RSI change into the bar (0.0 when either side is NaN).
Result<Dataset> prepare_momentum_features(std::span<const double> rsi, std::uint64_t lookback);

// Columns: the lookback closes before the bar, then the lookback ATR values (NaN -> 0.0).
// Target: the return into the bar. A lookback whose doubled column count overflows 64 bits
// is refused.
Result<Dataset> prepare_supertrend_features(std::span<const double> close, std::span<const double> atr,
                                            std::uint64_t lookback);

// The return from prev to cur, 0.0 when prev is below 1e-10 in magnitude or NaN.
inline double bar_return(double prev, double cur) noexcept {
    return std::fabs(prev) >= 1e-10 ? (cur - prev) / prev : 0.0;
}

// Column-wise population z-score, in place. Below 50 rows plain sums (one NaN zeroes its
// column); from 50 rows on compensated sums that skip NaN terms, still divided by the full
// row count. A column whose deviation is not above 1e-10 (or NaN) becomes all 0.0.
void standardize(Matrix& matrix);

// Each row's d values, then the products x[a] * x[b] for a <= b in row order of (a, b).
// A matrix with no rows or no columns gives its row count and no columns.
Matrix polynomial_features(const Matrix& matrix);

}  // namespace vorn::ml::features
