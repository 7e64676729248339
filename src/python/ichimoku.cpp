// The Ichimoku cloud and its signals.
#include "python/families.hpp"

namespace vorn::py::families {

Table ichimoku() { return {}; }

}  // namespace vorn::py::families
