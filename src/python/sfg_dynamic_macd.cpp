// The dynamic MACD.
#include "indicators/sfg/dynamic_macd.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sfg = indicators::sfg;

ENTRY(py_dynamic_macd, sfg::dynamic_macd)(Doc{}.names_only(), arg("open"), arg("high"), arg("low"), arg("close"),
                                          arg_or_none("fast_length", 12), arg_or_none("slow_length", 26),
                                          arg_or_none("signal_smooth", 9));

}  // namespace vorn::py::families
