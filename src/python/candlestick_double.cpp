// Two-bar candlestick detectors.
#include "python/families.hpp"

namespace vorn::py::families {

Table candlestick_double() { return {}; }

}  // namespace vorn::py::families
