#include "ml/features.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <new>
#include <vector>

#include "utils/constants.hpp"
#include "utils/memory.hpp"
#include "utils/window_weight.hpp"

namespace vorn::ml::features {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
constexpr std::uint64_t kCompensatedRows = 50;

using errors::validation::Named;

// The preparers read the other series up to the last bar of the first one, so a shorter
// one is refused; a lookback of 0 would take the first target from before the series.
Status check_inputs(Named first, std::initializer_list<Named> others, std::uint64_t lookback) {
    for (const Named& s : others)
        if (s.values.size() < first.values.size())
            return fail(VornError::length_mismatch(first.name, first.values.size(), s.name, s.values.size()));
    if (lookback == 0)
        return fail(VornError::out_of_range("lookback", 0.0, 1.0, std::numeric_limits<double>::infinity()));
    return {};
}

// One row for every bar after the first lookback ones; targets default to 0.0.
RawDataset allocate(std::size_t n, std::uint64_t lookback, std::uint64_t columns) {
    RawDataset d;
    d.columns = columns;
    const std::uint64_t m = n > lookback ? n - lookback : 0;
    if (m == 0) return d;
    d.features.rows = m;
    d.features.columns = columns;
    d.targets = Series(m, 0.0);
    return d;
}

double nan_to(double v, double fallback) { return std::isnan(v) ? fallback : v; }

// values[0 .. count) with NaN replaced.
Series cleaned(std::span<const double> values, std::size_t count, double fallback) {
    Series out(count);
    for (std::size_t k = 0; k < count; ++k) out[k] = nan_to(values[k], fallback);
    return out;
}

// Calls f(column, values, width) for each block of row r, columns in order.
template <class F>
inline void for_each_run(const FeatureRows& rows, std::uint64_t r, F&& f) {
    std::size_t column = 0;
    for (std::size_t b = 0; b < rows.block_count; ++b) {
        const FeatureRows::Block& block = rows.blocks[b];
        f(column, block.values + r * block.step, block.width);
        column += block.width;
    }
}

// The sums behind the column statistics. Each sweep feeds every row in order, a block's
// run of consecutive columns at a time; each column's terms meet in row order however a row
// is cut into runs, so the windows sum exactly as a matrix of the same rows does. The
// compensated sums keep their terms and compensations in two arrays, one entry per column,
// and skip a NaN term by keeping the old entries rather than by a branch, so neighbouring
// columns step together.
class ColumnSums {
public:
    ColumnSums(std::size_t columns, bool compensated)
        : sum_(columns, 0.0), comp_(columns, 0.0), compensated_(compensated) {}

    // Sums every row's values, or with a mean their squared deviations from it. no_nan[b]:
    // block b gives no NaN term, so none is looked for (the sums come out the same).
    void sweep(const FeatureRows& rows, const double* mean, const std::array<bool, 2>& no_nan) noexcept {
        if (!compensated_)
            mean ? run<false, true>(rows, mean, no_nan) : run<false, false>(rows, mean, no_nan);
        else
            mean ? run<true, true>(rows, mean, no_nan) : run<true, false>(rows, mean, no_nan);
    }

    // Each sum over the row count; the sums start again from zero.
    std::vector<double> take(double count) {
        std::vector<double> out(sum_.size());
        for (std::size_t j = 0; j < out.size(); ++j) out[j] = sum_[j] / count;
        std::fill(sum_.begin(), sum_.end(), 0.0);
        std::fill(comp_.begin(), comp_.end(), 0.0);
        return out;
    }

private:
    // Columns stepped together: each lane does exactly the scalar arithmetic of its column
    // (no contraction, no reassociation), so the lanes change speed, not bits.
    using Lanes = double __attribute__((vector_size(16)));
    static constexpr std::size_t kLanes = sizeof(Lanes) / sizeof(double);

    template <class T>
    static T square(T d) noexcept {
        return d * d;
    }

    // utils::Kahan::add, a NaN term dropped when SkipNaN (v != v only for NaN).
    template <bool SkipNaN, class T>
    static void add_term(T& sum, T& comp, T v) noexcept {
        const T y = v - comp;
        const T t = sum + y;
        const T next = (t - sum) - y;
        if constexpr (SkipNaN) {
            const auto take = v == v;
            sum = take ? t : sum;
            comp = take ? next : comp;
        } else {
            sum = t;
            comp = next;
        }
    }

    template <bool Deviation, bool SkipNaN>
    [[gnu::always_inline]] static void compensated(double* __restrict s, double* __restrict c, const double* x,
                                                   const double* m, std::size_t count) noexcept {
        std::size_t k = 0;
        for (; k + kLanes <= count; k += kLanes) {
            Lanes v, sum, comp;
            std::memcpy(&v, x + k, sizeof v);
            std::memcpy(&sum, s + k, sizeof sum);
            std::memcpy(&comp, c + k, sizeof comp);
            if constexpr (Deviation) {
                Lanes mean;
                std::memcpy(&mean, m + k, sizeof mean);
                v = square(v - mean);
            }
            add_term<SkipNaN>(sum, comp, v);
            std::memcpy(s + k, &sum, sizeof sum);
            std::memcpy(c + k, &comp, sizeof comp);
        }
        for (; k < count; ++k) add_term<SkipNaN>(s[k], c[k], Deviation ? square(x[k] - m[k]) : x[k]);
    }

    template <bool Compensated, bool Deviation>
    void run(const FeatureRows& rows, const double* mean, const std::array<bool, 2>& no_nan) noexcept {
        double* sum = sum_.data();
        double* comp = comp_.data();
        for (std::uint64_t r = 0; r < rows.rows; ++r) {
            std::size_t column = 0;
            for (std::size_t b = 0; b < rows.block_count; ++b) {
                const FeatureRows::Block& block = rows.blocks[b];
                const double* x = block.values + r * block.step;
                double* s = sum + column;
                const double* m = Deviation ? mean + column : nullptr;
                if constexpr (!Compensated) {
                    for (std::size_t k = 0; k < block.width; ++k) s[k] += Deviation ? square(x[k] - m[k]) : x[k];
                } else if (no_nan[b]) {
                    compensated<Deviation, false>(s, comp + column, x, m, block.width);
                } else {
                    compensated<Deviation, true>(s, comp + column, x, m, block.width);
                }
                column += block.width;
            }
        }
    }

    std::vector<double> sum_, comp_;
    bool compensated_;
};

// Whether every value a block's windows read is finite: then no term of the first sweep is
// NaN, nor of the second where the block's means are finite too.
bool all_finite(const FeatureRows::Block& block, std::uint64_t rows) {
    const double* v = block.values;
    const std::size_t end = (rows - 1) * block.step + block.width;
    bool finite = true;
    for (std::size_t k = 0; k < end; ++k) finite &= std::isfinite(v[k]);
    return finite;
}

Dataset standardized(RawDataset&& raw) {
    Dataset d;
    d.columns = raw.columns;
    d.targets = raw.target_vector();
    const FeatureRows& rows = raw.features;
    if (rows.rows == 0) return d;
    // The lagged rows repeat each value once per column: the matrix can be far larger than the
    // series it is made of.
    utils::ensure_result_fits(rows.rows, rows.columns);
    d.features = Matrix(static_cast<Eigen::Index>(rows.rows), static_cast<Eigen::Index>(rows.columns));
    column_scale(rows).apply(rows, 0, rows.rows, d.features.data());
    return d;
}

}  // namespace

FeatureRows FeatureRows::of(const Matrix& matrix) {
    FeatureRows f;
    f.rows = static_cast<std::uint64_t>(matrix.rows());
    f.columns = static_cast<std::uint64_t>(matrix.cols());
    f.blocks[0] = {matrix.data(), static_cast<std::size_t>(matrix.cols()), static_cast<std::size_t>(matrix.cols())};
    f.block_count = 1;
    return f;
}

Result<RawDataset> raw_atr2_features(std::span<const double> close, std::span<const double> atr,
                                     std::span<const double> volume, std::uint64_t lookback) {
    if (auto s = check_inputs({close, "close"}, {{atr, "atr"}, {volume, "volume"}}, lookback); !s)
        return std::unexpected(s.error());
    const std::size_t n = close.size();
    RawDataset d = allocate(n, lookback, 3);
    const std::size_t m = d.rows();
    if (m == 0) return d;
    // Three columns are no larger than the inputs: they are laid out as a matrix.
    d.held = Series(3 * m);
    d.features.blocks[0] = {d.held.data(), 3, 3};
    d.features.block_count = 1;
    double* row = d.held.data();
    const double window = static_cast<double>(lookback);
    // The volume average is walked alongside the rows: row r reads it at bar r, not at its
    // own bar, so it is still undefined on the first lookback - 1 rows. Its running sum is
    // plain and never summed afresh on a schedule; only when a slide leaves it non-finite or
    // a volume that outweighed the window has just left it (utils::WindowWeight), so that
    // one bad print does not spoil every later average.
    utils::WindowWeight weight;
    double sum = 0.0;
    for (std::size_t t = 0; t < m; ++t, row += 3) {
        const std::size_t i = t + lookback;
        sum = sum + volume[t];
        if (t >= lookback) {
            const double gone = volume[t - lookback];
            sum = sum - gone;
            if (!std::isfinite(sum) | (!weight.passes(std::fabs(gone), std::fabs(volume[t])) &&
                                         weight.settle(std::fabs(volume[t]), [volume, t, lookback] {
                                             return utils::any_nonzero(volume.subspan(t + 1 - lookback, lookback));
                                         }))) [[unlikely]]
                sum = utils::plain_sum(volume.subspan(t + 1 - lookback, lookback), weight);
        } else {
            weight.add(std::fabs(volume[t]));
        }
        const double average = t + 1 >= lookback ? sum / window : NaN;
        row[0] = nan_to(atr[i], 0.0);
        row[1] = bar_return(close[i - 1], close[i]);
        row[2] = std::fabs(average) >= kDivisionGuard ? volume[i] / average : 1.0;
        if (i + 1 < n) {
            double change = 100.0 * (close[i + 1] - close[i]) / close[i];
            if (change < -5.0) change = -5.0;
            if (change > 5.0) change = 5.0;
            d.targets[t] = change;
        }
    }
    return d;
}

Result<RawDataset> raw_momentum_features(std::span<const double> rsi, std::uint64_t lookback) {
    if (auto s = check_inputs({rsi, "rsi"}, {}, lookback); !s) return std::unexpected(s.error());
    RawDataset d = allocate(rsi.size(), lookback, lookback);
    const std::size_t m = d.rows();
    if (m == 0) return d;
    // Row r is the window rsi[r .. r + lookback), the last bar's value never among them.
    d.held = cleaned(rsi, rsi.size() - 1, 50.0);
    d.features.blocks[0] = {d.held.data(), 1, static_cast<std::size_t>(lookback)};
    d.features.block_count = 1;
    for (std::size_t t = 0; t < m; ++t) {
        const std::size_t i = t + lookback;
        d.targets[t] =
            !std::isnan(rsi[i]) && !std::isnan(rsi[i - 1]) ? rsi[i] - rsi[i - 1] : 0.0;
    }
    return d;
}

Result<RawDataset> raw_supertrend_features(std::span<const double> close, std::span<const double> atr,
                                           std::uint64_t lookback) {
    if (auto s = check_inputs({close, "close"}, {{atr, "atr"}}, lookback); !s) return std::unexpected(s.error());
    std::uint64_t columns;
    if (__builtin_mul_overflow(lookback, std::uint64_t{2}, &columns))
        return fail(VornError::invalid_value(0, "2 x lookback overflow"));
    const std::size_t n = close.size();
    RawDataset d = allocate(n, lookback, columns);
    const std::size_t m = d.rows();
    if (m == 0) return d;
    // Row r is close[r .. r + lookback) then the cleaned atr over the same bars.
    d.held = cleaned(atr, n - 1, 0.0);
    const auto lb = static_cast<std::size_t>(lookback);
    d.features.blocks[0] = {close.data(), 1, lb};
    d.features.blocks[1] = {d.held.data(), 1, lb};
    d.features.block_count = 2;
    for (std::size_t t = 0; t < m; ++t) {
        const std::size_t i = t + lookback;
        d.targets[t] = bar_return(close[i - 1], close[i]);
    }
    return d;
}

Result<Dataset> prepare_atr2_features(std::span<const double> close, std::span<const double> atr,
                                      std::span<const double> volume, std::uint64_t lookback) {
    auto raw = raw_atr2_features(close, atr, volume, lookback);
    if (!raw) return std::unexpected(raw.error());
    return standardized(std::move(*raw));
}

Result<Dataset> prepare_momentum_features(std::span<const double> rsi, std::uint64_t lookback) {
    auto raw = raw_momentum_features(rsi, lookback);
    if (!raw) return std::unexpected(raw.error());
    return standardized(std::move(*raw));
}

Result<Dataset> prepare_supertrend_features(std::span<const double> close, std::span<const double> atr,
                                            std::uint64_t lookback) {
    auto raw = raw_supertrend_features(close, atr, lookback);
    if (!raw) return std::unexpected(raw.error());
    return standardized(std::move(*raw));
}

// Two sweeps over the rows in order: the means, then the squared deviations from them. A
// row-major sweep gives every column its own chain of additions side by side with the
// others, while each chain keeps row order.
ColumnScale column_scale(const FeatureRows& rows) {
    ColumnScale scale;
    if (rows.rows == 0 || rows.columns == 0) return scale;
    const double count = static_cast<double>(rows.rows);
    ColumnSums sums(static_cast<std::size_t>(rows.columns), rows.rows >= kCompensatedRows);
    std::array<bool, 2> finite{};
    for (std::size_t b = 0; b < rows.block_count; ++b) finite[b] = all_finite(rows.blocks[b], rows.rows);
    sums.sweep(rows, nullptr, finite);
    scale.mean = sums.take(count);
    const double* mean = scale.mean.data();
    for (std::size_t b = 0, column = 0; b < rows.block_count; column += rows.blocks[b++].width)
        for (std::size_t k = column; k < column + rows.blocks[b].width; ++k) finite[b] &= std::isfinite(mean[k]);
    sums.sweep(rows, mean, finite);
    scale.sd = sums.take(count);
    for (double& v : scale.sd) v = std::sqrt(v);
    return scale;
}

void ColumnScale::apply(const FeatureRows& rows, std::uint64_t first, std::uint64_t count, double* out) const noexcept {
    const double* m = mean.data();
    const double* s = sd.data();
    for (std::uint64_t r = first; r < first + count; ++r, out += rows.columns)
        for_each_run(rows, r, [&](std::size_t column, const double* x, std::size_t width) {
            // Read before written: the matrix is standardized in place through its own rows.
            for (std::size_t k = 0; k < width; ++k) {
                const std::size_t j = column + k;
                out[j] = s[j] > kDivisionGuard ? (x[k] - m[j]) / s[j] : 0.0;
            }
        });
}

// A column's value is (x - mean) / sd where sd > 1e-10, else 0.0. Where no value any row reads
// is NaN, infinite or above the largest double over twice the row count in magnitude, the sums
// behind the means cannot overflow, so every mean and difference is finite; a finite sd is
// taken over the column's rows, these among them, so no |x - mean| exceeds sqrt(rows) x sd, and
// an sd that overflowed gives 0.0 or zeroes its column. Only otherwise are the statistics
// gathered and the rows scaled, one at a time, and looked at.
bool standardized_finite(const FeatureRows& rows, std::uint64_t first, std::uint64_t count) {
    if (count == 0 || rows.columns == 0) return true;
    const double bound = std::numeric_limits<double>::max() / (2.0 * static_cast<double>(rows.rows));
    bool plain = true;
    for (std::size_t b = 0; b < rows.block_count; ++b) {
        const FeatureRows::Block& block = rows.blocks[b];
        const std::size_t end = (rows.rows - 1) * block.step + block.width;
        for (std::size_t k = 0; k < end; ++k) plain &= std::fabs(block.values[k]) <= bound;  // false for NaN
    }
    if (plain) return true;
    const ColumnScale scale = column_scale(rows);
    std::vector<double> row(static_cast<std::size_t>(rows.columns));
    for (std::uint64_t r = first; r < first + count; ++r) {
        scale.apply(rows, r, 1, row.data());
        for (const double v : row)
            if (!std::isfinite(v)) return false;
    }
    return true;
}

void standardize(Matrix& matrix) {
    if (matrix.rows() == 0 || matrix.cols() == 0) return;
    const FeatureRows rows = FeatureRows::of(matrix);
    column_scale(rows).apply(rows, 0, rows.rows, matrix.data());
}

bool polynomial_width(std::uint64_t d, std::uint64_t& width) noexcept {
    std::uint64_t pairs;
    return !__builtin_mul_overflow(d, d + 1, &pairs) && !__builtin_add_overflow(d, pairs / 2, &width);
}

void polynomial_row(const double* x, std::size_t d, double* out) noexcept {
    std::size_t c = 0;
    for (std::size_t a = 0; a < d; ++a) out[c++] = x[a];
    for (std::size_t a = 0; a < d; ++a)
        for (std::size_t b = a; b < d; ++b) out[c++] = x[a] * x[b];
}

Matrix polynomial_features(const Matrix& matrix) {
    const Eigen::Index rows = matrix.rows(), d = matrix.cols();
    if (rows == 0 || d == 0) return Matrix(rows, 0);
    Eigen::Index pairs, width;
    if (__builtin_mul_overflow(d, d + 1, &pairs) || __builtin_add_overflow(d, pairs / 2, &width))
        throw std::bad_alloc();
    Matrix out(rows, width);
    for (Eigen::Index r = 0; r < rows; ++r) polynomial_row(matrix.row(r).data(), static_cast<std::size_t>(d), out.row(r).data());
    return out;
}

}  // namespace vorn::ml::features
