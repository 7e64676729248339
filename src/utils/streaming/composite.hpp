#pragma once
// Streaming states built from the simpler ones: MACD from three EMA states and
// SuperTrend from the ATR state.
#include <cstdint>
#include <optional>
#include <tuple>

#include "utils/streaming/averages.hpp"
#include "utils/streaming/oscillators.hpp"

namespace vorn::utils::streaming {

struct MacdValue {
    double macd, signal, histogram;
    auto as_tuple() const { return std::tie(macd, signal, histogram); }
};

// The slow average sees an input only once the fast one is seeded, so the first value
// comes at update fast + slow + signal - 2.
class OnlineMACD {
public:
    static Result<OnlineMACD> create(std::uint64_t fast, std::uint64_t slow, std::uint64_t signal);

    // An update whose MACD line overflows is refused as a whole: no state sees it.
    Result<std::optional<MacdValue>> update(double value);
    void reset() noexcept;

private:
    OnlineMACD(OnlineEMA fast, OnlineEMA slow, OnlineEMA signal)
        : fast_(fast), slow_(slow), signal_(signal) {}

    OnlineEMA fast_;
    OnlineEMA slow_;
    OnlineEMA signal_;
};

struct SuperTrendValue {
    double value;
    int direction;  // +1 uptrend, -1 downtrend
    auto as_tuple() const { return std::tie(value, direction); }
};

// Trailing band at `multiplier` ATRs around the bar's midpoint, flipping sides when the
// close crosses it.
class OnlineSuperTrend {
public:
    static Result<OnlineSuperTrend> create(std::uint64_t period, double multiplier);

    Result<std::optional<SuperTrendValue>> update(double high, double low, double close);
    std::optional<SuperTrendValue> advance(double high, double low, double close) noexcept;
    void reset() noexcept;

    int current_trend() const noexcept { return direction_; }
    std::uint64_t period() const noexcept { return atr_.period(); }
    double multiplier() const noexcept { return multiplier_; }

private:
    OnlineSuperTrend(OnlineATR atr, double multiplier) : atr_(atr), multiplier_(multiplier) {}

    OnlineATR atr_;
    std::optional<double> upper_;
    std::optional<double> lower_;
    std::optional<double> value_;
    double multiplier_;
    std::int8_t direction_ = 0;
};

}  // namespace vorn::utils::streaming
