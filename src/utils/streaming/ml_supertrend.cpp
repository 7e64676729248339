#include "utils/streaming/ml_supertrend.hpp"

#include <cmath>
#include <limits>

#include "utils/constants.hpp"
#include "utils/streaming/window.hpp"

namespace vorn::utils::streaming {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool positive_finite(double x) { return !is_non_finite(x) && x > 0.0; }

}  // namespace

// ---- OnlineMLSuperTrend ----------------------------------------------------------------

Result<OnlineMLSuperTrend> OnlineMLSuperTrend::create(std::uint64_t period, double base_multiplier,
                                                      std::uint64_t confirmation_bars,
                                                      std::uint64_t volatility_period) {
    if (period == 0 || confirmation_bars == 0 || volatility_period == 0) return fail(zero_period());
    if (!positive_finite(base_multiplier))
        return fail(VornError::out_of_range("base_multiplier", base_multiplier, 0.0, kInf));
    auto st = OnlineSuperTrend::create(period, base_multiplier);
    if (!st) return fail(st.error());
    return OnlineMLSuperTrend(*st, confirmation_bars, volatility_period, base_multiplier);
}

void OnlineMLSuperTrend::reset() noexcept {
    supertrend_.reset();
    ranges_.clear();
    pending_.reset();
    confirmed_ = 0;
}

double OnlineMLSuperTrend::confirm(std::int8_t raw) noexcept {
    const double cb = static_cast<double>(confirmation_bars_);
    if (pending_ && pending_->trend == raw) {
        const std::uint64_t n = pending_->count + 1;
        if (n >= confirmation_bars_) {
            confirmed_ = raw;
            pending_.reset();
            return 0.6;
        }
        pending_->count = n;
        return (static_cast<double>(n) / cb) * 0.6;
    }
    if (!pending_ && raw == confirmed_) return 0.6;
    // A direction seen for the first time, or one that interrupts a pending one (even the
    // confirmed direction itself), starts counting afresh.
    pending_ = Pending{raw, 1};
    return (1.0 / cb) * 0.6;
}

Result<std::optional<MLSuperTrendResult>> OnlineMLSuperTrend::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    double dropped;
    ranges_.push(high - low, dropped);
    const auto st = supertrend_.advance(high, low, close);
    if (!st) return std::nullopt;
    const auto raw = static_cast<std::int8_t>(st->direction);

    double multiplier = base_multiplier_;
    double stability = 0.2;
    if (ranges_.full()) {
        const double n = static_cast<double>(volatility_period_);
        const auto [sum, largest] = sum_and_max(ranges_);
        if (!(std::fabs(largest) < kDivisionGuard)) multiplier = ((sum / n) / largest * 0.4 + 0.8) * base_multiplier_;
        const double mean = sum / n;
        if (!(std::fabs(mean) < kDivisionGuard)) {
            double squares = 0.0;
            ranges_.for_each([&](double r) { squares += (r - mean) * (r - mean); });
            const double cv = std::sqrt(squares / n) / mean;
            // A NaN spread (an overflowed window) counts as the widest: no stability.
            const double capped = cv < 1.0 ? cv : 1.0;
            const double steadiness = 1.0 - capped;
            stability = (steadiness < 0.0 ? 0.0 : steadiness) * 0.4;
        }
    }
    const double progress = confirm(raw);
    return MLSuperTrendResult{st->value, confirmed_, raw, progress + stability, multiplier};
}

// ---- OnlineAISuperTrendML --------------------------------------------------------------

Result<OnlineAISuperTrendML> OnlineAISuperTrendML::create(std::uint64_t st_length, std::uint64_t lookback,
                                                          std::uint64_t train_window, double st_multiplier) {
    if (st_length == 0) return fail(zero_period());
    // train_window < lookback + 10, written so that a lookback near 2^64 cannot wrap
    // around and slip a window too short for its slope through.
    if (train_window < 10 || train_window - 10 < lookback) return fail(VornError::invalid_period(train_window, 0));
    if (lookback == 0) return fail(zero_period());
    if (!positive_finite(st_multiplier))
        return fail(VornError::out_of_range("st_multiplier", st_multiplier, 0.0, kInf));
    auto st = OnlineSuperTrend::create(st_length, st_multiplier);
    if (!st) return fail(st.error());
    auto atr = OnlineATR::create(st_length);
    if (!atr) return fail(atr.error());
    return OnlineAISuperTrendML(*st, *atr, lookback, train_window);
}

void OnlineAISuperTrendML::reset() noexcept {
    supertrend_.reset();
    atr_.reset();
    closes_.clear();
    update_count_ = 0;
    last_direction_ = 0;
}

double OnlineAISuperTrendML::compute_trend_offset() const noexcept {
    if (closes_.size() < lookback_ + 2) return 0.0;
    const std::size_t n = lookback_;
    const std::size_t first = closes_.size() - n;
    Kahan s;
    for (std::size_t i = 0; i < n; ++i) {
        const double y = closes_.at(first + i);
        if (!std::isnan(y)) s.add(y);
    }
    const double mean = s.sum / static_cast<double>(n);
    const double centre = static_cast<double>(n - 1) * 0.5;
    double num = 0.0, den = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = static_cast<double>(i) - centre;
        num += x * (closes_.at(first + i) - mean);
        den += x * x;
    }
    return std::fabs(den) >= kDivisionGuard ? num / den : 0.0;
}

Result<std::optional<AISuperTrendMLResult>> OnlineAISuperTrendML::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(VornError::invalid_value(0, "OHLC values must be finite"));
    ++update_count_;
    const auto st = supertrend_.advance(high, low, close);
    if (!st) return std::nullopt;
    const auto atr = atr_.advance(high, low, close);
    if (!atr) return std::nullopt;

    double dropped;
    closes_.push(close, dropped);
    const double offset = closes_.size() >= offset_from_ ? compute_trend_offset() : 0.0;

    const int dir = st->direction;
    const bool buy = dir > 0 && last_direction_ <= 0;
    const bool sell = dir < 0 && last_direction_ >= 0;
    const double twice = *atr + *atr;
    double stop, target;
    if (dir > 0) {
        stop = close - twice;
        target = close + twice * 1.5;
    } else {
        stop = close + twice;
        target = twice * (-1.5) + close;
    }
    last_direction_ = static_cast<std::int8_t>(dir);
    return AISuperTrendMLResult{st->value, dir, offset, buy, sell, stop, target};
}

}  // namespace vorn::utils::streaming
