#include "ml/trainer.hpp"

#include <algorithm>
#include <limits>
#include <variant>

#include "ml/features.hpp"
#include "utils/memory.hpp"

namespace vorn::ml::trainer {

namespace {

using features::ColumnScale;
using features::FeatureRows;
using features::RawDataset;
using models::Matrix;
using models::SFGModel;

// Which rows carry a real target.
enum class Targets : bool { AllRows, AllButLast };

std::uint64_t labelled_rows(const RawDataset& d, Targets t) {
    const std::uint64_t m = d.rows();
    return t == Targets::AllButLast && m > 0 ? m - 1 : m;
}

SFGModel model_of(ModelKind kind, double ridge_alpha) {
    return kind == ModelKind::Ridge ? SFGModel::ridge(models::clamp_alpha(ridge_alpha)) : SFGModel::linear_regression();
}

// What a fit holds at its peak, counted before any of it is built: the rows fitted (and the
// plain rows a polynomial expansion is made from), the fit's centred copy of them, for ridge
// the Gram matrix and its augmented system, and vectors of the order of a row and a column.
// A long look-back makes these far larger than the series they repeat, so a fit the process
// cannot hold is refused, with its size and the limit, rather than built until it fails.
void ensure_fit_fits(const SFGModel& model, std::uint64_t rows, std::uint64_t columns, std::uint64_t width,
                     bool expand) {
    utils::ValueCount count;
    count.add(rows, width).add(rows, width).add(2, rows).add(8, width);
    if (expand) count.add(rows, columns);
    if (std::holds_alternative<models::Ridge>(model.kind())) count.add(width, width).add(width, width + 1);
    utils::ensure_fits("Training", count, sizeof(double));
}

// Rows first .. first + count - 1 of the standardized matrix (widened by polynomial_features
// when expand is set) into out, which has at least count rows of the right width. Only
// these rows are ever built: the whole matrix can be far larger than the series it repeats.
void build_rows(const FeatureRows& rows, const ColumnScale& scale, std::uint64_t first, std::uint64_t count,
                bool expand, Matrix& plain, Matrix& out) {
    if (!expand) {
        scale.apply(rows, first, count, out.data());
        return;
    }
    scale.apply(rows, first, count, plain.data());
    const auto d = static_cast<std::size_t>(rows.columns);
    for (Eigen::Index r = 0; r < static_cast<Eigen::Index>(count); ++r)
        features::polynomial_row(plain.row(r).data(), d, out.row(r).data());
}

// Rows predicted at a time: about 2^18 values, a multiple of 8 rows, so that every chunk
// starts where the row blocks of one product over the whole matrix would.
std::uint64_t chunk_rows(std::uint64_t width) {
    const std::uint64_t rows = (std::uint64_t{1} << 18) / (width ? width : 1);
    return rows < 8 ? 8 : rows & ~std::uint64_t{7};
}

Result<Series> online(std::size_t n, Result<RawDataset> prepared, const TrainerConfig& config, SFGModel model,
                      bool expand, Targets targets) {
    if (!prepared) return std::unexpected(prepared.error());
    Series out(n, 0.0);
    std::uint64_t need;
    if (__builtin_add_overflow(config.train_window, config.lookback, &need) || n < need) return out;
    const RawDataset& d = *prepared;
    const std::uint64_t m = d.rows();
    if (m == 0) return out;
    const FeatureRows& rows = d.features;
    std::uint64_t width = rows.columns;
    // A width past 64 bits is counted as the most 64 bits hold, which no memory can.
    if (expand && !features::polynomial_width(rows.columns, width)) width = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t fitted = std::min(labelled_rows(d, targets), config.train_window);
    // No rows, or least squares on rows it cannot fit whatever their values: the training
    // fails and its failure gives the zeros, so nothing needs building. A wide polynomial
    // expansion lands here.
    if (fitted == 0 ||
        (std::holds_alternative<models::LinearRegression>(model.kind()) && models::underdetermined(fitted, width)))
        return out;
    ensure_fit_fits(model, fitted, rows.columns, width, expand);
    const ColumnScale scale = features::column_scale(rows);

    const auto cols = static_cast<Eigen::Index>(rows.columns), wide = static_cast<Eigen::Index>(width);
    Matrix plain, x(static_cast<Eigen::Index>(fitted), wide);
    if (expand) plain.resize(static_cast<Eigen::Index>(fitted), cols);
    build_rows(rows, scale, 0, fitted, expand, plain, x);
    if (!model.train(x, d.target_vector().head(static_cast<Eigen::Index>(fitted)))) return out;

    // Every row is predicted, a chunk at a time. A chunk of one row would take the product's
    // dot-product path, which sums in another order: a lone last row joins the chunk before.
    const std::uint64_t step = chunk_rows(width);
    const std::uint64_t most = std::min(m, step + 1);
    x.resize(static_cast<Eigen::Index>(most), wide);
    if (expand) plain.resize(static_cast<Eigen::Index>(most), cols);
    for (std::uint64_t first = 0; first < m;) {
        std::uint64_t count = std::min(step, m - first);
        if (m - first - count == 1) ++count;
        build_rows(rows, scale, first, count, expand, plain, x);
        const models::Vector prediction = model.predict(x.topRows(static_cast<Eigen::Index>(count)));
        for (Eigen::Index r = 0; r < prediction.size(); ++r)
            out[config.lookback + first + static_cast<std::size_t>(r)] = prediction[r];
        first += count;
    }
    return out;
}

TrainResult latest(Result<RawDataset> prepared, std::uint64_t train_window, SFGModel model, Targets targets) {
    if (!prepared) return std::unexpected(prepared.error().message());
    const RawDataset& d = *prepared;
    const std::uint64_t labelled = labelled_rows(d, targets);
    if (labelled == 0) return std::unexpected(std::string("Insufficient data for training"));
    const std::uint64_t rows = std::min(labelled, train_window);
    const std::uint64_t start = labelled - rows;
    const auto first = static_cast<Eigen::Index>(start), count = static_cast<Eigen::Index>(rows);
    if (std::holds_alternative<models::LinearRegression>(model.kind()) && models::underdetermined(rows, d.columns)) {
        const bool finite = d.target_vector().segment(first, count).allFinite() &&
                            features::standardized_finite(d.features, start, rows);
        return std::unexpected(models::underdetermined_failure(rows, d.columns, finite));
    }
    ensure_fit_fits(model, rows, d.columns, d.columns, false);
    Matrix x(count, static_cast<Eigen::Index>(d.columns));
    // The statistics still come from every row, as in the whole standardized matrix.
    if (rows > 0) features::column_scale(d.features).apply(d.features, start, rows, x.data());
    if (auto s = model.train(x, d.target_vector().segment(first, count)); !s) return std::unexpected(std::move(s.error()));
    return TrainedModel{std::move(model), d.columns};
}

}  // namespace

Result<Series> online_predict_atr2(std::span<const double> close, std::span<const double> atr,
                                   std::span<const double> volume, const TrainerConfig& config) {
    return online(close.size(), features::raw_atr2_features(close, atr, volume, config.lookback), config,
                  model_of(ModelKind::Ridge, config.ridge_alpha), false, Targets::AllButLast);
}

Result<Series> online_predict_momentum(std::span<const double> rsi, const TrainerConfig& config) {
    return online(rsi.size(), features::raw_momentum_features(rsi, config.lookback), config,
                  SFGModel::linear_regression(), config.use_polynomial, Targets::AllRows);
}

// The training targets are the preparer's: the returns into bars lookback + r, computed
// from close with the same rule.
Result<Series> online_predict_supertrend(std::span<const double> close, std::span<const double> atr,
                                         const TrainerConfig& config) {
    return online(close.size(), features::raw_supertrend_features(close, atr, config.lookback), config,
                  model_of(config.model_kind, config.ridge_alpha), config.use_polynomial, Targets::AllRows);
}

TrainResult train_supertrend_model(std::span<const double> close, std::span<const double> atr,
                                   std::uint64_t train_window, std::uint64_t lookback, bool use_ridge,
                                   double ridge_alpha) {
    return latest(features::raw_supertrend_features(close, atr, lookback), train_window,
                  model_of(use_ridge ? ModelKind::Ridge : ModelKind::LeastSquares, ridge_alpha), Targets::AllRows);
}

TrainResult train_atr2_model(std::span<const double> close, std::span<const double> atr,
                             std::span<const double> volume, std::uint64_t train_window, std::uint64_t lookback,
                             double ridge_alpha) {
    return latest(features::raw_atr2_features(close, atr, volume, lookback), train_window,
                  model_of(ModelKind::Ridge, ridge_alpha), Targets::AllButLast);
}

TrainResult train_momentum_model(std::span<const double> rsi, std::uint64_t train_window, std::uint64_t lookback) {
    return latest(features::raw_momentum_features(rsi, lookback), train_window, SFGModel::linear_regression(),
                  Targets::AllRows);
}

std::expected<Series, std::string> predict_flat(const TrainedModel& trained, std::span<const double> features,
                                                std::uint64_t n_samples) {
    if (!trained.model.is_trained()) return std::unexpected(std::string("Model is not trained"));
    const std::uint64_t cols = trained.n_features, got = features.size();
    std::uint64_t want;
    if (__builtin_mul_overflow(n_samples, cols, &want))
        return std::unexpected("Expected " + std::to_string(n_samples) + "x" + std::to_string(cols) +
                               " features (more than 64 bits can count), got " + std::to_string(got));
    if (got != want)
        return std::unexpected("Expected " + std::to_string(want) + " features (" + std::to_string(n_samples) + "x" +
                               std::to_string(cols) + "), got " + std::to_string(got));
    const Eigen::Map<const models::Matrix> x(features.data(), static_cast<Eigen::Index>(n_samples),
                                             static_cast<Eigen::Index>(cols));
    const models::Vector prediction = trained.model.predict(x);
    return Series(prediction.data(), prediction.data() + prediction.size());
}

}  // namespace vorn::ml::trainer
