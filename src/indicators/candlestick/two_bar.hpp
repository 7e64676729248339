#pragma once
// Two-bar candlestick detectors: bar 1 at index i - 1, bar 2 at index i, which receives
// the value. Bar 0 is 0.0; a single bar gives [NaN], except from counterattack (0.0).
// Tolerance tests divide by their reference price with its sign, as callers rely on.
#include "indicators/candlestick/common.hpp"

namespace vorn::indicators::candlestick {

// (open, close): open, then close against it.
Result<Series> bullish_harami(In open, In close);
Result<Series> bearish_harami(In open, In close);
Result<Series> bullish_engulfing(In open, In close);
Result<Series> bearish_engulfing(In open, In close);

// (open, high, low, close): open, then high, low and close against it.
Result<Series> harami_cross(In open, In high, In low, In close, double body_threshold);
Result<Series> doji_star(In open, In high, In low, In close, double body_threshold);
Result<Series> kicking(In open, In high, In low, In close);
Result<Series> matching_low(In open, In high, In low, In close, double tolerance);
Result<Series> homing_pigeon(In open, In high, In low, In close);
Result<Series> inneck(In open, In high, In low, In close, double tolerance);
Result<Series> onneck(In open, In high, In low, In close, double tolerance);
Result<Series> thrusting(In open, In high, In low, In close);
Result<Series> separating_lines(In open, In high, In low, In close, double tolerance);

// Three series: the side series first, then close, then open.
Result<Series> tweezers_top(In open, In high, In close, double tolerance);
Result<Series> tweezers_bottom(In open, In low, In close, double tolerance);
Result<Series> dark_cloud_cover(In open, In high, In close);
Result<Series> piercing_pattern(In open, In low, In close);

// Validates nothing: min(len(open), len(close)) values, 0.0 while fewer than two bars;
// NaN or infinite prices enter the comparisons unchanged.
Series counterattack(In open, In close, double tolerance);

}  // namespace vorn::indicators::candlestick
