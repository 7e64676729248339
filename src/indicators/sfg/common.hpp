#pragma once
// What the signal systems share: their opening checks and the ATR exits of a signal bar.
#include <cstdint>
#include <initializer_list>
#include <limits>

#include "errors/errors.hpp"
#include "utils/constants.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::sfg {

// `close` is checked ahead of every other series (empty, then non-finite), so that it is
// named in the first two messages whatever the others hold. Then the series in parameter
// order (the first one the reference), then each period in turn: 0 or above the length is
// an invalid period.
inline Status check_opening(std::span<const double> close, std::initializer_list<errors::validation::Named> series,
                            std::initializer_list<std::uint64_t> periods) {
    if (auto s = errors::validation::validate_series(close, "close"); !s) return s;
    if (auto s = errors::validation::validate_lengths_match(series); !s) return s;
    return errors::validation::validate_periods(periods, close.size());
}

// The learned systems need `window` training rows after `lookback` bars: `required` 0 (the
// look-back or the window, as the system names it) is an invalid period, a sum beyond 64
// bits is refused with `overflow_text`, then the bars must hold both.
inline Status check_training_span(std::uint64_t required, std::uint64_t window, std::uint64_t lookback,
                                  std::size_t n, const char* overflow_text) {
    if (required == 0) return fail(VornError::invalid_period(0, n));
    std::uint64_t need;
    if (__builtin_add_overflow(window, lookback, &need)) return fail(VornError::invalid_value(0, overflow_text));
    if (n < need) return fail(VornError::insufficient_data(need, n));
    return {};
}

// Exits of a signal bar: the stop 2 ATR on the losing side, the target 3 ATR on the winning
// side. Signal systems leave both NaN on every other bar.
inline void buy_exits(Series& stop_loss, Series& take_profit, std::size_t i, double close, double atr) {
    stop_loss[i] = close - 2.0 * atr;
    take_profit[i] = close + 3.0 * atr;
}
inline void sell_exits(Series& stop_loss, Series& take_profit, std::size_t i, double close, double atr) {
    stop_loss[i] = close + 2.0 * atr;
    take_profit[i] = close - 3.0 * atr;
}

inline Series nan_series(std::size_t n) { return Series(n, utils::NaN); }

}  // namespace vorn::indicators::sfg
