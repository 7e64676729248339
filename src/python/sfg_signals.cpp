// Stops, signal combination and market-structure signals.
#include "python/families.hpp"

namespace vorn::py::families {

Table sfg_signals() { return {}; }

}  // namespace vorn::py::families
