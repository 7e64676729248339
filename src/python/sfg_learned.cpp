// The learned-model signal systems.
#include "indicators/sfg/learned.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sfg = indicators::sfg;

ENTRY(py_atr2_signals_ml, sfg::atr2_signals_ml)(
    doc("ATR2 信号 ML 增强版\n返回: (rsi, buy_signals, sell_signals, signal_strength, stop_loss, take_profit)")
        .names_only(),
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("rsi_period", 14), arg_or_none("atr_period", 14),
    arg_or_none("ridge_alpha", 1.0), arg_or_none("momentum_window", 10));

ENTRY(py_ai_supertrend_ml, sfg::ai_supertrend_ml)(
    doc("AI SuperTrend ML 增强版\n返回: (supertrend, direction, buy_signals, sell_signals, stop_loss, take_profit)")
        .names_only(),
    arg("high"), arg("low"), arg("close"), arg_or_none("st_length", 10), arg_or_none("st_multiplier", 3.0),
    arg_or_none("model_type", "linreg"), arg_or_none("lookback", 10), arg_or_none("train_window", 200));

ENTRY(py_ai_momentum_index_ml, sfg::ai_momentum_index_ml)(
    doc("AI Momentum Index ML 增强版\n"
        "返回: (rsi, predicted_momentum, zero_cross_buy, zero_cross_sell, overbought, oversold)")
        .names_only(),
    arg("close"), arg_or_none("rsi_period", 14), arg_or_none("smooth_period", 3), arg_or_none("use_polynomial", false),
    arg_or_none("lookback", 5), arg_or_none("train_window", 200));

}  // namespace vorn::py::families
