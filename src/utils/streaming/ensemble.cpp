#include "utils/streaming/ensemble.hpp"

#include <cmath>

#include "utils/constants.hpp"

namespace vorn::utils::streaming {

namespace {

// Raised to 0 if below it, then lowered to 1 if above it; a NaN passes through.
double clamp01(double x) {
    if (x < 0.0) x = 0.0;
    if (x > 1.0) x = 1.0;
    return x;
}

// Beyond overbought the RSI leans bearish, below oversold bullish; the thresholds
// themselves score 0.
double rsi_score(double rsi, double ob, double os) {
    if (rsi > ob) return -clamp01((rsi - ob) / (100.0 - ob));
    if (rsi < os) return clamp01((os - rsi) / os);
    return 0.0;
}

// The histogram relative to the MACD line's size (at least 1), when line and histogram agree.
double macd_score(const MacdValue& v) {
    const double size = std::fabs(v.macd);
    const double q = v.histogram / (size > 1.0 ? size : 1.0);
    if (v.macd > v.signal && v.histogram > 0.0) return q < 1.0 ? q : 1.0;
    if (v.macd < v.signal && v.histogram < 0.0) {
        const double m = q > -1.0 ? q : -1.0;
        return m > 0.0 ? 0.0 : m;
    }
    return 0.0;
}

// Both %K and %D must lie beyond a threshold.
double stochastic_score(const StochasticValue& v, double ob, double os) {
    if (v.k > ob && v.d > ob) return -clamp01(((v.k + v.d) - 2.0 * ob) / (200.0 - 2.0 * ob));
    if (v.k < os && v.d < os) return clamp01(((2.0 * os - v.k) - v.d) / (2.0 * os));
    return 0.0;
}

double agreement(const std::array<double, 4>& scores) {
    int positive = 0, negative = 0, active = 0;
    for (double x : scores) {
        positive += x > 0.0;
        negative += x < 0.0;
        active += std::fabs(x) >= 1e-10;
    }
    if (active == 0) return 0.0;
    return static_cast<double>(positive > negative ? positive : negative) / static_cast<double>(active);
}

}  // namespace

Result<OnlineEnsembleSignal> OnlineEnsembleSignal::create(const EnsembleParams& p) {
    const auto& w = p.weights;
    const double sum = ((w[0] + w[1]) + w[2]) + w[3];
    if (std::fabs(sum) < kDivisionGuard) return fail(VornError::invalid_value(0, "weights sum cannot be zero"));
    // Each state's own checks, in this order, are the remaining constructor checks.
    auto rsi = OnlineRSI::create(p.rsi_period);
    if (!rsi) return fail(rsi.error());
    auto macd = OnlineMACD::create(p.macd_fast, p.macd_slow, p.macd_signal);
    if (!macd) return fail(macd.error());
    // The stochastic state takes the room of its windows when it is made, so it is made
    // last: a window too long for memory must not hide the error of a later parameter.
    if (p.stoch_k == 0 || p.stoch_smooth == 0 || p.stoch_d == 0) return fail(zero_period());
    auto supertrend = OnlineSuperTrend::create(p.supertrend_period, p.supertrend_multiplier);
    if (!supertrend) return fail(supertrend.error());
    auto stochastic = OnlineStochastic::create(p.stoch_k, p.stoch_smooth, p.stoch_d);
    if (!stochastic) return fail(stochastic.error());
    return OnlineEnsembleSignal(*rsi, *macd, std::move(*stochastic), *supertrend, p, sum);
}

void OnlineEnsembleSignal::reset() noexcept {
    rsi_.reset();
    macd_.reset();
    stochastic_.reset();
    supertrend_.reset();
}

Result<std::optional<EnsembleSignalResult>> OnlineEnsembleSignal::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    // The MACD is the only state that can refuse a finite bar (an overflowing line), and it
    // refuses it whole; fed first, its refusal reaches no other state. The states are
    // independent, so the order in which they take the bar changes no value.
    const auto macd = macd_.update(close);
    if (!macd) return fail(macd.error());
    const auto rsi = rsi_.advance(close);
    const auto stochastic = stochastic_.advance(high, low, close);
    const auto trend = supertrend_.advance(high, low, close);
    if (!rsi || !*macd || !stochastic || !trend) return std::nullopt;

    const std::array<double, 4> scores{rsi_score(*rsi, overbought_, oversold_), macd_score(**macd),
                                       stochastic_score(*stochastic, overbought_, oversold_),
                                       static_cast<double>(trend->direction)};
    const auto& w = weights_;
    const double W = weight_sum_;
    const double r = scores[0] * w[0], m = scores[1] * w[1], s = scores[2] * w[2], t = scores[3] * w[3];
    return EnsembleSignalResult{(((r + m) + s) + t) / W, r / W, m / W, s / W, t / W, agreement(scores)};
}

}  // namespace vorn::utils::streaming
