#include "utils/streaming/composite.hpp"

#include <limits>

namespace vorn::utils::streaming {

// ---- OnlineMACD ------------------------------------------------------------------------

Result<OnlineMACD> OnlineMACD::create(std::uint64_t fast, std::uint64_t slow, std::uint64_t signal) {
    // Zeros are refused before the order of fast and slow is looked at.
    if (fast == 0 || slow == 0 || signal == 0) return fail(zero_period());
    if (slow <= fast)
        return fail(VornError::out_of_range("slow", static_cast<double>(slow), static_cast<double>(fast) + 1.0,
                                            std::numeric_limits<double>::infinity()));
    auto f = OnlineEMA::create(fast);
    auto s = OnlineEMA::create(slow);
    auto g = OnlineEMA::create(signal);
    if (!f) return fail(f.error());
    if (!s) return fail(s.error());
    if (!g) return fail(g.error());
    return OnlineMACD(*f, *s, *g);
}

Result<std::optional<MacdValue>> OnlineMACD::update(double x) {
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

void OnlineMACD::reset() noexcept {
    fast_.reset();
    slow_.reset();
    signal_.reset();
}

// ---- OnlineSuperTrend ------------------------------------------------------------------

Result<OnlineSuperTrend> OnlineSuperTrend::create(std::uint64_t period, double multiplier) {
    if (period == 0) return fail(zero_period());
    if (is_non_finite(multiplier) || !(multiplier > 0.0))
        return fail(VornError::out_of_range("multiplier", multiplier, 0.0, std::numeric_limits<double>::infinity()));
    auto atr = OnlineATR::create(period);
    if (!atr) return fail(atr.error());
    return OnlineSuperTrend(*atr, multiplier);
}

Result<std::optional<SuperTrendValue>> OnlineSuperTrend::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    return advance(high, low, close);
}

std::optional<SuperTrendValue> OnlineSuperTrend::advance(double high, double low, double close) noexcept {
    const auto atr = atr_.advance(high, low, close);
    if (!atr) return std::nullopt;

    const double hl2 = (high + low) * 0.5;
    const double band = *atr * multiplier_;
    const double basic_upper = hl2 + band;
    const double basic_lower = hl2 - band;

    // The bands trail: each keeps its previous level unless the new basic band tightens
    // it or this bar's close has crossed it.
    double upper = basic_upper;
    if (upper_) {
        const double pu = *upper_;
        upper = (basic_upper < pu || pu < close) ? basic_upper : pu;
    }
    double lower = basic_lower;
    if (lower_) {
        const double pl = *lower_;
        lower = (basic_lower > pl || close < pl) ? basic_lower : pl;
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
    value_ = up ? lower : upper;
    direction_ = up ? 1 : -1;
    return SuperTrendValue{*value_, direction_};
}

void OnlineSuperTrend::reset() noexcept {
    atr_.reset();
    upper_.reset();
    lower_.reset();
    value_.reset();
    direction_ = 0;
}

}  // namespace vorn::utils::streaming
