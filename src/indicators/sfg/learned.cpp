#include "indicators/sfg/learned.hpp"

#include <cmath>
#include <string>

#include "indicators/momentum/rsi_macd.hpp"
#include "indicators/sfg/common.hpp"
#include "indicators/trend/supertrend.hpp"
#include "indicators/volatility/bands.hpp"
#include "ml/trainer.hpp"
#include "utils/ma.hpp"

namespace vorn::indicators::sfg {

namespace {

using ml::trainer::ModelKind;
using ml::trainer::TrainerConfig;

// The ATR2 system always fits this many rows.
constexpr std::uint64_t kAtr2TrainWindow = 200;

}  // namespace

Result<Atr2MlSignals> atr2_signals_ml(std::span<const double> high, std::span<const double> low,
                                      std::span<const double> close, std::span<const double> volume,
                                      std::uint64_t rsi_period, std::uint64_t atr_period, double ridge_alpha,
                                      std::uint64_t momentum_window) {
    const std::size_t n = close.size();
    if (auto s = check_opening(close, {{high, "high"}, {low, "low"}, {close, "close"}, {volume, "volume"}},
                               {rsi_period, atr_period});
        !s)
        return fail(s.error());
    if (auto s = check_training_span(momentum_window, kAtr2TrainWindow, momentum_window, n,
                                     "train_window + momentum_window overflow");
        !s)
        return fail(s.error());
    auto rsi = momentum::rsi(close, rsi_period);
    if (!rsi) return fail(rsi.error());
    auto atr = volatility::atr(high, low, close, atr_period);
    if (!atr) return fail(atr.error());
    const TrainerConfig config{kAtr2TrainWindow, momentum_window, ridge_alpha, ModelKind::Ridge, false};
    auto prediction = ml::trainer::online_predict_atr2(close, *atr, volume, config);
    if (!prediction) return fail(prediction.error());
    auto vol_avg = utils::ma::sma(volume, atr_period);
    if (!vol_avg) return fail(vol_avg.error());

    Atr2MlSignals r{std::move(*rsi), Series(n, 0.0), Series(n, 0.0), Series(n, 0.0), nan_series(n), nan_series(n)};
    for (std::size_t i = atr_period; i < n; ++i) {
        const double avg = (*vol_avg)[i];
        const bool volume_ok = avg <= 0.0 || volume[i] > avg;
        const double x = r.rsi[i];
        if (std::isnan(x) || !volume_ok) continue;
        // The forecast clamped to [-10, 10], a NaN forecast staying NaN (then nothing fires).
        double p = (*prediction)[i];
        if (p < -10.0) p = -10.0;
        if (p > 10.0) p = 10.0;
        const double buy_level = 30.0 - p, sell_level = 70.0 + p;
        const double a = (*atr)[i];
        // The levels never overlap (buy at most 40, sell at least 60): at most one fires.
        if (x < buy_level) {
            r.buy_signals[i] = 1.0;
            r.signal_strength[i] = (buy_level - x) / 30.0;
            buy_exits(r.stop_loss, r.take_profit, i, close[i], a);
        } else if (x > sell_level) {
            r.sell_signals[i] = 1.0;
            r.signal_strength[i] = (x - sell_level) / 30.0;
            sell_exits(r.stop_loss, r.take_profit, i, close[i], a);
        }
    }
    return r;
}

Result<AiSuperTrendMlSignals> ai_supertrend_ml(std::span<const double> high, std::span<const double> low,
                                               std::span<const double> close, std::uint64_t st_length,
                                               double st_multiplier, std::string_view model_type,
                                               std::uint64_t lookback, std::uint64_t train_window) {
    const std::size_t n = close.size();
    if (auto s = check_opening(close, {{high, "high"}, {low, "low"}, {close, "close"}}, {st_length, lookback}); !s)
        return fail(s.error());
    if (auto s = check_training_span(train_window, train_window, lookback, n, "train_window + lookback overflow"); !s)
        return fail(s.error());
    auto st = trend::supertrend(high, low, close, st_length, st_multiplier);
    if (!st) return fail(st.error());
    auto atr = volatility::atr(high, low, close, st_length);
    if (!atr) return fail(atr.error());
    ModelKind kind;
    if (model_type == "linreg")
        kind = ModelKind::LeastSquares;
    else if (model_type == "ridge")
        kind = ModelKind::Ridge;
    else
        return fail(VornError::invalid_value(0, "unknown model_type: " + std::string(model_type)));
    const TrainerConfig config{train_window, lookback, 1.0, kind, false};
    auto prediction = ml::trainer::online_predict_supertrend(close, *atr, config);
    if (!prediction) return fail(prediction.error());

    AiSuperTrendMlSignals r{std::move(st->value), std::move(st->direction), Series(n, 0.0), Series(n, 0.0),
                            nan_series(n), nan_series(n)};
    for (std::size_t i = 1; i < n; ++i) {
        const double prev = r.direction[i - 1], cur = r.direction[i], f = (*prediction)[i], a = (*atr)[i];
        // A NaN direction fails every test: nothing fires in the SuperTrend warm-up.
        if (prev < 0.5 && cur > 0.5 && f > 0.0) {
            r.buy_signals[i] = 1.0;
            buy_exits(r.stop_loss, r.take_profit, i, close[i], a);
        } else if (prev > -0.5 && cur < -0.5 && f < 0.0) {
            r.sell_signals[i] = 1.0;
            sell_exits(r.stop_loss, r.take_profit, i, close[i], a);
        }
    }
    return r;
}

Result<AiMomentumMlSignals> ai_momentum_index_ml(std::span<const double> close, std::uint64_t rsi_period,
                                                 std::uint64_t smooth_period, bool use_polynomial,
                                                 std::uint64_t lookback, std::uint64_t train_window) {
    const std::size_t n = close.size();
    if (auto s = check_opening(close, {}, {rsi_period, smooth_period, lookback}); !s) return fail(s.error());
    if (auto s = check_training_span(train_window, train_window, lookback, n, "train_window + lookback overflow"); !s)
        return fail(s.error());
    auto rsi = momentum::rsi(close, rsi_period);
    if (!rsi) return fail(rsi.error());
    // The penalty and the model kind are not read by the momentum trainer (least squares).
    const TrainerConfig config{train_window, lookback, 1.0, ModelKind::LeastSquares, use_polynomial};
    auto prediction = ml::trainer::online_predict_momentum(*rsi, config);
    if (!prediction) return fail(prediction.error());

    AiMomentumMlSignals r{std::move(*rsi), std::move(*prediction), Series(n, 0.0), Series(n, 0.0), Series(n, 0.0),
                          Series(n, 0.0)};
    const Series& m = r.predicted_momentum;
    for (std::size_t i = 1; i < n; ++i) {
        const double prev = m[i - 1], cur = m[i];
        if (cur > 0.0 && prev <= 0.0) r.zero_cross_buy[i] = 1.0;
        if (cur < 0.0 && prev >= 0.0) r.zero_cross_sell[i] = 1.0;
        if (cur > 25.0) r.overbought[i] = 1.0;
        if (cur < -25.0) r.oversold[i] = 1.0;
    }
    return r;
}

}  // namespace vorn::indicators::sfg
