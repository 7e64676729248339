// The extended statistical measures.
#include "python/families.hpp"

namespace vorn::py::families {

Table extended_statistics() { return {}; }

}  // namespace vorn::py::families
