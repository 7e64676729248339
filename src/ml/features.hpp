#pragma once
// Supervised data for the models: one feature row per sample bar and one target per row.
// Row r belongs to bar i = r + lookback. The momentum and SuperTrend rows hold the window
// of bars r .. i-1 and their target is the change into bar i; the ATR2 row holds values of
// bar i itself and its target is the change into bar i + 1 (0.0 on the last row, which has
// no next bar).
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "errors/errors.hpp"
#include "ml/models.hpp"
#include "utils/constants.hpp"
#include "utils/series.hpp"

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

// Feature rows before standardization, read in place instead of laid out as a matrix: row r
// holds, block after block, values[r * step .. r * step + width) of each block. The lagged
// features step one bar per row, so a look-back of L repeats every value L times in a
// matrix but once here; the trainers gather the column statistics from these windows and
// build only the rows they fit on and predict. A matrix is one block whose step is its width.
struct FeatureRows {
    struct Block {
        const double* values = nullptr;
        std::size_t step = 0, width = 0;
    };
    std::array<Block, 2> blocks{};
    std::size_t block_count = 0;
    std::uint64_t rows = 0, columns = 0;

    static FeatureRows of(const Matrix& matrix);
};

// A preparer's rows before standardization and its targets. The rows read `held` (cleaned
// copies, or the ATR2 values) or the caller's series, which must outlive them; a move keeps
// them valid, a copy would not, hence none.
struct RawDataset {
    FeatureRows features;
    Series targets;
    std::uint64_t columns = 0;  // as in Dataset
    Series held;

    RawDataset() = default;
    RawDataset(RawDataset&&) = default;
    RawDataset& operator=(RawDataset&&) = default;
    RawDataset(const RawDataset&) = delete;
    RawDataset& operator=(const RawDataset&) = delete;

    std::uint64_t rows() const noexcept { return features.rows; }
    Eigen::Map<const Vector> target_vector() const noexcept {
        return {targets.data(), static_cast<Eigen::Index>(targets.size())};
    }
};

// The mean and population deviation of every column, as standardize() takes them.
struct ColumnScale {
    std::vector<double> mean, sd;

    // Rows first .. first + count - 1 standardized, row-major into out (count x columns).
    void apply(const FeatureRows& rows, std::uint64_t first, std::uint64_t count, double* out) const noexcept;
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

// The same checks, rows and targets, before standardization.
Result<RawDataset> raw_atr2_features(std::span<const double> close, std::span<const double> atr,
                                     std::span<const double> volume, std::uint64_t lookback);
Result<RawDataset> raw_momentum_features(std::span<const double> rsi, std::uint64_t lookback);
Result<RawDataset> raw_supertrend_features(std::span<const double> close, std::span<const double> atr,
                                           std::uint64_t lookback);

// The return from prev to cur, 0.0 when prev is below 1e-10 in magnitude or NaN.
inline double bar_return(double prev, double cur) noexcept {
    return std::fabs(prev) >= utils::kDivisionGuard ? (cur - prev) / prev : 0.0;
}

// Column-wise population z-score statistics of all the rows, in two sweeps over them in row
// order. Below 50 rows plain sums (one NaN zeroes its column); from 50 rows on compensated
// sums that skip NaN terms, still divided by the full row count. A column whose deviation
// is not above 1e-10 (or NaN) becomes all 0.0. No rows or no columns: empty statistics.
ColumnScale column_scale(const FeatureRows& rows);

// Whether every value of rows first .. first + count - 1, standardized with column_scale(rows),
// is finite; found without laying them out, in one pass over the values the rows read where
// those are of moderate size.
bool standardized_finite(const FeatureRows& rows, std::uint64_t first, std::uint64_t count);

// column_scale() of the matrix applied to it, in place.
void standardize(Matrix& matrix);

// Each row's d values, then the products x[a] * x[b] for a <= b in row order of (a, b).
// A matrix with no rows or no columns gives its row count and no columns.
Matrix polynomial_features(const Matrix& matrix);

// The width polynomial_features() gives d columns (d + d(d+1)/2); false when it overflows.
bool polynomial_width(std::uint64_t d, std::uint64_t& width) noexcept;

// One row of polynomial_features(): d values in, polynomial_width(d) values out.
void polynomial_row(const double* x, std::size_t d, double* out) noexcept;

}  // namespace vorn::ml::features
