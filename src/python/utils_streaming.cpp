// The streaming indicator classes: each Python object owns one state machine of
// utils::streaming and binds its members directly. update/reset/force_recalculate take
// exclusive access, the const queries shared access (the class helper enforces both).
#include "python/bind/klass.hpp"
#include "python/families.hpp"
#include "utils/streaming/adaptive.hpp"
#include "utils/streaming/averages.hpp"
#include "utils/streaming/composite.hpp"
#include "utils/streaming/ensemble.hpp"
#include "utils/streaming/ml_supertrend.hpp"
#include "utils/streaming/oscillators.hpp"

namespace vorn::py::families {

namespace st = vorn::utils::streaming;

namespace {

// The ensemble's twelve numbers travel as one record; None keeps the equal weights.
Result<st::OnlineEnsembleSignal> make_ensemble(std::uint64_t rsi_period, std::uint64_t macd_fast,
                                               std::uint64_t macd_slow, std::uint64_t macd_signal,
                                               std::uint64_t stoch_k, std::uint64_t stoch_smooth, std::uint64_t stoch_d,
                                               std::uint64_t supertrend_period, double supertrend_multiplier,
                                               std::optional<std::array<double, 4>> weights, double overbought,
                                               double oversold) {
    st::EnsembleParams p{.rsi_period = rsi_period,
                         .macd_fast = macd_fast,
                         .macd_slow = macd_slow,
                         .macd_signal = macd_signal,
                         .stoch_k = stoch_k,
                         .stoch_smooth = stoch_smooth,
                         .stoch_d = stoch_d,
                         .supertrend_period = supertrend_period,
                         .supertrend_multiplier = supertrend_multiplier,
                         .overbought = overbought,
                         .oversold = oversold};
    if (weights) p.weights = *weights;
    return st::OnlineEnsembleSignal::create(p);
}
// Python passes the multiplier second; create takes it last.
Result<st::OnlineAISuperTrendML> make_ai_supertrend(std::uint64_t st_length, double st_multiplier,
                                                    std::uint64_t lookback, std::uint64_t train_window) {
    return st::OnlineAISuperTrendML::create(st_length, lookback, train_window, st_multiplier);
}

}  // namespace

// ---- classes ---------------------------------------------------------------------------

PyTypeObject* online_sma_class() {
    using S = st::OnlineSMA;
    return ClassDef<S>("OnlineSMA", Doc{})
        .constructor<&S::create>(arg("period"))
        .method<"update", &S::update>(Doc{}, data_arg("value"))
        .method<"reset", &S::reset>(Doc{})
        .method<"len", &S::len>(Doc{})
        .method<"is_empty", &S::is_empty>(Doc{})
        .method<"force_recalculate", &S::force_recalculate>(Doc{})
        .create();
}

PyTypeObject* online_ema_class() {
    using S = st::OnlineEMA;
    return ClassDef<S>("OnlineEMA", Doc{})
        .constructor<&S::create>(arg("period"))
        .method<"update", &S::update>(Doc{}, data_arg("value"))
        .method<"reset", &S::reset>(Doc{})
        .method<"is_ready", &S::is_ready>(Doc{})
        .create();
}

PyTypeObject* online_rsi_class() {
    using S = st::OnlineRSI;
    return ClassDef<S>("OnlineRSI", Doc{})
        .constructor<&S::create>(arg("period"))
        .method<"update", &S::update>(Doc{}, data_arg("value"))
        .method<"reset", &S::reset>(Doc{})
        .create();
}

PyTypeObject* online_atr_class() {
    using S = st::OnlineATR;
    return ClassDef<S>("OnlineATR", Doc{})
        .constructor<&S::create>(arg("period"))
        .method<"update", &S::update>(Doc{}, data_arg("high"), data_arg("low"), data_arg("close"))
        .method<"reset", &S::reset>(Doc{})
        .method<"is_ready", &S::is_ready>(Doc{})
        .create();
}

PyTypeObject* online_macd_class() {
    using S = st::OnlineMACD;
    return ClassDef<S>("OnlineMACD", Doc{})
        .constructor<&S::create>(omissible("fast", 12), omissible("slow", 26), omissible("signal", 9))
        .method<"update", &S::update>(doc("Returns (MACD, Signal, Histogram) or None if not ready"), data_arg("value"))
        .method<"reset", &S::reset>(Doc{})
        .create();
}

PyTypeObject* online_bollinger_class() {
    using S = st::OnlineBollingerBands;
    return ClassDef<S>("OnlineBollingerBands", Doc{})
        .constructor<&S::create>(omissible("period", 20), omissible("std_dev", 2.0))
        .method<"update", &S::update>(doc("Returns (Upper, Middle, Lower) or None if not ready"), data_arg("value"))
        .method<"reset", &S::reset>(Doc{})
        .method<"force_recalculate", &S::force_recalculate>(Doc{})
        .create();
}

PyTypeObject* online_stochastic_class() {
    using S = st::OnlineStochastic;
    return ClassDef<S>("OnlineStochastic", Doc{})
        .constructor<&S::create>(omissible("k_period", 14), omissible("smooth_k", 3), omissible("d_period", 3))
        .method<"update", &S::update>(doc("Returns (%K, %D) or None if not ready"), data_arg("high"), data_arg("low"),
                                      data_arg("close"))
        .method<"reset", &S::reset>(Doc{})
        .create();
}

PyTypeObject* online_supertrend_class() {
    using S = st::OnlineSuperTrend;
    return ClassDef<S>("OnlineSuperTrend", Doc{})
        .constructor<&S::create>(omissible("period", 10), omissible("multiplier", 3.0))
        .method<"update", &S::update>(doc("Returns (supertrend_value, trend_direction) or None if not ready\n"
                                          "trend_direction: 1 = uptrend, -1 = downtrend"),
                                      data_arg("high"), data_arg("low"), data_arg("close"))
        .method<"reset", &S::reset>(Doc{})
        .method<"current_trend", &S::current_trend>(Doc{})
        .create();
}

PyTypeObject* online_adaptive_rsi_class() {
    using S = st::OnlineAdaptiveRSI;
    return ClassDef<S>("OnlineAdaptiveRSI", Doc{})
        .constructor<&S::create>(omissible("min_period", 7), omissible("max_period", 21),
                                 omissible("volatility_period", 14))
        .method<"update", &S::update>(doc("Returns (adaptive_rsi, effective_period) or None if not ready"),
                                      data_arg("value"))
        .method<"reset", &S::reset>(Doc{})
        .create();
}

PyTypeObject* online_ensemble_class() {
    using S = st::OnlineEnsembleSignal;
    return ClassDef<S>("OnlineEnsembleSignal", Doc{})
        .constructor<make_ensemble>(omissible("rsi_period", 14), omissible("macd_fast", 12), omissible("macd_slow", 26),
                                    omissible("macd_signal", 9), omissible("stoch_k", 14), omissible("stoch_smooth", 3),
                                    omissible("stoch_d", 3), omissible("supertrend_period", 10),
                                    omissible("supertrend_multiplier", 3.0), omissible_or_none("weights"),
                                    omissible("overbought", 70.0), omissible("oversold", 30.0))
        .method<"update", &S::update>(doc("Returns EnsembleSignalResult or None if not ready"), data_arg("high"),
                                      data_arg("low"), data_arg("close"))
        .method<"reset", &S::reset>(Doc{})
        .with_defaults(Doc{})
        .create();
}

PyTypeObject* ensemble_result_class() {
    using R = st::EnsembleSignalResult;
    return ClassDef<R>("EnsembleSignalResult", nullptr)
        .property<"signal", &R::signal>()
        .property<"rsi_contrib", &R::rsi_contrib>()
        .property<"macd_contrib", &R::macd_contrib>()
        .property<"stoch_contrib", &R::stoch_contrib>()
        .property<"trend_contrib", &R::trend_contrib>()
        .property<"confidence", &R::confidence>()
        .create();
}

PyTypeObject* online_ml_supertrend_class() {
    using S = st::OnlineMLSuperTrend;
    return ClassDef<S>("OnlineMLSuperTrend", Doc{})
        .constructor<&S::create>(omissible("period", 10), omissible("base_multiplier", 3.0),
                                 omissible("confirmation_bars", 2), omissible("volatility_period", 20))
        .method<"update", &S::update>(doc("Returns MLSuperTrendResult or None if not ready"), data_arg("high"),
                                      data_arg("low"), data_arg("close"))
        .method<"reset", &S::reset>(Doc{})
        .method<"confirmed_trend", &S::confirmed_trend>(Doc{})
        .with_defaults(Doc{})
        .create();
}

PyTypeObject* ml_supertrend_result_class() {
    using R = st::MLSuperTrendResult;
    return ClassDef<R>("MLSuperTrendResult", nullptr)
        .property<"value", &R::value>()
        .property<"confirmed_trend", &R::confirmed_trend>()
        .property<"raw_trend", &R::raw_trend>()
        .property<"confidence", &R::confidence>()
        .property<"effective_multiplier", &R::effective_multiplier>()
        .create();
}

PyTypeObject* online_ai_supertrend_class() {
    using S = st::OnlineAISuperTrendML;
    return ClassDef<S>("OnlineAISuperTrendML", Doc{})
        .constructor<make_ai_supertrend>(omissible("st_length", 10), omissible("st_multiplier", 3.0),
                                         omissible("lookback", 10), omissible("train_window", 200))
        .method<"update", &S::update>(doc("更新并返回结果，预热期返回 None"), data_arg("high"), data_arg("low"),
                                      data_arg("close"))
        .method<"reset", &S::reset>(Doc{})
        .method<"is_ready", &S::is_ready>(Doc{})
        .method<"direction", &S::direction>(Doc{})
        .method<"update_count", &S::update_count>(Doc{})
        .with_defaults(Doc{})
        .create();
}

PyTypeObject* ai_supertrend_result_class() {
    using R = st::AISuperTrendMLResult;
    return ClassDef<R>("AISuperTrendMLResult", nullptr)
        .property<"supertrend", &R::supertrend>()
        .property<"direction", &R::direction>()
        .property<"trend_offset", &R::trend_offset>()
        .property<"buy_signal", &R::buy_signal>()
        .property<"sell_signal", &R::sell_signal>()
        .property<"stop_loss", &R::stop_loss>()
        .property<"take_profit", &R::take_profit>()
        .create();
}

}  // namespace vorn::py::families
