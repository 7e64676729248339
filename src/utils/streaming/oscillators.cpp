#include "utils/streaming/oscillators.hpp"

#include <cmath>

namespace vorn::utils::streaming {

// ---- OnlineRSI -------------------------------------------------------------------------

Result<OnlineRSI> OnlineRSI::create(std::uint64_t period) {
    if (period == 0) return fail(zero_period());
    return OnlineRSI(period);
}

void OnlineRSI::reset() noexcept {
    previous_.reset();
    avg_gain_.reset();
    avg_loss_.reset();
    seeded_ = 0;
    gain_seed_.reset();
    loss_seed_.reset();
}

// ---- OnlineATR -------------------------------------------------------------------------

Result<OnlineATR> OnlineATR::create(std::uint64_t period) {
    if (period == 0) return fail(zero_period());
    return OnlineATR(period);
}

void OnlineATR::reset() noexcept {
    previous_close_.reset();
    value_.reset();
    seeded_ = 0;
    seed_.reset();
}

// ---- OnlineStochastic ------------------------------------------------------------------

Result<OnlineStochastic> OnlineStochastic::create(std::uint64_t k_period, std::uint64_t smooth_k,
                                                  std::uint64_t d_period) {
    if (k_period == 0 || smooth_k == 0 || d_period == 0) return fail(zero_period());
    return OnlineStochastic(k_period, smooth_k, d_period);
}

Result<std::optional<StochasticValue>> OnlineStochastic::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    return advance(high, low, close);
}

std::optional<StochasticValue> OnlineStochastic::advance(double high, double low, double close) noexcept {
    double dropped;
    highs_.push(high, dropped);
    lows_.push(low, dropped);
    if (!highs_.full()) return std::nullopt;

    const double highest = highs_.max();
    const double lowest = lows_.min();
    const double range = highest - lowest;
    const double raw = std::fabs(range) < 1e-10 ? 50.0 : (close - lowest) / range * 100.0;

    raw_sum_.add(raw);
    if (raw_.push(raw, dropped)) raw_sum_.add(-dropped);
    if (!raw_.full()) return std::nullopt;

    const double k = raw_sum_.sum / static_cast<double>(smooth_k_);
    k_sum_.add(k);
    if (ks_.push(k, dropped)) k_sum_.add(-dropped);
    if (!ks_.full()) return std::nullopt;
    return StochasticValue{k, k_sum_.sum / static_cast<double>(d_period_)};
}

void OnlineStochastic::reset() noexcept {
    highs_.clear();
    lows_.clear();
    raw_.clear();
    ks_.clear();
    raw_sum_.reset();
    k_sum_.reset();
}

}  // namespace vorn::utils::streaming
