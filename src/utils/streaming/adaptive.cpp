#include "utils/streaming/adaptive.hpp"

#include <cmath>
#include <limits>

#include "utils/constants.hpp"

namespace vorn::utils::streaming {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Windows up to this length keep the second-order terms of the summation error bounds
// negligible.
constexpr std::size_t kBoundedWindow = std::size_t{1} << 20;

}  // namespace

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

std::uint64_t OnlineAdaptiveRSI::period_for(double sum, double largest) const noexcept {
    double ratio = 0.5;  // a window of zero changes
    if (!(std::fabs(largest) < kDivisionGuard)) {
        ratio = (sum / static_cast<double>(volatility_period_)) / largest;
        if (ratio < 0.0) ratio = 0.0;
        if (ratio > 1.0) ratio = 1.0;
    }
    // An overflowed window (an infinite change) gives a NaN ratio, which counts as no
    // lengthening.
    const std::uint64_t extra = nearest_count(static_cast<double>(max_period_ - min_period_) * (1.0 - ratio));
    // Early on fewer gains than the chosen period are held (never fewer than min_period
    // once ready): average over what there is.
    const std::uint64_t held = gains_.size();
    return extra >= held - min_period_ ? held : min_period_ + extra;
}

std::uint64_t OnlineAdaptiveRSI::effective_period() const noexcept {
    // The period depends on the compensated sum of the absolute changes only through a
    // rounding to whole bars, and every step from that sum to the period is monotone. A
    // plain sum in four independent lanes, with a bound on how far it can lie from the
    // compensated one, usually pins the period down without the compensated sum's long
    // chain of dependent additions; when the bound straddles a rounding step, the
    // compensated sum decides.
    const std::size_t n = abs_changes_.size();
    double lane[4] = {0.0, 0.0, 0.0, 0.0};
    double top[4] = {-kInf, -kInf, -kInf, -kInf};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (std::size_t k = 0; k < 4; ++k) {
            const double x = abs_changes_.at(i + k);
            lane[k] += x;
            top[k] = x > top[k] ? x : top[k];
        }
    for (; i < n; ++i) {
        const double x = abs_changes_.at(i);
        lane[0] += x;
        top[0] = x > top[0] ? x : top[0];
    }
    double largest = top[0];
    for (std::size_t k = 1; k < 4; ++k) largest = top[k] > largest ? top[k] : largest;
    if (std::fabs(largest) < kDivisionGuard) return period_for(0.0, largest);  // the sum does not count

    const double plain = (lane[0] + lane[1]) + (lane[2] + lane[3]);
    if (plain > 1e-300 && plain < 1e300 && n <= kBoundedWindow) {
        // For n non-negative values both sums lie within about (n + 1) units of roundoff
        // (relative) of each other; the margin is four times that, which also covers the
        // rounding of the two products below.
        const double slack = 4.0 * static_cast<double>(n + 2) * 0x1p-53;
        const std::uint64_t shortest = period_for(plain * (1.0 + slack), largest);
        if (shortest == period_for(plain * (1.0 - slack), largest)) return shortest;
    }
    return period_for(sum_and_max(abs_changes_).sum, largest);
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
