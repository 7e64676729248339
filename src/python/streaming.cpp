// The streaming indicator classes: each Python object owns one state machine of
// utils::streaming and forwards to it. update/reset/force_recalculate take exclusive
// access, the queries shared access (the class helper enforces both).
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

// ---- adapters shared by the classes ----------------------------------------------------

template <class S>
auto update1(S& s, double value) {
    return s.update(value);
}
template <class S>
auto update3(S& s, double high, double low, double close) {
    return s.update(high, low, close);
}
template <class S>
void reset(S& s) {
    s.reset();
}
template <class S>
void force_recalculate(S& s) {
    s.force_recalculate();
}
template <class S>
bool is_ready(const S& s) {
    return s.is_ready();
}

constexpr const char* kUpdate1 = "update($self, value)\n--\n\n";
constexpr const char* kUpdate3 = "update($self, high, low, close)\n--\n\n";
constexpr const char* kReset = "reset($self)\n--\n\n";
constexpr const char* kIsReady = "is_ready($self)\n--\n\n";
constexpr const char* kForce = "force_recalculate($self)\n--\n\n";

// ---- constructors and class-specific queries -------------------------------------------

Result<st::OnlineSMA> make_sma(std::uint64_t period) { return st::OnlineSMA::create(period); }
Result<st::OnlineEMA> make_ema(std::uint64_t period) { return st::OnlineEMA::create(period); }
Result<st::OnlineRSI> make_rsi(std::uint64_t period) { return st::OnlineRSI::create(period); }
Result<st::OnlineATR> make_atr(std::uint64_t period) { return st::OnlineATR::create(period); }
Result<st::OnlineMACD> make_macd(std::uint64_t fast, std::uint64_t slow, std::uint64_t signal) {
    return st::OnlineMACD::create(fast, slow, signal);
}
Result<st::OnlineBollingerBands> make_bollinger(std::uint64_t period, double std_dev) {
    return st::OnlineBollingerBands::create(period, std_dev);
}
Result<st::OnlineStochastic> make_stochastic(std::uint64_t k_period, std::uint64_t smooth_k, std::uint64_t d_period) {
    return st::OnlineStochastic::create(k_period, smooth_k, d_period);
}
Result<st::OnlineSuperTrend> make_supertrend(std::uint64_t period, double multiplier) {
    return st::OnlineSuperTrend::create(period, multiplier);
}

Result<st::OnlineAdaptiveRSI> make_adaptive_rsi(std::uint64_t min_period, std::uint64_t max_period,
                                                std::uint64_t volatility_period) {
    return st::OnlineAdaptiveRSI::create(min_period, max_period, volatility_period);
}
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
    if (weights) p.weights = *weights;  // None keeps the equal weights
    return st::OnlineEnsembleSignal::create(p);
}
Result<st::OnlineEnsembleSignal> ensemble_with_defaults() { return st::OnlineEnsembleSignal::create({}); }
Result<st::OnlineMLSuperTrend> make_ml_supertrend(std::uint64_t period, double base_multiplier,
                                                  std::uint64_t confirmation_bars, std::uint64_t volatility_period) {
    return st::OnlineMLSuperTrend::create(period, base_multiplier, confirmation_bars, volatility_period);
}
Result<st::OnlineMLSuperTrend> ml_supertrend_with_defaults() { return make_ml_supertrend(10, 3.0, 2, 20); }
Result<st::OnlineAISuperTrendML> make_ai_supertrend(std::uint64_t st_length, double st_multiplier,
                                                    std::uint64_t lookback, std::uint64_t train_window) {
    return st::OnlineAISuperTrendML::create(st_length, lookback, train_window, st_multiplier);
}
Result<st::OnlineAISuperTrendML> ai_supertrend_with_defaults() { return make_ai_supertrend(10, 3.0, 10, 200); }

std::uint64_t sma_len(const st::OnlineSMA& s) { return s.len(); }
bool sma_is_empty(const st::OnlineSMA& s) { return s.is_empty(); }
int supertrend_current_trend(const st::OnlineSuperTrend& s) { return s.current_trend(); }
int ml_confirmed_trend(const st::OnlineMLSuperTrend& s) { return s.confirmed_trend(); }
int ai_direction(const st::OnlineAISuperTrendML& s) { return s.direction(); }
std::uint64_t ai_update_count(const st::OnlineAISuperTrendML& s) { return s.update_count(); }

// A result record's read-only attribute.
template <auto Member>
struct Field;
template <class R, class V, V R::*Member>
struct Field<Member> {
    static V get(const R& r) { return r.*Member; }
};

constexpr const char* kWithDefaults = "with_defaults()\n--\n\n";

}  // namespace

// ---- classes ---------------------------------------------------------------------------

PyTypeObject* online_sma_class() {
    using S = st::OnlineSMA;
    return ClassDef<S>("OnlineSMA", "OnlineSMA(period)\n--\n\n")
        .constructor<make_sma>(arg("period"))
        .method<"update", update1<S>>(kUpdate1, arg("value"))
        .method<"reset", reset<S>>(kReset)
        .method<"len", sma_len>("len($self)\n--\n\n")
        .method<"is_empty", sma_is_empty>("is_empty($self)\n--\n\n")
        .method<"force_recalculate", force_recalculate<S>>(kForce)
        .create();
}

PyTypeObject* online_ema_class() {
    using S = st::OnlineEMA;
    return ClassDef<S>("OnlineEMA", "OnlineEMA(period)\n--\n\n")
        .constructor<make_ema>(arg("period"))
        .method<"update", update1<S>>(kUpdate1, arg("value"))
        .method<"reset", reset<S>>(kReset)
        .method<"is_ready", is_ready<S>>(kIsReady)
        .create();
}

PyTypeObject* online_rsi_class() {
    using S = st::OnlineRSI;
    return ClassDef<S>("OnlineRSI", "OnlineRSI(period)\n--\n\n")
        .constructor<make_rsi>(arg("period"))
        .method<"update", update1<S>>(kUpdate1, arg("value"))
        .method<"reset", reset<S>>(kReset)
        .create();
}

PyTypeObject* online_atr_class() {
    using S = st::OnlineATR;
    return ClassDef<S>("OnlineATR", "OnlineATR(period)\n--\n\n")
        .constructor<make_atr>(arg("period"))
        .method<"update", update3<S>>(kUpdate3, arg("high"), arg("low"), arg("close"))
        .method<"reset", reset<S>>(kReset)
        .method<"is_ready", is_ready<S>>(kIsReady)
        .create();
}

PyTypeObject* online_macd_class() {
    using S = st::OnlineMACD;
    return ClassDef<S>("OnlineMACD", "OnlineMACD(fast=12, slow=26, signal=9)\n--\n\n")
        .constructor<make_macd>(omissible("fast", std::uint64_t{12}), omissible("slow", std::uint64_t{26}),
                                omissible("signal", std::uint64_t{9}))
        .method<"update", update1<S>>("update($self, value)\n--\n\nReturns (MACD, Signal, Histogram) or None if not ready",
                                      arg("value"))
        .method<"reset", reset<S>>(kReset)
        .create();
}

PyTypeObject* online_bollinger_class() {
    using S = st::OnlineBollingerBands;
    return ClassDef<S>("OnlineBollingerBands", "OnlineBollingerBands(period=20, std_dev=2.0)\n--\n\n")
        .constructor<make_bollinger>(omissible("period", std::uint64_t{20}), omissible("std_dev", 2.0))
        .method<"update", update1<S>>("update($self, value)\n--\n\nReturns (Upper, Middle, Lower) or None if not ready",
                                      arg("value"))
        .method<"reset", reset<S>>(kReset)
        .method<"force_recalculate", force_recalculate<S>>(kForce)
        .create();
}

PyTypeObject* online_stochastic_class() {
    using S = st::OnlineStochastic;
    return ClassDef<S>("OnlineStochastic", "OnlineStochastic(k_period=14, smooth_k=3, d_period=3)\n--\n\n")
        .constructor<make_stochastic>(omissible("k_period", std::uint64_t{14}), omissible("smooth_k", std::uint64_t{3}),
                                      omissible("d_period", std::uint64_t{3}))
        .method<"update", update3<S>>(
            "update($self, high, low, close)\n--\n\nReturns (%K, %D) or None if not ready", arg("high"), arg("low"),
            arg("close"))
        .method<"reset", reset<S>>(kReset)
        .create();
}

PyTypeObject* online_supertrend_class() {
    using S = st::OnlineSuperTrend;
    return ClassDef<S>("OnlineSuperTrend", "OnlineSuperTrend(period=10, multiplier=3.0)\n--\n\n")
        .constructor<make_supertrend>(omissible("period", std::uint64_t{10}), omissible("multiplier", 3.0))
        .method<"update", update3<S>>("update($self, high, low, close)\n--\n\n"
                                      "Returns (supertrend_value, trend_direction) or None if not ready\n"
                                      "trend_direction: 1 = uptrend, -1 = downtrend",
                                      arg("high"), arg("low"), arg("close"))
        .method<"reset", reset<S>>(kReset)
        .method<"current_trend", supertrend_current_trend>("current_trend($self)\n--\n\n")
        .create();
}

PyTypeObject* online_adaptive_rsi_class() {
    using S = st::OnlineAdaptiveRSI;
    return ClassDef<S>("OnlineAdaptiveRSI", "OnlineAdaptiveRSI(min_period=7, max_period=21, volatility_period=14)\n--\n\n")
        .constructor<make_adaptive_rsi>(omissible("min_period", std::uint64_t{7}),
                                        omissible("max_period", std::uint64_t{21}),
                                        omissible("volatility_period", std::uint64_t{14}))
        .method<"update", update1<S>>(
            "update($self, value)\n--\n\nReturns (adaptive_rsi, effective_period) or None if not ready", arg("value"))
        .method<"reset", reset<S>>(kReset)
        .create();
}

PyTypeObject* online_ensemble_class() {
    using S = st::OnlineEnsembleSignal;
    return ClassDef<S>("OnlineEnsembleSignal",
                       "OnlineEnsembleSignal(rsi_period=14, macd_fast=12, macd_slow=26, macd_signal=9, stoch_k=14, "
                       "stoch_smooth=3, stoch_d=3, supertrend_period=10, supertrend_multiplier=3.0, weights=None, "
                       "overbought=70.0, oversold=30.0)\n--\n\n")
        .constructor<make_ensemble>(
            omissible("rsi_period", std::uint64_t{14}), omissible("macd_fast", std::uint64_t{12}),
            omissible("macd_slow", std::uint64_t{26}), omissible("macd_signal", std::uint64_t{9}),
            omissible("stoch_k", std::uint64_t{14}), omissible("stoch_smooth", std::uint64_t{3}),
            omissible("stoch_d", std::uint64_t{3}), omissible("supertrend_period", std::uint64_t{10}),
            omissible("supertrend_multiplier", 3.0), omissible_or_none("weights"), omissible("overbought", 70.0),
            omissible("oversold", 30.0))
        .method<"update", update3<S>>(
            "update($self, high, low, close)\n--\n\nReturns EnsembleSignalResult or None if not ready", arg("high"),
            arg("low"), arg("close"))
        .method<"reset", reset<S>>(kReset)
        .method<"with_defaults", ensemble_with_defaults>(kWithDefaults)
        .create();
}

PyTypeObject* ensemble_result_class() {
    using R = st::EnsembleSignalResult;
    return ClassDef<R>("EnsembleSignalResult", nullptr)
        .property<"signal", Field<&R::signal>::get>()
        .property<"rsi_contrib", Field<&R::rsi_contrib>::get>()
        .property<"macd_contrib", Field<&R::macd_contrib>::get>()
        .property<"stoch_contrib", Field<&R::stoch_contrib>::get>()
        .property<"trend_contrib", Field<&R::trend_contrib>::get>()
        .property<"confidence", Field<&R::confidence>::get>()
        .create();
}

PyTypeObject* online_ml_supertrend_class() {
    using S = st::OnlineMLSuperTrend;
    return ClassDef<S>("OnlineMLSuperTrend",
                       "OnlineMLSuperTrend(period=10, base_multiplier=3.0, confirmation_bars=2, volatility_period=20)"
                       "\n--\n\n")
        .constructor<make_ml_supertrend>(omissible("period", std::uint64_t{10}), omissible("base_multiplier", 3.0),
                                         omissible("confirmation_bars", std::uint64_t{2}),
                                         omissible("volatility_period", std::uint64_t{20}))
        .method<"update", update3<S>>(
            "update($self, high, low, close)\n--\n\nReturns MLSuperTrendResult or None if not ready", arg("high"),
            arg("low"), arg("close"))
        .method<"reset", reset<S>>(kReset)
        .method<"confirmed_trend", ml_confirmed_trend>("confirmed_trend($self)\n--\n\n")
        .method<"with_defaults", ml_supertrend_with_defaults>(kWithDefaults)
        .create();
}

PyTypeObject* ml_supertrend_result_class() {
    using R = st::MLSuperTrendResult;
    return ClassDef<R>("MLSuperTrendResult", nullptr)
        .property<"value", Field<&R::value>::get>()
        .property<"confirmed_trend", Field<&R::confirmed_trend>::get>()
        .property<"raw_trend", Field<&R::raw_trend>::get>()
        .property<"confidence", Field<&R::confidence>::get>()
        .property<"effective_multiplier", Field<&R::effective_multiplier>::get>()
        .create();
}

PyTypeObject* online_ai_supertrend_class() {
    using S = st::OnlineAISuperTrendML;
    return ClassDef<S>("OnlineAISuperTrendML",
                       "OnlineAISuperTrendML(st_length=10, st_multiplier=3.0, lookback=10, train_window=200)\n--\n\n")
        .constructor<make_ai_supertrend>(omissible("st_length", std::uint64_t{10}), omissible("st_multiplier", 3.0),
                                         omissible("lookback", std::uint64_t{10}),
                                         omissible("train_window", std::uint64_t{200}))
        .method<"update", update3<S>>(
            "update($self, high, low, close)\n--\n\n更新并返回结果，预热期返回 None", arg("high"), arg("low"),
            arg("close"))
        .method<"reset", reset<S>>(kReset)
        .method<"is_ready", is_ready<S>>(kIsReady)
        .method<"direction", ai_direction>("direction($self)\n--\n\n")
        .method<"update_count", ai_update_count>("update_count($self)\n--\n\n")
        .method<"with_defaults", ai_supertrend_with_defaults>(kWithDefaults)
        .create();
}

PyTypeObject* ai_supertrend_result_class() {
    using R = st::AISuperTrendMLResult;
    return ClassDef<R>("AISuperTrendMLResult", nullptr)
        .property<"supertrend", Field<&R::supertrend>::get>()
        .property<"direction", Field<&R::direction>::get>()
        .property<"trend_offset", Field<&R::trend_offset>::get>()
        .property<"buy_signal", Field<&R::buy_signal>::get>()
        .property<"sell_signal", Field<&R::sell_signal>::get>()
        .property<"stop_loss", Field<&R::stop_loss>::get>()
        .property<"take_profit", Field<&R::take_profit>::get>()
        .create();
}

}  // namespace vorn::py::families
