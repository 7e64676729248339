// Single-bar candlestick detectors.
#include "python/families.hpp"

namespace vorn::py::families {

Table candlestick_single() { return {}; }

}  // namespace vorn::py::families
