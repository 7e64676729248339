#include "utils/streaming/adaptive.hpp"

#include <cmath>
#include <limits>

namespace vorn::utils::streaming {

Result<OnlineAdaptiveRSI> OnlineAdaptiveRSI::create(std::uint64_t min_period, std::uint64_t max_period,
                                                    std::uint64_t volatility_period) {
    if (min_period == 0) return fail(zero_period());
    if (max_period < min_period)
        return fail(VornError::out_of_range("max_period", static_cast<double>(max_period),
                                            static_cast<double>(min_period), std::numeric_limits<double>::infinity()));
    if (volatility_period == 0) return fail(zero_period());
    return OnlineAdaptiveRSI(min_period, max_period, volatility_period);
}

void OnlineAdaptiveRSI::reset() noexcept {
    previous_.reset();
    abs_changes_.clear();
    gains_.clear();
    losses_.clear();
}

std::uint64_t OnlineAdaptiveRSI::effective_period() const noexcept {
    const auto [sum, largest] = sum_and_max(abs_changes_);
    double ratio = 0.5;  // a window of zero changes
    if (!(std::fabs(largest) < 1e-10)) {
        ratio = (sum / static_cast<double>(volatility_period_)) / largest;
        if (ratio < 0.0) ratio = 0.0;
        if (ratio > 1.0) ratio = 1.0;
    }
    // std::round takes halves away from zero. An overflowed window (an infinite change)
    // gives a NaN ratio, which counts as no lengthening rather than an undefined conversion.
    const double lengthen = std::round(static_cast<double>(max_period_ - min_period_) * (1.0 - ratio));
    const std::uint64_t extra = saturating_count(lengthen);
    // Early on fewer gains than the chosen period are held (never fewer than min_period
    // once ready): average over what there is.
    const std::uint64_t held = gains_.size();
    return extra >= held - min_period_ ? held : min_period_ + extra;
}

double OnlineAdaptiveRSI::rsi_over(std::uint64_t p) const noexcept {
    // Newest first, gains and losses side by side: two independent compensated sums.
    Kahan g, l;
    const std::size_t n = gains_.size();
    for (std::size_t i = n; i > n - p; --i) {
        const double gain = gains_.at(i - 1);
        const double loss = losses_.at(i - 1);
        if (!std::isnan(gain)) g.add(gain);
        if (!std::isnan(loss)) l.add(loss);
    }
    const double pf = static_cast<double>(p);
    return rsi_from_averages(g.sum / pf, l.sum / pf);
}

}  // namespace vorn::utils::streaming
