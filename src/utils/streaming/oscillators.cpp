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

void OnlineStochastic::reset() noexcept {
    highs_.clear();
    lows_.clear();
    highest_.clear();
    lowest_.clear();
    raw_.clear();
    ks_.clear();
    raw_sum_.reset();
    k_sum_.reset();
    raw_weight_ = {};
    k_weight_ = {};
    raw_reading_.reset();
    k_reading_.reset();
    inside_.reset();
}

}  // namespace vorn::utils::streaming
