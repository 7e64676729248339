// Squeeze, aberration, WAE and the SSL channel.
#include "python/families.hpp"

namespace vorn::py::families {

Table extended_bands() { return {}; }

}  // namespace vorn::py::families
