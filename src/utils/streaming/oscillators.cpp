#include "utils/streaming/oscillators.hpp"

#include <cmath>

namespace vorn::utils::streaming {

// ---- OnlineRSI -------------------------------------------------------------------------

Result<OnlineRSI> OnlineRSI::create(std::uint64_t period) {
    if (period == 0) return fail(zero_period());
    return OnlineRSI(period);
}

Result<std::optional<double>> OnlineRSI::update(double value) {
    if (is_non_finite(value)) return fail(value_not_finite());
    return advance(value);
}

std::optional<double> OnlineRSI::advance(double x) noexcept {
    if (!previous_) {
        previous_ = x;
        return std::nullopt;
    }
    const double change = x - *previous_;
    previous_ = x;
    const double gain = change > 0.0 ? change : 0.0;
    const double loss = change < 0.0 ? -change : 0.0;

    const double p = static_cast<double>(period_);
    if (avg_gain_ && avg_loss_) {
        avg_gain_ = (*avg_gain_ * (p - 1.0) + gain) / p;
        avg_loss_ = (*avg_loss_ * (p - 1.0) + loss) / p;
    } else {
        gain_seed_.add(gain);
        loss_seed_.add(loss);
        if (++seeded_ != period_) return std::nullopt;
        avg_gain_ = gain_seed_.sum / static_cast<double>(seeded_);
        avg_loss_ = loss_seed_.sum / static_cast<double>(seeded_);
    }

    const double g = *avg_gain_;
    const double l = *avg_loss_;
    // A window without losses reads 100, and one that does not move at all reads 0.
    if (std::fabs(l) < 1e-10) return std::fabs(g) < 1e-10 ? 0.0 : 100.0;
    return 100.0 - 100.0 / (g / l + 1.0);
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

Result<std::optional<double>> OnlineATR::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    return advance(high, low, close);
}

std::optional<double> OnlineATR::advance(double high, double low, double close) noexcept {
    if (!previous_close_) {
        previous_close_ = close;
        return value_;
    }
    const double pc = *previous_close_;
    // high - low keeps its sign: on a bar with high below low only the gaps can win.
    const double gap_high = std::fabs(high - pc);
    const double range = high - low;
    const double inner = gap_high > range ? gap_high : range;
    const double gap_low = std::fabs(low - pc);
    const double tr = gap_low > inner ? gap_low : inner;
    previous_close_ = close;

    const double p = static_cast<double>(period_);
    if (value_) {
        value_ = ((p - 1.0) * *value_ + tr) / p;
        return value_;
    }
    seed_.add(tr);
    if (++seeded_ != period_) return std::nullopt;
    value_ = seed_.sum / static_cast<double>(seeded_);
    seeded_ = 0;
    seed_.reset();
    return value_;
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
