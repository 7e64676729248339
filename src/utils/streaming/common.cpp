#include "utils/streaming/common.hpp"

#include <cmath>

#include "utils/streaming/ring.hpp"

namespace vorn::utils::streaming {

VornError zero_period() { return VornError::invalid_period(0, 0); }
VornError value_not_finite() { return VornError::invalid_value(0, "value must be finite"); }
VornError ohlc_not_finite() { return VornError::invalid_value(0, "ohlc values must be finite"); }

void resum_window(const RingBuffer& window, Kahan& sum, WindowWeight& weight) noexcept {
    sum.reset();
    weight.reset();
    window.for_each([&](double x) {
        sum.add(x);
        weight.add(std::fabs(x));
    });
    sum.comp = 0.0;
}

double read_window(const RingBuffer& window, double sum, double high, sliding::LazyReading& reading) noexcept {
    const std::uint64_t end = window.pushed() - 1, start = end + 1 - window.size();
    return reading.read(static_cast<std::size_t>(start), static_cast<std::size_t>(end), sum, high,
                        [&](std::size_t k) { return window.pushed_at(k); });
}

// An average of k units of the smallest subnormal u, with 2k < p, steps to k * (p - 1) / p
// = k - k/p units, and k/p < 1/2 rounds back to k (the product k * (p - 1) * u is exact while
// below 2^53 u, hence the cap on the period). Zero maps to itself for every period.
WilderStep::WilderStep(std::uint64_t period) noexcept
    : p_(static_cast<double>(period)), p_less_1_(p_ - 1.0), settled_(0.0) {
    if (period >= 1 && period <= (std::uint64_t{1} << 26))
        settled_ = std::ldexp(static_cast<double>((period - 1) / 2), -1074);
}

}  // namespace vorn::utils::streaming
