// The extended moving averages.
#include "python/families.hpp"

namespace vorn::py::families {

Table extended_averages() { return {}; }

}  // namespace vorn::py::families
