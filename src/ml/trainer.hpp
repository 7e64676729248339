#pragma once
// Training the linear models on prepared features, two ways:
//
// * Online trainers, for the learned-model signal systems: fit a fresh model on the FIRST
//   train_window rows of a series' features and predict every row. The result is aligned
//   with the input bars: bars 0 .. lookback-1 hold 0.0, bar lookback + r the prediction of
//   row r. Too few bars (n < train_window + lookback), no rows or a failed training give
//   all zeros, never an error; the only errors are the preparers' refusals of their inputs
//   (an atr or volume shorter than the first series, a lookback of 0).
//
// * Model trainers, for the Python surface: fit on the LAST train_window rows and return
//   the model with its column count, or the failure's plain message.
//
// A feature row is only trained on when its target exists: the ATR2 preparer's last row
// (the final bar, with no next bar) is never a training row.
//
// Neither way lays out the whole standardized matrix: its column statistics are gathered
// from the preparer's windows over the series (features::column_scale), and only the rows
// fitted, and the rows predicted a chunk at a time, are built. The results are those of the
// whole matrix, bit for bit; memory stays of the order of the series and the fitted rows.
// Those rows still grow with the look-back: both ways count what a fit will hold before
// building any of it and throw utils::TooLarge (a MemoryError naming the size and the limit)
// where the process cannot get it. A least-squares fit on no more rows than columns fails
// without being built (the online trainers give their zeros, the model trainers its message).
#include <cstdint>
#include <expected>
#include <span>
#include <string>

#include "errors/errors.hpp"
#include "ml/models.hpp"
#include "utils/series.hpp"

namespace vorn::ml::trainer {

enum class ModelKind : std::uint8_t { LeastSquares, Ridge };

struct TrainerConfig {
    std::uint64_t train_window = 200;  // rows fitted
    std::uint64_t lookback = 10;       // the preparers' look-back
    double ridge_alpha = 1.0;          // ATR2 and SuperTrend ridge penalty; below 0.0 or NaN means 0.0
    ModelKind model_kind = ModelKind::LeastSquares;  // SuperTrend only (ATR2 is ridge, momentum least squares)
    bool use_polynomial = false;       // momentum and SuperTrend: pairwise products of the features
};

// A forecast of the next bar's return in percent (ridge on ATR, return and relative volume).
Result<Series> online_predict_atr2(std::span<const double> close, std::span<const double> atr,
                                   std::span<const double> volume, const TrainerConfig& config);
// A forecast of the RSI change (least squares on the lagged RSI).
Result<Series> online_predict_momentum(std::span<const double> rsi, const TrainerConfig& config);
// A forecast of the return into the bar (lagged closes and ATR values).
Result<Series> online_predict_supertrend(std::span<const double> close, std::span<const double> atr,
                                         const TrainerConfig& config);

// A trained model and the number of feature columns it was trained on.
struct TrainedModel {
    models::SFGModel model;
    std::uint64_t n_features = 0;
};
using TrainResult = std::expected<TrainedModel, std::string>;

// Failure messages: the preparers' refusals (their VornError texts), "Insufficient data for
// training" (no row with a target), then the model's own training messages.
TrainResult train_supertrend_model(std::span<const double> close, std::span<const double> atr,
                                   std::uint64_t train_window, std::uint64_t lookback, bool use_ridge,
                                   double ridge_alpha);
TrainResult train_atr2_model(std::span<const double> close, std::span<const double> atr,
                             std::span<const double> volume, std::uint64_t train_window, std::uint64_t lookback,
                             double ridge_alpha);
TrainResult train_momentum_model(std::span<const double> rsi, std::uint64_t train_window, std::uint64_t lookback);

// Predicts from a row-major list of n_samples rows of n_features values. Refuses an
// untrained model, then a list of another length (the count checked for 64-bit overflow).
std::expected<Series, std::string> predict_flat(const TrainedModel& trained, std::span<const double> features,
                                                std::uint64_t n_samples);

}  // namespace vorn::ml::trainer
