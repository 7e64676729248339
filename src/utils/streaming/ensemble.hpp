#pragma once
// One weighted signal from four streaming indicators: RSI, MACD, stochastic and SuperTrend.
#include <array>
#include <cstdint>
#include <optional>
#include <utility>

#include "utils/streaming/composite.hpp"
#include "utils/streaming/oscillators.hpp"

namespace vorn::utils::streaming {

struct EnsembleSignalResult {
    double signal;  // weighted mean of the four scores, each in -1 (bearish) .. +1 (bullish)
    double rsi_contrib;
    double macd_contrib;
    double stoch_contrib;
    double trend_contrib;
    double confidence;  // share of the non-zero scores that agree with the majority sign
};

struct EnsembleParams {
    std::uint64_t rsi_period = 14;
    std::uint64_t macd_fast = 12, macd_slow = 26, macd_signal = 9;
    std::uint64_t stoch_k = 14, stoch_smooth = 3, stoch_d = 3;
    std::uint64_t supertrend_period = 10;
    double supertrend_multiplier = 3.0;
    std::array<double, 4> weights{1.0, 1.0, 1.0, 1.0};  // RSI, MACD, stochastic, trend
    double overbought = 70.0;
    double oversold = 30.0;
};

// Every bar feeds all four states; the first result comes once the last of them is ready.
class OnlineEnsembleSignal {
public:
    static Result<OnlineEnsembleSignal> create(const EnsembleParams& params);

    // A refused update (a non-finite bar, an overflowing MACD line) leaves all four states
    // as they were.
    Result<std::optional<EnsembleSignalResult>> update(double high, double low, double close);
    void reset() noexcept;

private:
    OnlineEnsembleSignal(OnlineRSI rsi, OnlineMACD macd, OnlineStochastic stochastic, OnlineSuperTrend supertrend,
                         const EnsembleParams& params, double weight_sum)
        : rsi_(rsi), macd_(macd), stochastic_(std::move(stochastic)), supertrend_(supertrend), weights_(params.weights),
          weight_sum_(weight_sum), overbought_(params.overbought), oversold_(params.oversold) {}

    OnlineRSI rsi_;
    OnlineMACD macd_;
    OnlineStochastic stochastic_;
    OnlineSuperTrend supertrend_;
    std::array<double, 4> weights_;
    double weight_sum_;  // ((w_rsi + w_macd) + w_stoch) + w_trend
    double overbought_;
    double oversold_;
};

}  // namespace vorn::utils::streaming
