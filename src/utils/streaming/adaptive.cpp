#include "utils/streaming/adaptive.hpp"

#include <cmath>
#include <limits>

#include "utils/constants.hpp"
#include "utils/fast_path.hpp"

namespace vorn::utils::streaming {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// A rounded addition lies within u = 2^-53 of its result's magnitude (and is exact where that
// result is subnormal); each one adds twice that to the running sum's bound, which also covers
// the rounding of the bound's own sum.
constexpr double kTwiceRoundoff = 0x1p-52;
// A compensated sum of N < 2^40 terms (any window that fits in memory), none negative, lies
// within 3u of their exact sum (utils::sliding::Residue); the margin is 8u, which also covers
// the rounding of the interval's own arithmetic.
constexpr double kCompensated = 0x1p-50;

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
    largest_.clear();
    volatility_sum_ = volatility_error_ = 0.0;
    infinite_ = slid_ = 0;
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

void OnlineAdaptiveRSI::slide_volatility(double in, bool left, double out) noexcept {
    if (std::isinf(in)) {
        ++infinite_;
    } else {
        volatility_sum_ += in;
        volatility_error_ += std::fabs(volatility_sum_) * kTwiceRoundoff;  // below 0 by rounding
    }
    if (!left) return;
    ++slid_;
    if (std::isinf(out)) {
        --infinite_;
    } else {
        volatility_sum_ -= out;
        volatility_error_ += std::fabs(volatility_sum_) * kTwiceRoundoff;
    }
}

double OnlineAdaptiveRSI::resum_volatility() noexcept {
    fast_path::taken<"adaptive_rsi_resums">();  // counted in test builds: they must stay rare
    const double sum = sum_and_max(abs_changes_).sum;
    volatility_sum_ = sum;
    volatility_error_ = sum * kCompensated;
    slid_ = 0;
    return sum;
}

std::uint64_t OnlineAdaptiveRSI::effective_period(double largest) noexcept {
    if (std::fabs(largest) < kDivisionGuard) return period_for(0.0, largest);  // the sum does not count
    // An infinite change leaves the compensated sum infinite or NaN, and the ratio NaN either way.
    if (infinite_ != 0) return period_for(kInf, largest);
    // The period depends on the compensated sum of the absolute changes only through a rounding
    // to whole bars, and every step from that sum to the period is monotone. So an interval
    // that surely holds that sum, the running sum's bound widened by the compensated sum's own
    // error, decides the period wherever both its ends give the same one: on all but the bars
    // whose sum lies within about volatility_period units of roundoff of a rounding step. The
    // others, and every volatility_period-th slide (the bound grows with each one), sum the
    // window afresh by the compensated sum itself.
    if (slid_ < volatility_period_) {
        const double low = (volatility_sum_ - volatility_error_) * (1.0 - kCompensated);
        const double high = (volatility_sum_ + volatility_error_) * (1.0 + kCompensated);
        if (low > 1e-300 && high < 1e300) {
            const std::uint64_t shortest = period_for(high, largest);
            if (shortest == period_for(low, largest)) return shortest;
        }
    }
    return period_for(resum_volatility(), largest);
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
