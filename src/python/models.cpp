// Model training, feature preparation and the SFGModel class.
#include "ml/features.hpp"
#include "ml/trainer.hpp"
#include "python/bind/klass.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

using ml::trainer::TrainedModel;
using ml::trainer::TrainResult;

namespace {

constexpr std::uint64_t kTrainWindow = 200, kLookback = 10;
constexpr double kRidgeAlpha = 1.0;

TrainResult train_supertrend_model(const Series& close, const Series& atr, std::optional<std::uint64_t> train_window,
                                   std::optional<std::uint64_t> lookback, std::optional<bool> use_ridge,
                                   std::optional<double> ridge_alpha) {
    return ml::trainer::train_supertrend_model(close, atr, train_window.value_or(kTrainWindow),
                                               lookback.value_or(kLookback), use_ridge.value_or(false),
                                               ridge_alpha.value_or(kRidgeAlpha));
}
TrainResult train_atr2_model(const Series& close, const Series& atr, const Series& volume,
                             std::optional<std::uint64_t> train_window, std::optional<std::uint64_t> lookback,
                             std::optional<double> ridge_alpha) {
    return ml::trainer::train_atr2_model(close, atr, volume, train_window.value_or(kTrainWindow),
                                         lookback.value_or(kLookback), ridge_alpha.value_or(kRidgeAlpha));
}
TrainResult train_momentum_model(const Series& rsi, std::optional<std::uint64_t> train_window,
                                 std::optional<std::uint64_t> lookback) {
    return ml::trainer::train_momentum_model(rsi, train_window.value_or(kTrainWindow), lookback.value_or(kLookback));
}

// (features_flat, n_samples, n_features): the standardized matrix row by row, targets dropped.
using Flat = std::tuple<Series, std::uint64_t, std::uint64_t>;

Result<Flat> flatten(Result<ml::features::Dataset> prepared) {
    if (!prepared) return std::unexpected(prepared.error());
    const auto& x = prepared->features;
    return Flat{Series(x.data(), x.data() + x.size()), prepared->rows(), prepared->columns};
}
Result<Flat> prepare_supertrend_features(const Series& close, const Series& atr, std::uint64_t lookback) {
    return flatten(ml::features::prepare_supertrend_features(close, atr, lookback));
}
Result<Flat> prepare_atr2_features(const Series& close, const Series& atr, const Series& volume,
                                   std::uint64_t lookback) {
    return flatten(ml::features::prepare_atr2_features(close, atr, volume, lookback));
}
Result<Flat> prepare_momentum_features(const Series& rsi, std::uint64_t lookback) {
    return flatten(ml::features::prepare_momentum_features(rsi, lookback));
}

bool is_trained(const TrainedModel& m) { return m.model.is_trained(); }
std::uint64_t features_dim(const TrainedModel& m) { return m.n_features; }
std::expected<Series, std::string> predict(const TrainedModel& m, const Series& features, std::uint64_t n_samples) {
    return ml::trainer::predict_flat(m, features, n_samples);
}

#define TRAIN_WINDOW_ARG "* `train_window` - Number of most recent samples to train on (default: 200)\n"
#define LOOKBACK_ARG "* `lookback` - Number of past bars per feature row (default: 10)\n"
#define RIDGE_ALPHA_ARG "* `ridge_alpha` - Ridge regularization strength (default: 1.0)\n"
#define TRAIN_RETURNS "\n# Returns\nTrained SFGModel"
#define PREPARE_RETURNS "\n# Returns\nTuple of (features_flat, n_samples, n_features)"

}  // namespace

ENTRY(py_train_supertrend_model, train_supertrend_model)(
    "py_train_supertrend_model(close, atr, train_window=None, lookback=None, use_ridge=None, ridge_alpha=None)\n--\n\n"
    "Train an AI SuperTrend model\n\n"
    "# Arguments\n"
    "* `close` - Close prices\n"
    "* `atr` - ATR values\n" TRAIN_WINDOW_ARG LOOKBACK_ARG
    "* `use_ridge` - Use ridge regression instead of ordinary least squares (default: false)\n" RIDGE_ALPHA_ARG
    TRAIN_RETURNS,
    arg("close"), arg("atr"), omissible_or_none("train_window"), omissible_or_none("lookback"),
    omissible_or_none("use_ridge"), omissible_or_none("ridge_alpha"));

ENTRY(py_train_atr2_model, train_atr2_model)(
    "py_train_atr2_model(close, atr, volume, train_window=None, lookback=None, ridge_alpha=None)\n--\n\n"
    "Train an ATR2 model with volume features\n\n"
    "# Arguments\n"
    "* `close` - Close prices\n"
    "* `atr` - ATR values\n"
    "* `volume` - Volume values\n" TRAIN_WINDOW_ARG LOOKBACK_ARG RIDGE_ALPHA_ARG TRAIN_RETURNS,
    arg("close"), arg("atr"), arg("volume"), omissible_or_none("train_window"), omissible_or_none("lookback"),
    omissible_or_none("ridge_alpha"));

ENTRY(py_train_momentum_model, train_momentum_model)(
    "py_train_momentum_model(rsi, train_window=None, lookback=None)\n--\n\n"
    "Train a momentum model\n\n"
    "# Arguments\n"
    "* `rsi` - RSI values\n" TRAIN_WINDOW_ARG LOOKBACK_ARG TRAIN_RETURNS,
    arg("rsi"), omissible_or_none("train_window"), omissible_or_none("lookback"));

ENTRY(py_prepare_supertrend_features, prepare_supertrend_features)(
    "py_prepare_supertrend_features(close, atr, lookback)\n--\n\n"
    "Prepare SuperTrend features for prediction\n\n"
    "# Arguments\n"
    "* `close` - Close prices\n"
    "* `atr` - ATR values\n"
    "* `lookback` - Number of past bars per feature row\n" PREPARE_RETURNS,
    arg("close"), arg("atr"), arg("lookback"));

ENTRY(py_prepare_atr2_features, prepare_atr2_features)(
    "py_prepare_atr2_features(close, atr, volume, lookback)\n--\n\n"
    "Prepare ATR2 features for prediction\n\n"
    "# Arguments\n"
    "* `close` - Close prices\n"
    "* `atr` - ATR values\n"
    "* `volume` - Volume values\n"
    "* `lookback` - Window of the volume average\n" PREPARE_RETURNS,
    arg("close"), arg("atr"), arg("volume"), arg("lookback"));

ENTRY(py_prepare_momentum_features, prepare_momentum_features)(
    "py_prepare_momentum_features(rsi, lookback)\n--\n\n"
    "Prepare momentum features for prediction\n\n"
    "# Arguments\n"
    "* `rsi` - RSI values\n"
    "* `lookback` - Number of past bars per feature row\n" PREPARE_RETURNS,
    arg("rsi"), arg("lookback"));


PyTypeObject* sfg_model_class() {
    return ClassDef<TrainedModel>("SFGModel", nullptr)
        .method<"is_trained", is_trained>("is_trained($self)\n--\n\nCheck if model is trained")
        .method<"features_dim", features_dim>("features_dim($self)\n--\n\nGet feature dimension")
        .method<"predict", predict>("predict($self, features, n_samples)\n--\n\n"
                                    "Predict using the trained model\n\n"
                                    "# Arguments\n"
                                    "* `features` - Flattened feature array (n_samples * n_features)\n"
                                    "* `n_samples` - Number of samples\n\n"
                                    "# Returns\n"
                                    "Predictions for each sample",
                                    arg("features"), arg("n_samples"))
        .create();
}

}  // namespace vorn::py::families
