#pragma once
// Streaming RSI and ATR (Wilder smoothing) and the stochastic oscillator.
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>

#include "utils/bounds.hpp"
#include "utils/constants.hpp"
#include "utils/streaming/common.hpp"
#include "utils/streaming/ring.hpp"

namespace vorn::utils::streaming {

// Wilder RSI. The seed averages are the compensated means of the first `period` gains
// and losses; the sums are built as the changes arrive, in the same order a pass over
// the stored seed values would take, so no seed buffer is kept.
class OnlineRSI {
public:
    static Result<OnlineRSI> create(std::uint64_t period);

    Result<std::optional<double>> update(double value);
    std::optional<double> advance(double value) noexcept;
    void reset() noexcept;

    bool is_ready() const noexcept { return avg_gain_.has_value(); }
    std::uint64_t period() const noexcept { return period_; }

private:
    explicit OnlineRSI(std::uint64_t period) : period_(period), wilder_(period) {}

    std::optional<double> previous_;
    std::optional<double> avg_gain_;  // the two averages are seeded together
    std::optional<double> avg_loss_;
    std::uint64_t seeded_ = 0;  // changes added to the seed sums
    Kahan gain_seed_;
    Kahan loss_seed_;
    std::uint64_t period_;
    WilderStep wilder_;
};

// Wilder average true range; the first value is the mean of the true ranges of bars
// 2 to period + 1.
class OnlineATR {
public:
    static Result<OnlineATR> create(std::uint64_t period);

    Result<std::optional<double>> update(double high, double low, double close);
    std::optional<double> advance(double high, double low, double close) noexcept;
    void reset() noexcept;

    bool is_ready() const noexcept { return value_.has_value(); }
    std::optional<double> value() const noexcept { return value_; }
    std::uint64_t period() const noexcept { return period_; }

private:
    explicit OnlineATR(std::uint64_t period) : period_(period), wilder_(period) {}

    std::optional<double> previous_close_;
    std::optional<double> value_;
    std::uint64_t seeded_ = 0;  // true ranges added to the seed sum
    Kahan seed_;
    std::uint64_t period_;
    WilderStep wilder_;
};

struct StochasticValue {
    double k, d;
    auto as_tuple() const { return std::tie(k, d); }
};

// %K: the mean of the last smooth_k raw stochastics over k_period bars; %D: the mean of
// the last d_period %K values. Its two running sums have no rebuild schedule; each is
// rebuilt only when a slide overflows it or a value that outweighed its window leaves, and on
// every slide of a window of one bar. Both lines are confined to 0..100 as the series' are
// (utils/bounds.hpp): %K where the raw values of its window all lay in 0..100, %D where those
// of its %K values did; the %D window takes the unconfined %K.
class OnlineStochastic {
public:
    static Result<OnlineStochastic> create(std::uint64_t k_period, std::uint64_t smooth_k, std::uint64_t d_period);

    Result<std::optional<StochasticValue>> update(double high, double low, double close);
    std::optional<StochasticValue> advance(double high, double low, double close) noexcept;
    void reset() noexcept;

private:
    OnlineStochastic(std::uint64_t k_period, std::uint64_t smooth_k, std::uint64_t d_period)
        : highs_(k_period), lows_(k_period), highest_(k_period), lowest_(k_period), raw_(smooth_k), ks_(d_period),
          k_period_(k_period), smooth_k_(smooth_k), d_period_(d_period), raw_reading_(smooth_k), k_reading_(d_period),
          d_span_(smooth_k + d_period - 1) {}

    RingBuffer highs_;
    RingBuffer lows_;
    WindowExtreme<Extreme::largest> highest_;  // of highs_
    WindowExtreme<Extreme::smallest> lowest_;  // of lows_
    RingBuffer raw_;
    RingBuffer ks_;
    std::uint64_t k_period_, smooth_k_, d_period_;
    Kahan raw_sum_;
    Kahan k_sum_;
    WindowWeight raw_weight_;  // |x| over each window
    WindowWeight k_weight_;
    sliding::LazyReading raw_reading_, k_reading_;
    std::uint64_t d_span_;    // the raw values behind a %D
    bounds::Premise inside_;  // over the raw values
};

// The accepted path of a tick is inline: it runs inside the Python method's trampoline.

inline Result<std::optional<double>> OnlineRSI::update(double value) {
    if (is_non_finite(value)) return fail(value_not_finite());
    return advance(value);
}

inline std::optional<double> OnlineRSI::advance(double x) noexcept {
    if (!previous_) {
        previous_ = x;
        return std::nullopt;
    }
    const double change = x - *previous_;
    previous_ = x;
    const double gain = change > 0.0 ? change : 0.0;
    const double loss = change < 0.0 ? -change : 0.0;

    double g, l;
    if (avg_gain_) {
        g = wilder_(*avg_gain_, gain);
        l = wilder_(*avg_loss_, loss);
    } else {
        gain_seed_.add(gain);
        loss_seed_.add(loss);
        if (++seeded_ != period_) return std::nullopt;
        g = gain_seed_.sum / static_cast<double>(seeded_);
        l = loss_seed_.sum / static_cast<double>(seeded_);
    }
    avg_gain_ = g;
    avg_loss_ = l;
    return rsi_from_averages(g, l);
}

inline Result<std::optional<double>> OnlineATR::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    return advance(high, low, close);
}

inline std::optional<double> OnlineATR::advance(double high, double low, double close) noexcept {
    if (!previous_close_) {
        // Nothing is averaged before the first close (value_ is absent too). Not copying the
        // optional member keeps the result in registers on every path.
        previous_close_ = close;
        return std::nullopt;
    }
    const double pc = *previous_close_;
    // high - low keeps its sign: on a bar with high below low only the gaps can win.
    const double gap_high = std::fabs(high - pc);
    const double range = high - low;
    const double inner = gap_high > range ? gap_high : range;
    const double gap_low = std::fabs(low - pc);
    const double tr = gap_low > inner ? gap_low : inner;
    previous_close_ = close;

    if (value_) {
        const double v = wilder_(*value_, tr);  // (period - 1) * value + tr: the product commutes exactly
        value_ = v;
        return v;
    }
    seed_.add(tr);
    if (++seeded_ != period_) return std::nullopt;
    const double v = seed_.sum / static_cast<double>(seeded_);
    seeded_ = 0;
    seed_.reset();
    value_ = v;
    return v;
}

[[gnu::always_inline]] inline Result<std::optional<StochasticValue>> OnlineStochastic::update(double high, double low, double close) {
    if (!all_finite(high, low, close)) return fail(ohlc_not_finite());
    return advance(high, low, close);
}

[[gnu::always_inline]] inline std::optional<StochasticValue> OnlineStochastic::advance(double high, double low, double close) noexcept {
    double dropped;
    highs_.push(high, dropped);
    lows_.push(low, dropped);
    const double highest = highest_.slide(highs_, high);
    const double lowest = lowest_.slide(lows_, low);
    if (!highs_.full()) return std::nullopt;

    const double range = highest - lowest;
    const double raw = std::fabs(range) < kDivisionGuard ? 50.0 : (close - lowest) / range * 100.0;

    // One step of either running sum: add, drop the oldest, rebuild if that spoilt it. Returns
    // kFull when the window is full, with kClear when the weight passed the slide and nothing
    // was rebuilt: the sum then reads as it is (sliding::kWeightCovers); otherwise as its
    // window defines it (read_window: a window of zeros sums to exactly 0).
    constexpr unsigned kFull = 1, kClear = 2;
    auto step = [&dropped](RingBuffer& window, Kahan& sum, WindowWeight& weight, double x) -> unsigned {
        sum.add(x);
        if (window.push(x, dropped)) {
            sum.add(-dropped);
            const bool passes = weight.passes(std::fabs(dropped), std::fabs(x));
            const bool finite = std::isfinite(sum.comp);
            if (!(passes & finite)) [[unlikely]] {
                // A window of one bar is summed afresh on every slide: it is that bar. It never
                // settles, so its weight never learns the usual weight and no slide passes.
                const bool one_bar = window.capacity() == 1;
                if (!finite | one_bar | (!passes && weight.settle(std::fabs(x), [w = &window] { return w->any_nonzero(); })))
                    resum_window(window, sum, weight);
                return kFull;
            }
            return kFull | kClear;
        }
        weight.add(std::fabs(x));
        return window.full() ? kFull : 0;
    };
    inside_.step(bounds::within(raw, bounds::kPercent));
    const unsigned raw_step = step(raw_, raw_sum_, raw_weight_, raw);
    if (raw_step == 0) return std::nullopt;
    double raw_sum = raw_sum_.sum;
    if (!((raw_step == (kFull | kClear)) & raw_reading_.covers())) [[unlikely]]
        raw_sum = read_window(raw_, raw_sum, raw_weight_.high(), raw_reading_);

    const double k = raw_sum / static_cast<double>(smooth_k_);
    const unsigned k_step = step(ks_, k_sum_, k_weight_, k);
    if (k_step == 0) return std::nullopt;
    double k_sum = k_sum_.sum;
    if (!((k_step == (kFull | kClear)) & k_reading_.covers())) [[unlikely]]
        k_sum = read_window(ks_, k_sum, k_weight_.high(), k_reading_);
    pairs::Pair shown{k, k_sum / static_cast<double>(d_period_)};
    // Rounding carries a line past 0..100 only now and then; only then is the premise asked.
    if (!bounds::within(shown, bounds::kPercent)) [[unlikely]]
        shown = bounds::confine_if(inside_.held(smooth_k_), inside_.held(d_span_), shown, bounds::kPercent);
    return StochasticValue{shown[0], shown[1]};
}

}  // namespace vorn::utils::streaming
