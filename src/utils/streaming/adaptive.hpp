#pragma once
// Streaming RSI whose averaging period is chosen anew each bar from how evenly the
// recent changes are spread.
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>

#include "utils/streaming/common.hpp"
#include "utils/streaming/ring.hpp"
#include "utils/streaming/window.hpp"

namespace vorn::utils::streaming {

struct AdaptiveRsiValue {
    double rsi;
    std::uint64_t period;  // the averaging period this bar used
    auto as_tuple() const { return std::tie(rsi, period); }
};

// Even movement (mean absolute change near the largest one) selects a period near
// min_period, movement dominated by a few large changes one near max_period. The RSI
// comes from plain means of the chosen number of latest gains and losses, summed anew
// every bar: no running average carries over from one bar to the next.
class OnlineAdaptiveRSI {
public:
    static Result<OnlineAdaptiveRSI> create(std::uint64_t min_period, std::uint64_t max_period,
                                            std::uint64_t volatility_period);

    Result<std::optional<AdaptiveRsiValue>> update(double value);
    void reset() noexcept;

private:
    OnlineAdaptiveRSI(std::uint64_t min_period, std::uint64_t max_period, std::uint64_t volatility_period)
        : abs_changes_(volatility_period), largest_(volatility_period), gains_(max_period), losses_(max_period),
          min_period_(min_period), max_period_(max_period), volatility_period_(volatility_period) {}

    void slide_volatility(double in, bool left, double out) noexcept;
    std::uint64_t effective_period(double largest) noexcept;
    std::uint64_t period_for(double sum, double largest) const noexcept;
    double resum_volatility() noexcept;
    double rsi_over(std::uint64_t p) const noexcept;

    std::optional<double> previous_;
    RingBuffer abs_changes_;
    WindowExtreme<Extreme::largest> largest_;  // of abs_changes_
    // The absolute changes' finite values summed plainly as they come and go, with a bound on
    // how far that sum lies from their exact sum, and the infinities counted apart: what
    // decides the period on almost every bar without a pass over the window (effective_period).
    double volatility_sum_ = 0.0;
    double volatility_error_ = 0.0;
    std::uint64_t infinite_ = 0;
    std::uint64_t slid_ = 0;  // slides since the sum was last summed afresh
    RingBuffer gains_;   // gains and losses are appended and trimmed together
    RingBuffer losses_;
    std::uint64_t min_period_, max_period_, volatility_period_;
};

inline Result<std::optional<AdaptiveRsiValue>> OnlineAdaptiveRSI::update(double x) {
    if (is_non_finite(x)) return fail(value_not_finite());
    if (!previous_) {
        previous_ = x;
        return std::nullopt;
    }
    const double change = x - *previous_;
    previous_ = x;
    double dropped = 0.0;
    const double size = std::fabs(change);
    const bool left = abs_changes_.push(size, dropped);
    const double largest = largest_.slide(abs_changes_, size);
    slide_volatility(size, left, dropped);
    gains_.push(change > 0.0 ? change : 0.0, dropped);
    losses_.push(change < 0.0 ? -change : 0.0, dropped);
    if (!abs_changes_.full() || gains_.size() < min_period_) return std::nullopt;

    const std::uint64_t p = effective_period(largest);
    return AdaptiveRsiValue{rsi_over(p), p};
}

}  // namespace vorn::utils::streaming
