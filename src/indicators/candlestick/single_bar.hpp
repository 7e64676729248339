#pragma once
// One-bar candlestick detectors over validated open/high/low/close series (open first,
// then high, low and close against it). Every bar is judged, so no output holds NaN;
// values are 1.0, -1.0 or 0.0 per bar. Thresholds are used as given: a NaN threshold
// makes every comparison with it false.
#include <cstdint>

#include "indicators/candlestick/common.hpp"

namespace vorn::indicators::candlestick {

Result<Series> doji(In open, In high, In low, In close, double body_threshold);
Result<Series> dragonfly_doji(In open, In high, In low, In close, double body_threshold);
Result<Series> gravestone_doji(In open, In high, In low, In close, double body_threshold);
Result<Series> long_legged_doji(In open, In high, In low, In close, double body_threshold);
Result<Series> rickshaw_man(In open, In high, In low, In close, double body_threshold);
Result<Series> spinning_top(In open, In high, In low, In close);
Result<Series> highwave(In open, In high, In low, In close, double body_threshold);
Result<Series> marubozu(In open, In high, In low, In close);
Result<Series> closing_marubozu(In open, In high, In low, In close);
Result<Series> belthold(In open, In high, In low, In close);
Result<Series> takuri(In open, In high, In low, In close);

// Hammer shapes, signed by the bar's colour; a bar whose close equals its open never fires.
Result<Series> hammer(In open, In high, In low, In close);
Result<Series> inverted_hammer(In open, In high, In low, In close);
// -1.0 wherever the hammer (inverted hammer) kernel fires, whatever the colour.
Result<Series> hanging_man(In open, In high, In low, In close);
Result<Series> shooting_star(In open, In high, In low, In close);

// The bar's body against the mean body of the `lookback` bars before it; bars 0 to
// lookback - 1 are 0.0, and every bar is 0.0 when lookback is 0 or not below the length.
Result<Series> long_line(In open, In high, In low, In close, std::uint64_t lookback);
Result<Series> short_line(In open, In high, In low, In close, std::uint64_t lookback);

}  // namespace vorn::indicators::candlestick
