#pragma once
// The learned model: a linear map from one row of features to one target, fitted either
// by ordinary least squares with an intercept or by ridge regression.
//
// Training failures are plain message strings (not VornError values): the Python layer
// raises each as a ValueError carrying the text alone.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <variant>

#include <Eigen/Core>

// Eigen's packets fuse their multiply-adds where this macro is defined (see
// ml/no_fused_multiply_add.hpp, read ahead of every file): such a build would give other bits.
#if defined(__aarch64__) && defined(__ARM_FEATURE_FMA)
#error "__ARM_FEATURE_FMA is defined after Eigen's headers: Eigen's multiply-adds would be fused"
#endif

namespace vorn::ml::models {

// Rows are samples, columns are features.
using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using Vector = Eigen::VectorXd;
// Views that accept a matrix, a block of whole rows or a vector segment without copying.
using MatrixView = Eigen::Ref<const Matrix>;
using VectorView = Eigen::Ref<const Vector>;

using TrainStatus = std::expected<void, std::string>;

// The least-squares solver's own result: its coefficients and intercept.
struct LinearFit {
    Vector coefficients;
    double intercept = 0.0;
};

struct LinearRegression {
    std::optional<Vector> weights;
    double intercept = 0.0;
    std::optional<LinearFit> fitted;
};

struct Ridge {
    bool trained = false;
    double intercept = 0.0;
    double alpha = 0.0;  // the penalty; callers pass at least 0.0 (see clamp_alpha)
    std::optional<Vector> weights;
};

// A ridge penalty as the callers accept it: negative values and NaN become 0.0.
inline double clamp_alpha(double alpha) noexcept { return alpha > 0.0 ? alpha : 0.0; }

class SFGModel {
public:
    using Kind = std::variant<LinearRegression, Ridge>;

    static SFGModel linear_regression() { return SFGModel(LinearRegression{}); }
    static SFGModel ridge(double alpha) { return SFGModel(Ridge{false, 0.0, alpha, std::nullopt}); }

    // Fits features (n x p) to targets (n). A success replaces the whole solution; a failure
    // leaves the model as it was. A fit whose solution is not finite is a failure.
    TrainStatus train(MatrixView features, VectorView targets);

    // One value per row of features (m x p, p the coefficient count). An untrained model
    // predicts 0.0 for every row; a column count other than p yields NaN for every row.
    Vector predict(MatrixView features) const;

    bool is_trained() const noexcept;
    const Kind& kind() const noexcept { return kind_; }

private:
    explicit SFGModel(Kind k) : kind_(std::move(k)) {}
    Kind kind_;
};

// Least squares with an intercept has one unknown more than its columns: centred on their
// means, n rows span at most n - 1 dimensions, so where the rows do not exceed the columns no
// values give it full rank, and its failure is known before any matrix is built or decomposed.
inline bool underdetermined(std::uint64_t rows, std::uint64_t columns) noexcept {
    return rows > 0 && rows <= columns;
}

// The failure such a fit gives; finite tells whether every feature and target is finite,
// which the fit looks at first.
std::string underdetermined_failure(std::uint64_t rows, std::uint64_t columns, bool finite);

// Gauss-Jordan elimination with partial pivoting on p rows of p + 1 values (row-major,
// column p the right-hand side); on success column p holds the solution. Ties in the pivot
// search keep the earlier row; a best pivot below 1e-10 in magnitude, or NaN, is singular.
// Returns false when singular; m is then partly eliminated.
bool gauss_jordan(double* m, std::size_t p) noexcept;

}  // namespace vorn::ml::models
