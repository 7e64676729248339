// Pivot points, zones and touches.
#include "python/families.hpp"

namespace vorn::py::families {

Table pivots() { return {}; }

}  // namespace vorn::py::families
