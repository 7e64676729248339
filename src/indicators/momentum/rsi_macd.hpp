#pragma once
// Wilder's RSI and MACD. Callers (stochastic RSI, QQE, signal systems, the frame) pass the
// errors through and rely on the warm-up: RSI from index period, every MACD line from index
// slow_period + signal_period - 2.
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/constants.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::momentum {

struct MacdSeries {
    Series macd, signal, histogram;
    auto as_tuple() const { return std::tie(macd, signal, histogram); }
};

// Checks: close empty, non-finite; period 0 invalid; period >= n needs period + 1 bars.
// A flat stretch that drives both averages below 1e-10 reads 0.0, not 50.
Result<Series> rsi(std::span<const double> close, std::uint64_t period);

// rsi one bar at a time, with its arithmetic: step(i) for i = period, period + 1, ... in
// order gives the RSI at i, reading close up to i. For callers that run further windows over
// the RSI in the same pass. close checked by rsi's rules, 1 <= period < close.size().
class RsiSteps {
public:
    RsiSteps(std::span<const double> close, std::uint64_t period) noexcept
        : close_(close), n_(period), p_(static_cast<double>(period)), pm1_(p_ - 1.0) {}

    [[gnu::always_inline]] double step(std::size_t i) noexcept {
        if (i == n_) [[unlikely]] return seed();
        const double d = close_[i] - close_[i - 1];
        const double gain = d > 0.0 ? d : 0.0;
        const double loss = d > 0.0 ? 0.0 : -d;
        g_ = (g_ * pm1_ + gain) / p_;
        l_ = (l_ * pm1_ + loss) / p_;
        return value(g_, l_);
    }

private:
    // A flat stretch that drives both averages below 1e-10 reads 0.0, not 50.
    static double value(double g, double l) noexcept {
        if (std::isnan(g) || std::isnan(l)) return utils::NaN;
        if (std::fabs(l) < utils::kDivisionGuard) return std::fabs(g) < utils::kDivisionGuard ? 0.0 : 100.0;
        return 100.0 - 100.0 / (g / l + 1.0);
    }

    // The seed is a plain sum of the first period changes, in index order.
    double seed() noexcept {
        double gs = 0.0, ls = 0.0;
        for (std::size_t i = 1; i <= n_; ++i) {
            const double d = close_[i] - close_[i - 1];
            if (d > 0.0) gs += d; else ls += -d;
        }
        g_ = gs / p_, l_ = ls / p_;
        return value(g_, l_);
    }

    std::span<const double> close_;
    std::size_t n_;
    double p_, pm1_;
    double g_ = 0.0, l_ = 0.0;
};

// Checks: close empty, non-finite; any period 0 invalid; slow > n needs slow bars;
// fast > slow invalid (fast); slow + signal - 2 >= n needs slow + signal - 1 bars.
Result<MacdSeries> macd(std::span<const double> close, std::uint64_t fast_period, std::uint64_t slow_period,
                        std::uint64_t signal_period);

// EMA seeded at `seed_index` with the compensated sum of the non-NaN values of the `period`
// values ending there, divided by `period`; alpha = 2 / (period + 1) afterwards.
// Checks: values empty; seed_index >= len invalid (seed_index); seed_index + 1 < period
// (or period 0) needs period bars out of seed_index + 1.
Result<Series> ema_with_seed(std::span<const double> values, std::uint64_t period, std::uint64_t seed_index);

}  // namespace vorn::indicators::momentum
