// Volume accumulation lines, money flow, VWAP, volume oscillator and profile.
#include "python/families.hpp"

namespace vorn::py::families {

Table volume() { return {}; }

}  // namespace vorn::py::families
