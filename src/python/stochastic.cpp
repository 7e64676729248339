// Functions of this family join the table as they are built.
#include "python/families.hpp"

namespace vorn::py::families {

Table stochastic() { return {}; }

}  // namespace vorn::py::families
