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

void OnlineSuperTrend::reset() noexcept {
    atr_.reset();
    upper_.reset();
    lower_.reset();
    value_.reset();
    previous_close_.reset();
    direction_ = 0;
}

}  // namespace vorn::utils::streaming
