#pragma once
// SuperTrend states that turn each bar's trend into more than a direction: a confirmed
// trend with a confidence score (OnlineMLSuperTrend), and entry signals with stop and
// target levels and a slope of the recent closes (OnlineAISuperTrendML). Neither learns
// a model: every output follows from fixed rules.
#include <cstdint>
#include <optional>

#include "utils/streaming/composite.hpp"
#include "utils/streaming/oscillators.hpp"
#include "utils/streaming/ring.hpp"

namespace vorn::utils::streaming {

struct MLSuperTrendResult {
    double value;
    int confirmed_trend;  // +1, -1, or 0 while no direction is confirmed
    int raw_trend;        // this bar's SuperTrend direction
    double confidence;
    double effective_multiplier;
};

// A new direction becomes the confirmed trend once it has held for confirmation_bars
// consecutive bars, and never on the bar it first appears. The effective multiplier is
// reported only: the embedded SuperTrend always uses base_multiplier.
class OnlineMLSuperTrend {
public:
    static Result<OnlineMLSuperTrend> create(std::uint64_t period, double base_multiplier,
                                             std::uint64_t confirmation_bars, std::uint64_t volatility_period);

    Result<std::optional<MLSuperTrendResult>> update(double high, double low, double close);
    void reset() noexcept;

    int confirmed_trend() const noexcept { return confirmed_; }

private:
    struct Pending {
        std::int8_t trend;
        std::uint64_t count;  // consecutive bars it has been seen
    };

    OnlineMLSuperTrend(OnlineSuperTrend supertrend, std::uint64_t confirmation_bars, std::uint64_t volatility_period,
                       double base_multiplier)
        : supertrend_(supertrend), ranges_(volatility_period), confirmation_bars_(confirmation_bars),
          volatility_period_(volatility_period), base_multiplier_(base_multiplier) {}

    double confirm(std::int8_t raw) noexcept;  // returns the progress score

    OnlineSuperTrend supertrend_;
    RingBuffer ranges_;  // high - low of the latest bars, warm-up bars included
    std::optional<Pending> pending_;
    std::uint64_t confirmation_bars_;
    std::uint64_t volatility_period_;
    double base_multiplier_;
    std::int8_t confirmed_ = 0;
};

struct AISuperTrendMLResult {
    double supertrend;
    int direction;
    double trend_offset;  // least-squares slope of the latest closes, or 0.0
    bool buy_signal;
    bool sell_signal;
    double stop_loss;
    double take_profit;
};

// A second ATR, fed only from the SuperTrend's first value on, sets the stop (two ATRs)
// and the target (three ATRs); the first result therefore comes at update 2 * st_length + 1.
class OnlineAISuperTrendML {
public:
    static Result<OnlineAISuperTrendML> create(std::uint64_t st_length, std::uint64_t lookback,
                                               std::uint64_t train_window, double st_multiplier);

    Result<std::optional<AISuperTrendMLResult>> update(double high, double low, double close);
    void reset() noexcept;

    // Slope of the newest lookback closes against their position; 0.0 while fewer than
    // lookback + 2 closes are held.
    double compute_trend_offset() const noexcept;

    bool is_ready() const noexcept { return closes_.size() >= offset_from_; }
    int direction() const noexcept { return last_direction_; }
    std::uint64_t update_count() const noexcept { return update_count_; }

private:
    OnlineAISuperTrendML(OnlineSuperTrend supertrend, OnlineATR atr, std::uint64_t lookback,
                         std::uint64_t train_window)
        : supertrend_(supertrend), atr_(atr), closes_(train_window), lookback_(lookback),
          offset_from_(lookback + 10) {}

    OnlineSuperTrend supertrend_;
    OnlineATR atr_;
    RingBuffer closes_;  // closes of the bars that produced a result
    std::uint64_t lookback_;
    std::uint64_t offset_from_;  // closes held before the slope is computed: lookback + 10
    std::uint64_t update_count_ = 0;
    std::int8_t last_direction_ = 0;
};

}  // namespace vorn::utils::streaming
