// SAR and extended SAR, MAMA, TRIMA, midpoint and midprice.
#include "python/families.hpp"

namespace vorn::py::families {

Table overlap() { return {}; }

}  // namespace vorn::py::families
