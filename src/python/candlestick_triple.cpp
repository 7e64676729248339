// Three-bar candlestick detectors.
#include "python/families.hpp"

namespace vorn::py::families {

Table candlestick_triple() { return {}; }

}  // namespace vorn::py::families
