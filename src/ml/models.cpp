#include "ml/models.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include <Eigen/QR>

#include "utils/constants.hpp"
#include "utils/pairs.hpp"

namespace vorn::ml::models {

namespace {

constexpr double kSingular = 1e-10;

bool all_finite(VectorView v) {
    for (Eigen::Index i = 0; i < v.size(); ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// Column means, each a plain sum in row order divided by the row count.
Vector column_means(MatrixView x) {
    Vector sums = Vector::Zero(x.cols());
    for (Eigen::Index i = 0; i < x.rows(); ++i)
        for (Eigen::Index j = 0; j < x.cols(); ++j) sums[j] += x(i, j);
    return sums / static_cast<double>(x.rows());
}

double mean(VectorView y) {
    double s = 0.0;
    for (Eigen::Index i = 0; i < y.size(); ++i) s += y[i];
    return s / static_cast<double>(y.size());
}

// out[i] = (sum over j of x[i][j] * w[j]) + intercept, summed in column order.
Vector affine_rows(MatrixView x, const Vector& w, double intercept) {
    Vector out(x.rows());
    for (Eigen::Index i = 0; i < x.rows(); ++i) {
        double s = 0.0;
        for (Eigen::Index j = 0; j < x.cols(); ++j) s += x(i, j) * w[j];
        out[i] = s + intercept;
    }
    return out;
}

using FitResult = std::expected<LinearFit, std::string>;

FitResult fail_fit(const std::string& why) {
    return std::unexpected("Linear regression training failed: " + why);
}

constexpr const char* kNonFinite = "non-finite values in the features or targets";

// Least squares with an intercept: the centred problem solved by a column-pivoting
// Householder QR, the intercept restored from the means.
FitResult fit_least_squares(MatrixView x, VectorView y) {
    const Eigen::Index n = x.rows(), p = x.cols();
    if (!all_finite(y) || !x.allFinite()) return fail_fit(kNonFinite);
    // A decomposition of thousands of columns takes minutes to find what the shape tells.
    if (const auto rows = static_cast<std::uint64_t>(n), columns = static_cast<std::uint64_t>(p);
        underdetermined(rows, columns))
        return std::unexpected(underdetermined_failure(rows, columns, true));
    const Vector mean_x = column_means(x);
    const double mean_y = mean(y);
    LinearFit fit;
    if (p == 0) {
        fit.intercept = mean_y;
        return fit;
    }
    Eigen::MatrixXd xc = x.rowwise() - mean_x.transpose();
    const Vector yc = y.array() - mean_y;
    Eigen::ColPivHouseholderQR<Eigen::Ref<Eigen::MatrixXd>> qr(xc);
    if (qr.rank() < p)
        return fail_fit("rank-deficient features (rank " + std::to_string(qr.rank()) + " of " + std::to_string(p) +
                        " columns, " + std::to_string(n) + " rows)");
    fit.coefficients = qr.solve(yc);
    fit.intercept = mean_y - mean_x.dot(fit.coefficients);
    if (!all_finite(fit.coefficients) || !std::isfinite(fit.intercept)) return fail_fit("non-finite solution");
    return fit;
}

// Ridge through the centred normal equations; the intercept is not penalised.
TrainStatus fit_ridge(Ridge& model, MatrixView x, VectorView y) {
    const Eigen::Index n = x.rows(), p = x.cols();
    if (p == 0) return std::unexpected(std::string("No features provided"));
    const Vector mean_x = column_means(x);
    const double mean_y = mean(y);
    const Matrix xc = x.rowwise() - mean_x.transpose();
    const Vector yc = y.array() - mean_y;

    // X'X with each entry one sum, in row order, of separate products. Eigen's matrix product
    // fuses its multiply-adds on ARM and splits long sums where the cache sizes it reads from the
    // processor say, so its bits would depend on the machine. Row by row, the upper triangle
    // two entries to a register (each half the scalar steps), then mirrored.
    Matrix a = Matrix::Zero(p, p);
    for (Eigen::Index i = 0; i < n; ++i) {
        const double* row = &xc(i, 0);
        for (Eigen::Index j = 0; j < p; ++j) {
            double* to = &a(j, 0);
            const double x = row[j];
            Eigen::Index l = j;
            for (; l + 2 <= p; l += 2)
                utils::pairs::store(to + l, utils::pairs::load(to + l) + utils::pairs::both(x) * utils::pairs::load(row + l));
            for (; l < p; ++l) to[l] = to[l] + x * row[l];
        }
    }
    for (Eigen::Index j = 0; j < p; ++j)
        for (Eigen::Index l = 0; l < j; ++l) a(j, l) = a(l, j);
    for (Eigen::Index j = 0; j < p; ++j) a(j, j) = a(j, j) + model.alpha;
    Vector b = Vector::Zero(p);
    for (Eigen::Index i = 0; i < n; ++i)
        for (Eigen::Index j = 0; j < p; ++j) b[j] += xc(i, j) * yc[i];

    const std::size_t up = static_cast<std::size_t>(p), width = up + 1;
    std::vector<double> m(up * width);
    for (std::size_t i = 0; i < up; ++i) {
        for (std::size_t j = 0; j < up; ++j) m[i * width + j] = a(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j));
        m[i * width + up] = b[static_cast<Eigen::Index>(i)];
    }
    const std::string singular = "Singular matrix, cannot solve";
    if (!gauss_jordan(m.data(), up)) return std::unexpected(singular);

    Vector w(p);
    for (std::size_t j = 0; j < up; ++j) w[static_cast<Eigen::Index>(j)] = m[j * width + up];
    double shift = 0.0;
    for (Eigen::Index j = 0; j < p; ++j) shift += w[j] * mean_x[j];
    const double intercept = mean_y - shift;
    // NaN targets pass every pivot test and still poison the solution.
    if (!all_finite(w) || !std::isfinite(intercept)) return std::unexpected(singular);

    model.weights = std::move(w);
    model.intercept = intercept;
    model.trained = true;
    return {};
}

}  // namespace

// The rank is only bounded: the decomposition that would tell it is what is spared.
std::string underdetermined_failure(std::uint64_t rows, std::uint64_t columns, bool finite) {
    if (!finite) return "Linear regression training failed: " + std::string(kNonFinite);
    return "Linear regression training failed: rank-deficient features (rank at most " + std::to_string(rows - 1) +
           " of " + std::to_string(columns) + " columns, " + std::to_string(rows) + " rows)";
}

bool gauss_jordan(double* m, std::size_t p) noexcept {
    const std::size_t width = p + 1;
    for (std::size_t k = 0; k < p; ++k) {
        std::size_t r = k;
        double best = std::fabs(m[k * width + k]);
        for (std::size_t i = k + 1; i < p; ++i) {
            const double v = std::fabs(m[i * width + k]);
            if (v > best) best = v, r = i;
        }
        // Written so that a NaN pivot fails as well.
        if (!(best >= kSingular)) return false;
        if (r != k) std::swap_ranges(m + r * width, m + (r + 1) * width, m + k * width);
        double* row = m + k * width;
        const double pivot = row[k];
        for (std::size_t j = k; j < width; ++j) row[j] = row[j] / pivot;
        for (std::size_t i = 0; i < p; ++i) {
            if (i == k) continue;
            double* other = m + i * width;
            const double f = other[k];
            for (std::size_t j = k; j < width; ++j) other[j] = other[j] - f * row[j];
        }
    }
    return true;
}

TrainStatus SFGModel::train(MatrixView features, VectorView targets) {
    if (features.rows() != targets.size()) return std::unexpected(std::string("Features and targets length mismatch"));
    if (features.rows() == 0) return std::unexpected(std::string("Empty training data"));
    if (auto* ridge = std::get_if<Ridge>(&kind_)) return fit_ridge(*ridge, features, targets);
    auto fit = fit_least_squares(features, targets);
    if (!fit) return std::unexpected(std::move(fit.error()));
    auto& lr = std::get<LinearRegression>(kind_);
    lr.weights = fit->coefficients;
    lr.intercept = fit->intercept;
    lr.fitted = std::move(*fit);
    return {};
}

bool SFGModel::is_trained() const noexcept {
    if (const auto* lr = std::get_if<LinearRegression>(&kind_)) return lr->weights || lr->fitted;
    const auto& ridge = std::get<Ridge>(kind_);
    return ridge.trained && ridge.weights;
}

Vector SFGModel::predict(MatrixView features) const {
    const Eigen::Index m = features.rows();
    const Vector* weights = nullptr;
    double intercept = 0.0;
    if (const auto* lr = std::get_if<LinearRegression>(&kind_)) {
        if (lr->fitted) {
            const LinearFit& fit = *lr->fitted;
            if (features.cols() != fit.coefficients.size()) return Vector::Constant(m, utils::NaN);
            Vector out = features * fit.coefficients;
            out.array() += fit.intercept;
            return out;
        }
        if (lr->weights) weights = &*lr->weights, intercept = lr->intercept;
    } else if (const auto& ridge = std::get<Ridge>(kind_); ridge.trained && ridge.weights) {
        weights = &*ridge.weights, intercept = ridge.intercept;
    }
    if (!weights) return Vector::Zero(m);
    if (features.cols() != weights->size()) return Vector::Constant(m, utils::NaN);
    return affine_rows(features, *weights, intercept);
}

}  // namespace vorn::ml::models
