#include "utils/streaming/averages.hpp"

#include <cmath>

#include "utils/fast_path.hpp"
#include "utils/ma.hpp"

namespace vorn::utils::streaming {

// ---- OnlineSMA -------------------------------------------------------------------------

Result<OnlineSMA> OnlineSMA::create(std::uint64_t period) {
    if (period == 0) return fail(zero_period());
    return OnlineSMA(period);
}

double OnlineSMA::settle(bool passes, double value, double dropped) noexcept {
    if (beyond_.active()) return rare(sliding::Event::slid, dropped);
    const bool spoilt = !passes && weight_.settle(std::fabs(value), [this] {
        const std::uint64_t end = window_.pushed() - 1;
        return reading_.holds_nonzero(end + 1 - window_.size(), end, [this](std::size_t k) { return window_.pushed_at(k); });
    });
    if (!finite()) return rare(sliding::Event::overflowed, dropped);
    return rare(spoilt ? sliding::Event::rebuild : sliding::Event::none, dropped);  // leaves the schedule as it is
}

double OnlineSMA::rebuilt() noexcept {
    removals_ = first_removals();
    return rare(beyond_.active() ? sliding::Event::scheduled : sliding::Event::rebuild, 0.0);
}

double OnlineSMA::first() noexcept { return rare(finite() ? sliding::Event::none : sliding::Event::fresh, 0.0); }

double OnlineSMA::rare(sliding::Event e, double dropped) noexcept {
    const std::uint64_t i = window_.pushed() - 1;
    const auto term = [this, i, dropped](std::size_t k) { return k + period_ == i ? dropped : window_.pushed_at(k); };
    while (e != sliding::Event::none) {
        if (e != sliding::Event::rebuild && beyond_.advance(e, i, period_, term) == sliding::Next::read) {
            const double r = sliding::afresh(e) ? read() : beyond_.read(i, period_);
            sum_ = {NaN, NaN};
            weight_.sum = std::numeric_limits<double>::infinity();
            return r;
        }
        // Counted in test builds: the stream makes the series kernels' decisions, so a test
        // sees the rebuilds a window beyond the range tries (utils/beyond_range.hpp) here.
        fast_path::taken_rarely<"online_sma_rebuilds">();
        resum_window(window_, sum_, weight_);
        if (finite()) {
            beyond_.back();
            break;
        }
        e = beyond_.active() ? sliding::Event::failed : sliding::Event::fresh;
    }
    return read();
}

double OnlineSMA::read() noexcept { return read_window(window_, sum_.sum, weight_.high(), reading_); }

void OnlineSMA::force_recalculate() noexcept {
    if (window_.full()) rebuilt();
}

void OnlineSMA::reset() noexcept {
    window_.clear();
    sum_.reset();
    weight_ = {};
    reading_.reset();
    beyond_.reset();
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

void OnlineBollingerBands::rebuild(std::uint64_t i, bool again) noexcept {
    // By the batch bands' rule (moments::sum_afresh), over the window as the ring holds it.
    const auto window = moments::indexed(static_cast<std::size_t>(window_.size()),
                                         [this](std::size_t k) { return window_.at(k); });
    moments::sum_afresh(
        i, period_, again, hold_,
        [&](bool near) {
            spread_ = near ? moments::Spread<false>::summed(window, spread_.near(span_))
                           : moments::Spread<false>::summed(window);
        },
        [&] { return (centred_ = spread_.centred(span_)).exact; },
        [this](std::uint64_t k) { return moments::unbounded(window_.pushed_at(k)); });
}

void OnlineBollingerBands::start_stretch(std::uint64_t i) noexcept {
    stretch_left_ = moments::stretch_of(period_);
    hold_ = 0;
    rebuild(i);
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
    stretch_left_ = 0;
}

}  // namespace vorn::utils::streaming
