#include "utils/streaming/averages.hpp"

#include <cmath>

#include "utils/ma.hpp"

namespace vorn::utils::streaming {

// ---- OnlineSMA -------------------------------------------------------------------------

Result<OnlineSMA> OnlineSMA::create(std::uint64_t period) {
    if (period == 0) return fail(zero_period());
    return OnlineSMA(period);
}

void OnlineSMA::recompute() noexcept {
    Kahan fresh;
    window_.for_each([&](double x) { fresh.add(x); });
    sum_.sum = fresh.sum;
}

void OnlineSMA::rebuild() noexcept {
    recompute();
    sum_.comp = 0.0;
    removals_ = 0;
}

void OnlineSMA::force_recalculate() noexcept {
    if (window_.full()) rebuild();
}

void OnlineSMA::reset() noexcept {
    window_.clear();
    sum_.reset();
    removals_ = 0;
}

// ---- OnlineEMA -------------------------------------------------------------------------

OnlineEMA::OnlineEMA(std::uint64_t period) : period_(period), alpha_(ma::ema_alpha(period)) {}

Result<OnlineEMA> OnlineEMA::create(std::uint64_t period) {
    if (period == 0) return fail(zero_period());
    return OnlineEMA(period);
}

void OnlineEMA::reset() noexcept {
    value_.reset();
    count_ = 0;
    seed_.reset();
}

// ---- OnlineBollingerBands --------------------------------------------------------------

Result<OnlineBollingerBands> OnlineBollingerBands::create(std::uint64_t period, double std_dev) {
    if (period == 0) return fail(zero_period());
    if (is_non_finite(std_dev)) return fail(VornError::invalid_value(0, "std_dev must be finite"));
    return OnlineBollingerBands(period, std_dev);
}

Result<std::optional<BollingerValue>> OnlineBollingerBands::update(double value) {
    if (is_non_finite(value)) return fail(value_not_finite());
    return advance(value);
}

std::optional<BollingerValue> OnlineBollingerBands::advance(double value) noexcept {
    double dropped;
    const bool slid = window_.push(value, dropped);
    sum_.add(value);
    sum_sq_.add(value * value);
    if (slid) {
        sum_.add(-dropped);
        sum_sq_.add(dropped * (-dropped));
        if (++removals_ == kRecomputeEvery) {
            recompute();
            removals_ = 0;
        }
    }
    if (!window_.full()) return std::nullopt;

    const double n = static_cast<double>(period_);
    const double middle = sum_.sum / n;
    const double mean_sq = sum_sq_.sum / n;
    double variance = mean_sq - middle * middle;
    // Cancellation can leave a flat window slightly negative; NaN (an overflowed sum) too is no spread.
    if (!(variance >= 0.0)) variance = 0.0;
    const double band = std::sqrt(variance) * std_dev_;
    return BollingerValue{middle + band, middle, middle - band};
}

// Unlike the SMA, the rebuilt sums keep the compensation the rebuild ended with.
void OnlineBollingerBands::recompute() noexcept {
    Kahan s, sq;
    window_.for_each([&](double x) {
        s.add(x);
        sq.add(x * x);
    });
    sum_ = s;
    sum_sq_ = sq;
}

void OnlineBollingerBands::force_recalculate() noexcept {
    if (!window_.full()) return;
    recompute();
    removals_ = 0;
}

void OnlineBollingerBands::reset() noexcept {
    window_.clear();
    sum_.reset();
    sum_sq_.reset();
    removals_ = 0;
}

}  // namespace vorn::utils::streaming
