#pragma once
// What every streaming state shares: the refusals of its constructor and update, kept
// out of line so that the accepted path of a tick stays short, and Wilder's smoothing step.
#include <cmath>
#include <cstdint>
#include <optional>

#include "errors/errors.hpp"
#include "utils/constants.hpp"
#include "utils/kahan.hpp"
#include "utils/sliding.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::streaming {

// A streaming state has no data length: a zero period reports length 0.
[[gnu::cold]] VornError zero_period();
[[gnu::cold]] VornError value_not_finite();  // "value must be finite"
[[gnu::cold]] VornError ohlc_not_finite();   // "ohlc values must be finite"

// Running window sums drift as values come and go; they are rebuilt from the window on the
// removal numbered sliding::kRebuildEvery after the last rebuild (sliding::OnEveryThousandth;
// OnlineSMA, which mirrors the batch mean, on that schedule's rebuild_every(period)), and read
// by sliding::TermCount's rules: a window of zeros sums to exactly 0.

class RingBuffer;

// Rebuilds a window's running sum from its values, oldest first, leaving compensation 0,
// and its weight (|x|) beside it: on schedule, or at once when a slide overflowed the sum or
// a value that outweighed the window has just left it (utils::WindowWeight).
[[gnu::cold]] void resum_window(const RingBuffer& window, Kahan& sum, WindowWeight& weight) noexcept;

// A running sum of a window's values as its window defines it (sliding::LazyReading), for a
// slide that its weight did not pass or a window longer than the weight covers (a passed slide
// reads its sum as it is), the windows asked in the order of their newest value. `high`: the
// weight's largest magnitude.
[[gnu::cold]] double read_window(const RingBuffer& window, double sum, double high,
                                 sliding::LazyReading& reading) noexcept;

inline bool all_finite(double a, double b, double c) noexcept {
    return !is_non_finite(a) && !is_non_finite(b) && !is_non_finite(c);
}

// Wilder's smoothing step, (average * (period - 1) + x) / period, with the period converted
// to float once; for averages of non-negative inputs. A flat feed (x = 0 tick after tick)
// decays an average into the subnormal range, where it settles on a value that the step maps
// to itself; there every multiply and divide would take the processor's slow subnormal path,
// so the step returns the settled average directly. The results are the same bits either way.
class WilderStep {
public:
    explicit WilderStep(std::uint64_t period) noexcept;

    double operator()(double average, double x) const noexcept {
        if (average <= settled_ && x == 0.0 && !std::signbit(average)) [[unlikely]]
            return average;
        return (average * p_less_1_ + x) / p_;
    }

private:
    double p_;
    double p_less_1_;
    double settled_;  // the largest average (>= 0) that a zero input leaves unchanged, or 0
};

// RSI from an average gain and loss: a window without losses reads 100, and one that does
// not move at all reads 0.
inline double rsi_from_averages(double gain, double loss) noexcept {
    if (std::fabs(loss) < kDivisionGuard) return std::fabs(gain) < kDivisionGuard ? 0.0 : 100.0;
    return 100.0 - 100.0 / (gain / loss + 1.0);
}

}  // namespace vorn::utils::streaming
