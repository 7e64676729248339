// Fibonacci retracements, extensions, fans and time zones.
#include "python/families.hpp"

namespace vorn::py::families {

Table fibonacci() { return {}; }

}  // namespace vorn::py::families
