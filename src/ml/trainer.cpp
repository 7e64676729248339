#include "ml/trainer.hpp"

#include <algorithm>

#include "ml/features.hpp"

namespace vorn::ml::trainer {

namespace {

using features::Dataset;
using models::SFGModel;

// Which rows carry a real target.
enum class Targets : bool { AllRows, AllButLast };

std::uint64_t labelled_rows(const Dataset& d, Targets t) {
    const std::uint64_t m = d.rows();
    return t == Targets::AllButLast && m > 0 ? m - 1 : m;
}

SFGModel model_of(ModelKind kind, double ridge_alpha) {
    return kind == ModelKind::Ridge ? SFGModel::ridge(models::clamp_alpha(ridge_alpha)) : SFGModel::linear_regression();
}

Result<Series> online(std::size_t n, Result<Dataset> prepared, const TrainerConfig& config, SFGModel model,
                      bool expand, Targets targets) {
    if (!prepared) return std::unexpected(prepared.error());
    Series out(n, 0.0);
    std::uint64_t need;
    if (__builtin_add_overflow(config.train_window, config.lookback, &need) || n < need) return out;
    Dataset& d = *prepared;
    if (d.rows() == 0) return out;
    if (expand) d.features = features::polynomial_features(d.features);
    const auto rows = static_cast<Eigen::Index>(std::min(labelled_rows(d, targets), config.train_window));
    if (!model.train(d.features.topRows(rows), d.targets.head(rows))) return out;
    const models::Vector prediction = model.predict(d.features);
    for (Eigen::Index r = 0; r < prediction.size(); ++r)
        out[config.lookback + static_cast<std::size_t>(r)] = prediction[r];
    return out;
}

TrainResult latest(Result<Dataset> prepared, std::uint64_t train_window, SFGModel model, Targets targets) {
    if (!prepared) return std::unexpected(prepared.error().message());
    const Dataset& d = *prepared;
    const std::uint64_t labelled = labelled_rows(d, targets);
    if (labelled == 0) return std::unexpected(std::string("Insufficient data for training"));
    const std::uint64_t rows = std::min(labelled, train_window);
    const auto start = static_cast<Eigen::Index>(labelled - rows), count = static_cast<Eigen::Index>(rows);
    if (auto s = model.train(d.features.middleRows(start, count), d.targets.segment(start, count)); !s)
        return std::unexpected(std::move(s.error()));
    return TrainedModel{std::move(model), d.columns};
}

}  // namespace

Result<Series> online_predict_atr2(std::span<const double> close, std::span<const double> atr,
                                   std::span<const double> volume, const TrainerConfig& config) {
    return online(close.size(), features::prepare_atr2_features(close, atr, volume, config.lookback), config,
                  model_of(ModelKind::Ridge, config.ridge_alpha), false, Targets::AllButLast);
}

Result<Series> online_predict_momentum(std::span<const double> rsi, const TrainerConfig& config) {
    return online(rsi.size(), features::prepare_momentum_features(rsi, config.lookback), config,
                  SFGModel::linear_regression(), config.use_polynomial, Targets::AllRows);
}

// The training targets are the preparer's: the returns into bars lookback + r, computed
// from close with the same rule.
Result<Series> online_predict_supertrend(std::span<const double> close, std::span<const double> atr,
                                         const TrainerConfig& config) {
    return online(close.size(), features::prepare_supertrend_features(close, atr, config.lookback), config,
                  model_of(config.model_kind, config.ridge_alpha), config.use_polynomial, Targets::AllRows);
}

TrainResult train_supertrend_model(std::span<const double> close, std::span<const double> atr,
                                   std::uint64_t train_window, std::uint64_t lookback, bool use_ridge,
                                   double ridge_alpha) {
    return latest(features::prepare_supertrend_features(close, atr, lookback), train_window,
                  model_of(use_ridge ? ModelKind::Ridge : ModelKind::LeastSquares, ridge_alpha), Targets::AllRows);
}

TrainResult train_atr2_model(std::span<const double> close, std::span<const double> atr,
                             std::span<const double> volume, std::uint64_t train_window, std::uint64_t lookback,
                             double ridge_alpha) {
    return latest(features::prepare_atr2_features(close, atr, volume, lookback), train_window,
                  model_of(ModelKind::Ridge, ridge_alpha), Targets::AllButLast);
}

TrainResult train_momentum_model(std::span<const double> rsi, std::uint64_t train_window, std::uint64_t lookback) {
    return latest(features::prepare_momentum_features(rsi, lookback), train_window, SFGModel::linear_regression(),
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
