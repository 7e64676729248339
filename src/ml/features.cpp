#include "ml/features.hpp"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <new>
#include <vector>

#include "utils/kahan.hpp"

namespace vorn::ml::features {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kTiny = 1e-10;
constexpr std::size_t kCompensatedRows = 50;

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

// One row for every bar after the first lookback ones.
Dataset allocate(std::size_t n, std::uint64_t lookback, std::uint64_t columns) {
    Dataset d;
    d.columns = columns;
    const std::uint64_t m = n > lookback ? n - lookback : 0;
    if (m == 0) return d;
    // Every feature entry is written by the preparer; targets default to 0.0.
    d.features = Matrix(static_cast<Eigen::Index>(m), static_cast<Eigen::Index>(columns));
    d.targets = Vector::Zero(static_cast<Eigen::Index>(m));
    return d;
}

double nan_to(double v, double fallback) { return std::isnan(v) ? fallback : v; }

}  // namespace

Result<Dataset> prepare_atr2_features(std::span<const double> close, std::span<const double> atr,
                                      std::span<const double> volume, std::uint64_t lookback) {
    if (auto s = check_inputs({close, "close"}, {{atr, "atr"}, {volume, "volume"}}, lookback); !s)
        return std::unexpected(s.error());
    const std::size_t n = close.size();
    Dataset d = allocate(n, lookback, 3);
    const double window = static_cast<double>(lookback);
    // The volume average is walked alongside the rows: row r reads it at bar r, not at its
    // own bar, so it is still undefined on the first lookback - 1 rows. Its running sum is
    // plain and never summed afresh on a schedule; only when a slide leaves it non-finite or
    // a volume that outweighed the window has just left it (utils::WindowWeight), so that
    // one bad print does not spoil every later average.
    utils::WindowWeight weight;
    double sum = 0.0;
    for (Eigen::Index r = 0; r < d.features.rows(); ++r) {
        const std::size_t t = static_cast<std::size_t>(r), i = t + lookback;
        sum = sum + volume[t];
        if (t >= lookback) {
            const double gone = volume[t - lookback];
            sum = sum - gone;
            if (!std::isfinite(sum) | weight.slide(std::fabs(gone), std::fabs(volume[t]))) [[unlikely]]
                sum = utils::plain_sum(volume.subspan(t + 1 - lookback, lookback), weight);
        } else {
            weight.add(std::fabs(volume[t]));
        }
        const double average = t + 1 >= lookback ? sum / window : NaN;
        d.features(r, 0) = nan_to(atr[i], 0.0);
        d.features(r, 1) = bar_return(close[i - 1], close[i]);
        d.features(r, 2) = std::fabs(average) >= kTiny ? volume[i] / average : 1.0;
        if (i + 1 < n) {
            double change = 100.0 * (close[i + 1] - close[i]) / close[i];
            if (change < -5.0) change = -5.0;
            if (change > 5.0) change = 5.0;
            d.targets[r] = change;
        }
    }
    standardize(d.features);
    return d;
}

Result<Dataset> prepare_momentum_features(std::span<const double> rsi, std::uint64_t lookback) {
    if (auto s = check_inputs({rsi, "rsi"}, {}, lookback); !s) return std::unexpected(s.error());
    Dataset d = allocate(rsi.size(), lookback, lookback);
    for (Eigen::Index r = 0; r < d.features.rows(); ++r) {
        const std::size_t t = static_cast<std::size_t>(r), i = t + lookback;
        for (std::size_t k = 0; k < lookback; ++k) d.features(r, static_cast<Eigen::Index>(k)) = nan_to(rsi[t + k], 50.0);
        d.targets[r] = !std::isnan(rsi[i]) && !std::isnan(rsi[i - 1]) ? rsi[i] - rsi[i - 1] : 0.0;
    }
    standardize(d.features);
    return d;
}

Result<Dataset> prepare_supertrend_features(std::span<const double> close, std::span<const double> atr,
                                            std::uint64_t lookback) {
    if (auto s = check_inputs({close, "close"}, {{atr, "atr"}}, lookback); !s) return std::unexpected(s.error());
    std::uint64_t columns;
    if (__builtin_mul_overflow(lookback, std::uint64_t{2}, &columns))
        return fail(VornError::invalid_value(0, "2 x lookback overflow"));
    Dataset d = allocate(close.size(), lookback, columns);
    const auto lb = static_cast<Eigen::Index>(lookback);
    for (Eigen::Index r = 0; r < d.features.rows(); ++r) {
        const std::size_t t = static_cast<std::size_t>(r), i = t + lookback;
        for (Eigen::Index k = 0; k < lb; ++k) {
            const std::size_t bar = t + static_cast<std::size_t>(k);
            d.features(r, k) = close[bar];
            d.features(r, lb + k) = nan_to(atr[bar], 0.0);
        }
        d.targets[r] = bar_return(close[i - 1], close[i]);
    }
    standardize(d.features);
    return d;
}

// The column statistics are gathered in row-major sweeps (the matrix is stored by rows);
// each column's sums still run over its rows in order.
void standardize(Matrix& matrix) {
    const Eigen::Index rows = matrix.rows(), cols = matrix.cols();
    if (rows == 0 || cols == 0) return;
    const double count = static_cast<double>(rows);
    const bool compensated = static_cast<std::size_t>(rows) >= kCompensatedRows;
    std::vector<utils::Kahan> sums(static_cast<std::size_t>(cols));
    // Below the switch the compensation terms stay 0.0 and the sums are plain.
    auto add = [compensated](utils::Kahan& k, double v) {
        if (!compensated)
            k.sum += v;
        else if (!std::isnan(v))
            k.add(v);
    };
    for (Eigen::Index i = 0; i < rows; ++i)
        for (Eigen::Index j = 0; j < cols; ++j) add(sums[static_cast<std::size_t>(j)], matrix(i, j));
    Vector mean(cols);
    for (Eigen::Index j = 0; j < cols; ++j) {
        mean[j] = sums[static_cast<std::size_t>(j)].sum / count;
        sums[static_cast<std::size_t>(j)].reset();
    }
    for (Eigen::Index i = 0; i < rows; ++i)
        for (Eigen::Index j = 0; j < cols; ++j) {
            const double d = matrix(i, j) - mean[j];
            add(sums[static_cast<std::size_t>(j)], d * d);
        }
    Vector sd(cols);
    for (Eigen::Index j = 0; j < cols; ++j) sd[j] = std::sqrt(sums[static_cast<std::size_t>(j)].sum / count);
    for (Eigen::Index i = 0; i < rows; ++i)
        for (Eigen::Index j = 0; j < cols; ++j)
            matrix(i, j) = sd[j] > kTiny ? (matrix(i, j) - mean[j]) / sd[j] : 0.0;
}

Matrix polynomial_features(const Matrix& matrix) {
    const Eigen::Index rows = matrix.rows(), d = matrix.cols();
    if (rows == 0 || d == 0) return Matrix(rows, 0);
    Eigen::Index pairs, width;
    if (__builtin_mul_overflow(d, d + 1, &pairs) || __builtin_add_overflow(d, pairs / 2, &width))
        throw std::bad_alloc();
    Matrix out(rows, width);
    for (Eigen::Index r = 0; r < rows; ++r) {
        auto x = matrix.row(r);
        Eigen::Index c = 0;
        for (Eigen::Index a = 0; a < d; ++a) out(r, c++) = x[a];
        for (Eigen::Index a = 0; a < d; ++a)
            for (Eigen::Index b = a; b < d; ++b) out(r, c++) = x[a] * x[b];
    }
    return out;
}

}  // namespace vorn::ml::features
