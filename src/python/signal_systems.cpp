// Trend-ratio, MACD, nearest-neighbour and learned-model signal systems.
#include "python/families.hpp"

namespace vorn::py::families {

Table signal_systems() { return {}; }

}  // namespace vorn::py::families
