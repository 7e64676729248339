// The ATR2 trend-ratio signals.
#include "indicators/sfg/atr2.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sfg = indicators::sfg;

ENTRY(py_atr2_signals, sfg::atr2_signals)(Doc{}.names_only(), arg("high"), arg("low"), arg("close"), arg("volume"),
                                          arg_or_none("trend_length", 14), arg_or_none("confirmation_threshold", 2.0),
                                          arg_or_none("momentum_window", 10));

}  // namespace vorn::py::families
