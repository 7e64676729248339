// The extended oscillators.
#include "python/families.hpp"

namespace vorn::py::families {

Table extended_oscillators() { return {}; }

}  // namespace vorn::py::families
