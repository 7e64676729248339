// Model training, feature preparation and the SFGModel class.
#include "ml/features.hpp"
#include "ml/trainer.hpp"
#include "python/bind/klass.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace tr = ml::trainer;
using tr::TrainedModel;

namespace {

// (features_flat, n_samples, n_features): the standardized matrix row by row, targets dropped.
using Flat = std::tuple<Series, std::uint64_t, std::uint64_t>;

Result<Flat> flatten(Result<ml::features::Dataset> prepared) {
    if (!prepared) return std::unexpected(prepared.error());
    const auto& x = prepared->features;
    return Flat{Series(x.data(), x.data() + x.size()), prepared->rows(), prepared->columns};
}
Result<Flat> prepare_supertrend_features(std::span<const double> close, std::span<const double> atr,
                                         std::uint64_t lookback) {
    return flatten(ml::features::prepare_supertrend_features(close, atr, lookback));
}
Result<Flat> prepare_atr2_features(std::span<const double> close, std::span<const double> atr,
                                   std::span<const double> volume, std::uint64_t lookback) {
    return flatten(ml::features::prepare_atr2_features(close, atr, volume, lookback));
}
Result<Flat> prepare_momentum_features(std::span<const double> rsi, std::uint64_t lookback) {
    return flatten(ml::features::prepare_momentum_features(rsi, lookback));
}

bool is_trained(const TrainedModel& m) { return m.model.is_trained(); }
std::uint64_t features_dim(const TrainedModel& m) { return m.n_features; }

constexpr Line kClose{"close", "", "Close prices"};
constexpr Line kAtr{"atr", "", "ATR values"};
constexpr Line kVolume{"volume", "", "Volume values"};
constexpr Line kRsi{"rsi", "", "RSI values"};
constexpr Line kTrainWindow{"train_window", "", "Number of most recent samples to train on (default: 200)"};
constexpr Line kLookback{"lookback", "", "Number of past bars per feature row (default: 10)"};
constexpr Line kRidgeAlpha{"ridge_alpha", "", "Ridge regularization strength (default: 1.0)"};
constexpr Line kRowLookback{"lookback", "", "Number of past bars per feature row"};

}  // namespace

// The training signatures show None, which (like leaving the argument out) selects the default.
ENTRY(py_train_supertrend_model, tr::train_supertrend_model)(
    doc("Train an AI SuperTrend model",
        arguments(kClose, kAtr, kTrainWindow, kLookback,
                  Line{"use_ridge", "", "Use ridge regression instead of ordinary least squares (default: false)"},
                  kRidgeAlpha),
        returns_item("Trained SFGModel"))
        .fixed_signature("py_train_supertrend_model(close, atr, train_window=None, lookback=None, use_ridge=None, "
                         "ridge_alpha=None)"),
    arg("close"), arg("atr"), omissible_or_none("train_window", 200), omissible_or_none("lookback", 10),
    omissible_or_none("use_ridge", false), omissible_or_none("ridge_alpha", 1.0));

ENTRY(py_train_atr2_model, tr::train_atr2_model)(
    doc("Train an ATR2 model with volume features",
        arguments(kClose, kAtr, kVolume, kTrainWindow, kLookback, kRidgeAlpha), returns_item("Trained SFGModel"))
        .fixed_signature("py_train_atr2_model(close, atr, volume, train_window=None, lookback=None, ridge_alpha=None)"),
    arg("close"), arg("atr"), arg("volume"), omissible_or_none("train_window", 200), omissible_or_none("lookback", 10),
    omissible_or_none("ridge_alpha", 1.0));

ENTRY(py_train_momentum_model, tr::train_momentum_model)(
    doc("Train a momentum model", arguments(kRsi, kTrainWindow, kLookback), returns_item("Trained SFGModel"))
        .fixed_signature("py_train_momentum_model(rsi, train_window=None, lookback=None)"),
    arg("rsi"), omissible_or_none("train_window", 200), omissible_or_none("lookback", 10));

ENTRY(py_prepare_supertrend_features, prepare_supertrend_features)(
    doc("Prepare SuperTrend features for prediction", arguments(kClose, kAtr, kRowLookback),
        returns_item("Tuple of (features_flat, n_samples, n_features)")),
    arg("close"), arg("atr"), arg("lookback"));

ENTRY(py_prepare_atr2_features, prepare_atr2_features)(
    doc("Prepare ATR2 features for prediction",
        arguments(kClose, kAtr, kVolume, Line{"lookback", "", "Window of the volume average"}),
        returns_item("Tuple of (features_flat, n_samples, n_features)")),
    arg("close"), arg("atr"), arg("volume"), arg("lookback"));

ENTRY(py_prepare_momentum_features, prepare_momentum_features)(
    doc("Prepare momentum features for prediction", arguments(kRsi, kRowLookback),
        returns_item("Tuple of (features_flat, n_samples, n_features)")),
    arg("rsi"), arg("lookback"));

PyTypeObject* sfg_model_class() {
    return ClassDef<TrainedModel>("SFGModel", nullptr)
        .method<"is_trained", is_trained>(doc("Check if model is trained"))
        .method<"features_dim", features_dim>(doc("Get feature dimension"))
        .method<"predict", tr::predict_flat>(
            doc("Predict using the trained model",
                arguments(Line{"features", "", "Flattened feature array (n_samples * n_features)"},
                          Line{"n_samples", "", "Number of samples"}),
                returns_item("Predictions for each sample")),
            arg("features"), arg("n_samples"))
        .create();
}

}  // namespace vorn::py::families
