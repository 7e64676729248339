// Volume filter, fair-value gaps and breaker blocks.
#include "indicators/sfg_utils.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace su = indicators::sfg_utils;

ENTRY(py_volume_filter, su::volume_filter)(
    doc("成交量过滤器\n返回: (above_average, relative_volume, volume_spike)").names_only(), arg("volume"),
    arg_or_none("period", 20));

ENTRY(py_fvg_signals, su::fvg_signals)(
    doc("FVG (Fair Value Gap) 信号\n返回: (bullish_fvg, bearish_fvg, fvg_upper, fvg_lower)"), arg("high"), arg("low"));

ENTRY(py_breaker_block_signals, su::breaker_block_signals)(
    doc("Breaker Block 信号\n返回: (buy_signals, sell_signals, breaker_upper, breaker_lower)").names_only(),
    arg("open"), arg("high"), arg("low"), arg("close"), arg_or_none("lookback", 20));

}  // namespace vorn::py::families
