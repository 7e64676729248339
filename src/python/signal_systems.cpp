// Trend-ratio, MACD, nearest-neighbour and learned-model signal systems.
#include "indicators/sfg/atr2.hpp"
#include "indicators/sfg/dynamic_macd.hpp"
#include "indicators/sfg/knn.hpp"
#include "indicators/sfg/learned.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sfg = indicators::sfg;

namespace {

using Count = std::optional<std::uint64_t>;
using Real = std::optional<double>;

// None selects each parameter's default.
Result<sfg::Atr2Signals> atr2_signals(const Series& high, const Series& low, const Series& close,
                                      const Series& volume, Count trend_length, Real confirmation_threshold,
                                      Count momentum_window) {
    return sfg::atr2_signals(high, low, close, volume, trend_length.value_or(14), confirmation_threshold.value_or(2.0),
                             momentum_window.value_or(10));
}
Result<sfg::DynamicMacdSeries> dynamic_macd(const Series& open, const Series& high, const Series& low,
                                            const Series& close, Count fast_length, Count slow_length,
                                            Count signal_smooth) {
    return sfg::dynamic_macd(open, high, low, close, fast_length.value_or(12), slow_length.value_or(26),
                             signal_smooth.value_or(9));
}
Result<sfg::AiSuperTrendSeries> ai_supertrend(const Series& high, const Series& low, const Series& close, Count k,
                                              Count n, Count price_trend, Count predict_trend, Count st_length,
                                              Real st_multiplier) {
    return sfg::ai_supertrend(high, low, close, k.value_or(5), n.value_or(100), price_trend.value_or(10),
                              predict_trend.value_or(10), st_length.value_or(10), st_multiplier.value_or(3.0));
}
Result<sfg::AiMomentumSeries> ai_momentum_index(const Series& close, Count k, Count trend_length, Count smooth) {
    return sfg::ai_momentum_index(close, k.value_or(50), trend_length.value_or(14), smooth.value_or(3));
}
Result<sfg::Atr2MlSignals> atr2_signals_ml(const Series& high, const Series& low, const Series& close,
                                           const Series& volume, Count rsi_period, Count atr_period,
                                           Real ridge_alpha, Count momentum_window) {
    return sfg::atr2_signals_ml(high, low, close, volume, rsi_period.value_or(14), atr_period.value_or(14),
                                ridge_alpha.value_or(1.0), momentum_window.value_or(10));
}
Result<sfg::AiSuperTrendMlSignals> ai_supertrend_ml(const Series& high, const Series& low, const Series& close,
                                                    Count st_length, Real st_multiplier,
                                                    const std::optional<std::string>& model_type, Count lookback,
                                                    Count train_window) {
    return sfg::ai_supertrend_ml(high, low, close, st_length.value_or(10), st_multiplier.value_or(3.0),
                                 model_type ? std::string_view(*model_type) : std::string_view("linreg"),
                                 lookback.value_or(10), train_window.value_or(200));
}
Result<sfg::AiMomentumMlSignals> ai_momentum_index_ml(const Series& close, Count rsi_period, Count smooth_period,
                                                      std::optional<bool> use_polynomial, Count lookback,
                                                      Count train_window) {
    return sfg::ai_momentum_index_ml(close, rsi_period.value_or(14), smooth_period.value_or(3),
                                     use_polynomial.value_or(false), lookback.value_or(5),
                                     train_window.value_or(200));
}

}  // namespace

ENTRY(py_atr2_signals, atr2_signals)(
    "py_atr2_signals(high, low, close, volume, trend_length, confirmation_threshold, momentum_window)\n--\n\n",
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("trend_length"),
    arg_or_none("confirmation_threshold"), arg_or_none("momentum_window"));

ENTRY(py_dynamic_macd, dynamic_macd)(
    "py_dynamic_macd(open, high, low, close, fast_length, slow_length, signal_smooth)\n--\n\n",
    arg("open"), arg("high"), arg("low"), arg("close"), arg_or_none("fast_length"), arg_or_none("slow_length"),
    arg_or_none("signal_smooth"));

ENTRY(py_ai_supertrend, ai_supertrend)(
    "py_ai_supertrend(high, low, close, k, n, price_trend, predict_trend, st_length, st_multiplier)\n--\n\n",
    arg("high"), arg("low"), arg("close"), arg_or_none("k"), arg_or_none("n"), arg_or_none("price_trend"),
    arg_or_none("predict_trend"), arg_or_none("st_length"), arg_or_none("st_multiplier"));

ENTRY(py_ai_momentum_index, ai_momentum_index)(
    "py_ai_momentum_index(close, k, trend_length, smooth)\n--\n\n",
    arg("close"), arg_or_none("k"), arg_or_none("trend_length"), arg_or_none("smooth"));

ENTRY(py_atr2_signals_ml, atr2_signals_ml)(
    "py_atr2_signals_ml(high, low, close, volume, rsi_period, atr_period, ridge_alpha, momentum_window)\n--\n\n"
    "ATR2 信号 ML 增强版\n"
    "返回: (rsi, buy_signals, sell_signals, signal_strength, stop_loss, take_profit)",
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("rsi_period"), arg_or_none("atr_period"),
    arg_or_none("ridge_alpha"), arg_or_none("momentum_window"));

ENTRY(py_ai_supertrend_ml, ai_supertrend_ml)(
    "py_ai_supertrend_ml(high, low, close, st_length, st_multiplier, model_type, lookback, train_window)\n--\n\n"
    "AI SuperTrend ML 增强版\n"
    "返回: (supertrend, direction, buy_signals, sell_signals, stop_loss, take_profit)",
    arg("high"), arg("low"), arg("close"), arg_or_none("st_length"), arg_or_none("st_multiplier"),
    arg_or_none("model_type"), arg_or_none("lookback"), arg_or_none("train_window"));

ENTRY(py_ai_momentum_index_ml, ai_momentum_index_ml)(
    "py_ai_momentum_index_ml(close, rsi_period, smooth_period, use_polynomial, lookback, train_window)\n--\n\n"
    "AI Momentum Index ML 增强版\n"
    "返回: (rsi, predicted_momentum, zero_cross_buy, zero_cross_sell, overbought, oversold)",
    arg("close"), arg_or_none("rsi_period"), arg_or_none("smooth_period"), arg_or_none("use_polynomial"),
    arg_or_none("lookback"), arg_or_none("train_window"));


}  // namespace vorn::py::families
