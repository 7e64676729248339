#include "utils/streaming/averages.hpp"

#include <cmath>

#include "utils/ma.hpp"

namespace vorn::utils::streaming {

// ---- OnlineSMA -------------------------------------------------------------------------

Result<OnlineSMA> OnlineSMA::create(std::uint64_t period) {
    if (period == 0) return fail(zero_period());
    return OnlineSMA(period);
}

void OnlineSMA::rebuild() noexcept {
    resum_window(window_, sum_, weight_);
    removals_ = first_removals();
}

double OnlineSMA::settle(bool passes, double value) noexcept {
    const bool spoilt = !std::isfinite(sum_.comp) | (!passes && weight_.settle(std::fabs(value), [this] {
        const std::uint64_t end = window_.pushed() - 1;
        return reading_.holds_nonzero(end + 1 - window_.size(), end, [this](std::size_t k) { return window_.pushed_at(k); });
    }));
    if (spoilt) resum_window(window_, sum_, weight_);  // leaves the schedule as it is
    return read();
}

double OnlineSMA::rebuilt() noexcept {
    rebuild();
    return read();
}

double OnlineSMA::read() noexcept { return read_window(window_, sum_.sum, weight_.high(), reading_); }

void OnlineSMA::force_recalculate() noexcept {
    if (window_.full()) rebuild();
}

void OnlineSMA::reset() noexcept {
    window_.clear();
    sum_.reset();
    weight_ = {};
    reading_.reset();
    removals_ = first_removals();
}

// ---- OnlineEMA -------------------------------------------------------------------------

OnlineEMA::OnlineEMA(std::uint64_t period)
    : period_(period), alpha_(ma::ema_alpha(period)), keep_(1.0 - alpha_) {}

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

void OnlineBollingerBands::rebuild(std::uint64_t i) noexcept {
    spread_ = moments::Spread<false>::summed([this](auto&& f) { window_.for_each(f); });
    centred_ = spread_.centred(span_);
    if (!centred_.exact)
        hold_ = moments::held_until(i, period_, [this](std::uint64_t k) { return moments::too_large(window_.pushed_at(k)); });
}

void OnlineBollingerBands::force_recalculate() noexcept {
    if (!window_.full()) return;
    rebuild(window_.pushed() - 1);
}

void OnlineBollingerBands::reset() noexcept {
    window_.clear();
    spread_ = {};
    centred_ = {};
    hold_ = 0;
}

}  // namespace vorn::utils::streaming
