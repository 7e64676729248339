// RVI, inertia, PGO and the Elder force index.
#include "python/families.hpp"

namespace vorn::py::families {

Table extended_flow() { return {}; }

}  // namespace vorn::py::families
