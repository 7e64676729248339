// Four- and five-bar candlestick detectors.
#include "python/families.hpp"

namespace vorn::py::families {

Table candlestick_multi() { return {}; }

}  // namespace vorn::py::families
