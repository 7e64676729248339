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
    // The last bar's final bands and value, for the states that build on this one.
    std::optional<double> upper() const noexcept { return upper_; }
    std::optional<double> lower() const noexcept { return lower_; }
    std::optional<double> value() const noexcept { return value_; }
    std::optional<double> atr() const noexcept { return atr_.value(); }
    std::uint64_t period() const noexcept { return atr_.period(); }
    double multiplier() const noexcept { return multiplier_; }

private:
    OnlineSuperTrend(OnlineATR atr, double multiplier) : atr_(atr), multiplier_(multiplier) {}

    OnlineATR atr_;
    std::optional<double> upper_;
    std::optional<double> lower_;
    std::optional<double> value_;
    std::optional<double> previous_close_;  // close of the last bar that set the bands
    double multiplier_;
    std::int8_t direction_ = 0;
};

// The accepted path of a tick is inline: it runs inside the Python method's trampoline.

inline Result<std::optional<MacdValue>> OnlineMACD::update(double x) {
    if (is_non_finite(x)) return fail(value_not_finite());
    // The averages advance on copies and are committed only once the call cannot fail,
    // so that a refused update leaves every average as it was.
    OnlineEMA fast = fast_;
    const auto f = fast.advance(x);
    if (!f) {
        fast_ = fast;
        return std::nullopt;
    }
    OnlineEMA slow = slow_;
    const auto s = slow.advance(x);
    if (!s) {
        fast_ = fast;
        slow_ = slow;
        return std::nullopt;
    }
    const double macd = *f - *s;
    if (is_non_finite(macd)) return fail(value_not_finite());
    fast_ = fast;
    slow_ = slow;
    const auto sig = signal_.advance(macd);
    if (!sig) return std::nullopt;
    return MacdValue{macd, *sig, macd - *sig};
}

inline Result<std::optional<SuperTrendValue>> OnlineSuperTrend::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    return advance(high, low, close);
}

inline std::optional<SuperTrendValue> OnlineSuperTrend::advance(double high, double low, double close) noexcept {
    const auto atr = atr_.advance(high, low, close);
    if (!atr) return std::nullopt;

    const double hl2 = (high + low) * 0.5;
    const double band = *atr * multiplier_;
    const double basic_upper = hl2 + band;
    const double basic_lower = hl2 - band;

    // The bands trail: each keeps its previous level unless the new basic band tightens
    // it or the previous close broke through it. Testing this bar's close instead would
    // reset a broken band before the switch test below, so the trend could never flip.
    double upper = basic_upper;
    if (upper_) {
        const double pu = *upper_;
        upper = (basic_upper < pu || *previous_close_ > pu) ? basic_upper : pu;
    }
    double lower = basic_lower;
    if (lower_) {
        const double pl = *lower_;
        lower = (basic_lower > pl || *previous_close_ < pl) ? basic_lower : pl;
    }

    bool up;
    if (!value_)
        up = close > hl2;
    else if (*value_ == *upper_)  // the last bar sat on its upper band: a downtrend
        up = close > upper;
    else
        up = !(close < lower);

    upper_ = upper;
    lower_ = lower;
    previous_close_ = close;
    value_ = up ? lower : upper;
    direction_ = up ? 1 : -1;
    return SuperTrendValue{*value_, direction_};
}

}  // namespace vorn::utils::streaming
