#pragma once
// Three-bar candlestick detectors: bars 1, 2 and 3 at indices i - 2, i - 1 and i, the
// value on bar 3. Bars 0 and 1 are 0.0; one or two bars give all NaN, except from
// unique_3_river, xside_gap_3_methods and hikkake (all 0.0).
#include "indicators/candlestick/common.hpp"

namespace vorn::indicators::candlestick {

// (open, high, low, close): open, then high, low and close against it.
Result<Series> morning_star(In open, In high, In low, In close);
Result<Series> evening_star(In open, In high, In low, In close);
Result<Series> morning_doji_star(In open, In high, In low, In close, double body_threshold);
Result<Series> evening_doji_star(In open, In high, In low, In close, double body_threshold);
Result<Series> abandoned_baby(In open, In high, In low, In close, double body_threshold);
Result<Series> tristar(In open, In high, In low, In close, double body_threshold);
Result<Series> identical_three_crows(In open, In high, In low, In close);
Result<Series> stalled_pattern(In open, In high, In low, In close);
Result<Series> three_inside(In open, In high, In low, In close);
Result<Series> three_outside(In open, In high, In low, In close);
Result<Series> advance_block(In open, In high, In low, In close);
Result<Series> stick_sandwich(In open, In high, In low, In close, double tolerance);
Result<Series> unique_3_river(In open, In high, In low, In close);
Result<Series> xside_gap_3_methods(In open, In high, In low, In close);
Result<Series> upside_gap_two_crows(In open, In high, In low, In close);
Result<Series> gap_sidesidewhite(In open, In high, In low, In close);

// Three series: the side series first, then close, then open.
Result<Series> three_white_soldiers(In open, In high, In close);
Result<Series> three_black_crows(In open, In low, In close);

// Inside-bar false breakout over high and low alone; validates nothing and returns
// min(len(high), len(low)) values, 0.0 while fewer than three bars.
Series hikkake(In high, In low);

}  // namespace vorn::indicators::candlestick
