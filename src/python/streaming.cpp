// The streaming indicator classes: each Python object owns one state machine of
// utils::streaming and forwards to it. update/reset/force_recalculate take exclusive
// access, the queries shared access (the class helper enforces both).
#include "python/bind/klass.hpp"
#include "python/families.hpp"
#include "utils/streaming/averages.hpp"
#include "utils/streaming/composite.hpp"
#include "utils/streaming/oscillators.hpp"

namespace vorn::py::streaming_py {

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

std::uint64_t sma_len(const st::OnlineSMA& s) { return s.len(); }
bool sma_is_empty(const st::OnlineSMA& s) { return s.is_empty(); }
int supertrend_current_trend(const st::OnlineSuperTrend& s) { return s.current_trend(); }

// ---- classes ---------------------------------------------------------------------------

PyTypeObject* sma_class() {
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

PyTypeObject* ema_class() {
    using S = st::OnlineEMA;
    return ClassDef<S>("OnlineEMA", "OnlineEMA(period)\n--\n\n")
        .constructor<make_ema>(arg("period"))
        .method<"update", update1<S>>(kUpdate1, arg("value"))
        .method<"reset", reset<S>>(kReset)
        .method<"is_ready", is_ready<S>>(kIsReady)
        .create();
}

PyTypeObject* rsi_class() {
    using S = st::OnlineRSI;
    return ClassDef<S>("OnlineRSI", "OnlineRSI(period)\n--\n\n")
        .constructor<make_rsi>(arg("period"))
        .method<"update", update1<S>>(kUpdate1, arg("value"))
        .method<"reset", reset<S>>(kReset)
        .create();
}

PyTypeObject* atr_class() {
    using S = st::OnlineATR;
    return ClassDef<S>("OnlineATR", "OnlineATR(period)\n--\n\n")
        .constructor<make_atr>(arg("period"))
        .method<"update", update3<S>>(kUpdate3, arg("high"), arg("low"), arg("close"))
        .method<"reset", reset<S>>(kReset)
        .method<"is_ready", is_ready<S>>(kIsReady)
        .create();
}

PyTypeObject* macd_class() {
    using S = st::OnlineMACD;
    return ClassDef<S>("OnlineMACD", "OnlineMACD(fast=12, slow=26, signal=9)\n--\n\n")
        .constructor<make_macd>(omissible("fast", std::uint64_t{12}), omissible("slow", std::uint64_t{26}),
                                omissible("signal", std::uint64_t{9}))
        .method<"update", update1<S>>("update($self, value)\n--\n\nReturns (MACD, Signal, Histogram) or None if not ready",
                                      arg("value"))
        .method<"reset", reset<S>>(kReset)
        .create();
}

PyTypeObject* bollinger_class() {
    using S = st::OnlineBollingerBands;
    return ClassDef<S>("OnlineBollingerBands", "OnlineBollingerBands(period=20, std_dev=2.0)\n--\n\n")
        .constructor<make_bollinger>(omissible("period", std::uint64_t{20}), omissible("std_dev", 2.0))
        .method<"update", update1<S>>("update($self, value)\n--\n\nReturns (Upper, Middle, Lower) or None if not ready",
                                      arg("value"))
        .method<"reset", reset<S>>(kReset)
        .method<"force_recalculate", force_recalculate<S>>(kForce)
        .create();
}

PyTypeObject* stochastic_class() {
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

PyTypeObject* supertrend_class() {
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

}  // namespace

// Registration order is part of the module's interface (__all__ lists it).
bool register_streaming_classes(PyObject* module) {
    using Make = PyTypeObject* (*)();
    static constexpr Make classes[] = {sma_class,       ema_class,        rsi_class,       atr_class,
                                       macd_class,      bollinger_class,  stochastic_class, supertrend_class};
    for (Make make : classes)
        if (!add_class(module, make())) return false;
    return true;
}

}  // namespace vorn::py::streaming_py
