#pragma once
// Streaming simple and exponential averages and Bollinger bands over one series.
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <tuple>

#include "utils/beyond_range.hpp"
#include "utils/streaming/common.hpp"
#include "utils/moments.hpp"
#include "utils/streaming/ring.hpp"

namespace vorn::utils::streaming {

// Mean of the last `period` values.
class OnlineSMA {
public:
    static Result<OnlineSMA> create(std::uint64_t period);

    Result<std::optional<double>> update(double value);
    std::optional<double> advance(double value) noexcept;  // value already known finite
    void reset() noexcept;
    void force_recalculate() noexcept;

    std::uint64_t len() const noexcept { return window_.size(); }
    bool is_empty() const noexcept { return window_.empty(); }
    std::uint64_t period() const noexcept { return period_; }

private:
    explicit OnlineSMA(std::uint64_t period)
        : window_(period), period_(period), n_(static_cast<double>(period)), reading_(period),
          every_(sliding::rebuild_every(period)), removals_(first_removals()) {}
    // The count of removals after a rebuild: a window of one bar is summed afresh on every
    // slide (sliding::first_count).
    std::uint64_t first_removals() const noexcept { return sliding::first_count(period_, every_ - 1); }
    // The rest of a slide that passes() did not clear, or of any slide of a window longer
    // than sliding::kWeightCovers: the window's sum as it defines it.
    [[gnu::cold, gnu::noinline]] double settle(bool passes, double value, double dropped) noexcept;
    [[gnu::cold, gnu::noinline]] double rebuilt() noexcept;  // the scheduled rebuild, then the sum as read
    [[gnu::cold, gnu::noinline]] double first() noexcept;  // the first window's sum as read
    // Every rebuild and every path beyond the range, as ma::SmaWindow takes them, and the sum
    // as read (`dropped`: the value that left, on a slide).
    [[gnu::cold]] double rare(sliding::Event e, double dropped) noexcept;
    bool finite() const noexcept {
        return std::isfinite(sum_.sum) & std::isfinite(sum_.comp) & (weight_.sum <= std::numeric_limits<double>::max());
    }
    [[gnu::cold, gnu::noinline]] double read() noexcept;  // the sum by its window's rules

    RingBuffer window_;
    std::uint64_t period_;
    double n_;  // the period as a float, converted once
    Kahan sum_;
    WindowWeight weight_;  // |x| over the window
    sliding::LazyReading reading_;
    std::uint64_t every_;  // removals between scheduled rebuilds: the batch mean's schedule
    std::uint64_t removals_;
    sliding::PlainBeyond beyond_;  // the window beyond the range (utils/beyond_range.hpp)
};

// Exponential average seeded by the plain mean of its first `period` inputs.
class OnlineEMA {
public:
    static Result<OnlineEMA> create(std::uint64_t period);

    Result<std::optional<double>> update(double value);
    std::optional<double> advance(double value) noexcept;
    void reset() noexcept;

    bool is_ready() const noexcept { return value_.has_value(); }
    std::optional<double> value() const noexcept { return value_; }
    std::uint64_t period() const noexcept { return period_; }

private:
    explicit OnlineEMA(std::uint64_t period);

    std::optional<double> value_;
    std::uint64_t period_;
    double alpha_;
    double keep_;  // 1 - alpha, formed once
    std::uint64_t count_ = 0;
    Kahan seed_;
};

struct BollingerValue {
    double upper, middle, lower;
    auto as_tuple() const { return std::tie(upper, middle, lower); }
};

// Simple average with bands at std_dev population standard deviations of the window: the
// batch bands' sums of deviations (utils::stats::window::spreads), their decisions and bits.
class OnlineBollingerBands {
public:
    static Result<OnlineBollingerBands> create(std::uint64_t period, double std_dev);

    Result<std::optional<BollingerValue>> update(double value);
    std::optional<BollingerValue> advance(double value) noexcept;
    void reset() noexcept;
    void force_recalculate() noexcept;

    std::uint64_t period() const noexcept { return period_; }
    double std_dev() const noexcept { return std_dev_; }

private:
    OnlineBollingerBands(std::uint64_t period, double std_dev)
        : window_(period), period_(period), std_dev_(std_dev), span_(period) {}
    // The window summed afresh; `i`: the number of its newest value.
    [[gnu::cold, gnu::noinline]] void rebuild(std::uint64_t i, bool again = false) noexcept;
    [[gnu::cold, gnu::noinline]] void start_stretch(std::uint64_t i) noexcept;

    RingBuffer window_;
    std::uint64_t period_;
    double std_dev_;
    moments::Span span_;
    moments::Spread<false> spread_;  // the ticks are finite
    moments::Centred<> centred_{};
    std::uint64_t hold_ = 0;  // no rebuild before this value's slide (moments::walk)
    std::size_t stretch_left_ = 0;  // windows to the next stretch's start (moments::stretch_of)
};

// The accepted path of a tick is inline: it runs inside the Python method's trampoline.

[[gnu::always_inline]] inline Result<std::optional<double>> OnlineSMA::update(double value) {
    if (is_non_finite(value)) return fail(value_not_finite());
    return advance(value);
}

[[gnu::always_inline]] inline std::optional<double> OnlineSMA::advance(double value) noexcept {
    double dropped;
    const bool slid = window_.push(value, dropped);
    sum_.add(value);
    if (slid) {
        sum_.sub(dropped);
        // The scheduled rebuild does not consult the weight, as ma::SmaWindow does not: the
        // stream makes the series kernel's decisions on every slide, and gives its bits.
        if (++removals_ == every_) [[unlikely]]
            return rebuilt() / n_;
        // A slide that the weight passes reads its sum as it is (sliding::kWeightCovers): an
        // ordinary tick looks at no value. Past the windows the weight covers, a passed slide
        // whose sum is clear of its rounding (sliding::Residue) reads it as it is too.
        const bool passes = weight_.passes(std::fabs(dropped), std::fabs(value));
        if (!(passes & reading_.covers() & std::isfinite(sum_.comp))) [[unlikely]] {
            if (!(passes & std::isfinite(sum_.comp) && reading_.clear(sum_.sum, weight_.high())))
                return settle(passes, value, dropped) / n_;
        }
    } else {
        weight_.add(std::fabs(value));
        if (!window_.full()) return std::nullopt;
        return first() / n_;
    }
    return sum_.sum / n_;
}

inline Result<std::optional<double>> OnlineEMA::update(double value) {
    if (is_non_finite(value)) return fail(value_not_finite());
    return advance(value);
}

inline std::optional<double> OnlineEMA::advance(double x) noexcept {
    // The result is returned from a local, not re-read from the member: reloading the
    // whole optional right after storing its value stalls the store buffer.
    double v;
    if (value_) {
        v = *value_ * keep_ + x * alpha_;
    } else {
        ++count_;
        seed_.add(x);
        if (count_ != period_) return std::nullopt;
        v = seed_.sum / static_cast<double>(count_);
    }
    value_ = v;
    return v;
}

inline Result<std::optional<BollingerValue>> OnlineBollingerBands::update(double value) {
    if (is_non_finite(value)) return fail(value_not_finite());
    return advance(value);
}

// Forced inline: past the inliner's size limit, the call and the result passed through
// memory would cost more than the whole update.
[[gnu::always_inline]] inline std::optional<BollingerValue> OnlineBollingerBands::advance(double value) noexcept {
    double dropped;
    const bool slid = window_.push(value, dropped);
    const std::uint64_t i = window_.pushed() - 1;
    if (slid) {
        // Each stretch of windows starts summed afresh, as the batch bands' do.
        if (--stretch_left_ == 0) [[unlikely]] {
            start_stretch(i);
        } else {
            spread_.slide(dropped, value);
            centred_ = spread_.centred(span_);
            if (!centred_.exact && i >= hold_) [[unlikely]]
                rebuild(i, true);
        }
    } else {
        if (!window_.full()) return std::nullopt;
        start_stretch(i);
    }
    const double middle = spread_.mean(spread_.s1.v / span_.p);
    const double sd = centred_.m2 > 0.0 ? std::sqrt(centred_.m2 / span_.p) * spread_.unit() : 0.0;
    return BollingerValue{sd * std_dev_ + middle, middle, middle - sd * std_dev_};
}

}  // namespace vorn::utils::streaming
