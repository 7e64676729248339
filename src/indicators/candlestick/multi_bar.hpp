#pragma once
// Four- and five-bar candlestick detectors over validated open/high/low/close series (open
// first, then high, low and close against it); bar 1 is the oldest, the value goes on the
// last bar, and the bars before it are 0.0. Short input is all 0.0, except from the two
// three-methods detectors (all NaN).
#include "indicators/candlestick/common.hpp"

namespace vorn::indicators::candlestick {

// The hikkake signal confirmed by the next close; the kernel's own signal bar gets 0.0.
Result<Series> hikkake_mod(In open, In high, In low, In close);
Result<Series> concealing_baby_swallow(In open, In high, In low, In close);
Result<Series> ladder_bottom(In open, In high, In low, In close);
Result<Series> mat_hold(In open, In high, In low, In close);
Result<Series> breakaway(In open, In high, In low, In close);
Result<Series> rising_three_methods(In open, In high, In low, In close);
Result<Series> falling_three_methods(In open, In high, In low, In close);

}  // namespace vorn::indicators::candlestick
