// Functions of this family join the table as they are built.
#include "python/families.hpp"

namespace vorn::py::families {

Table trend() { return {}; }

}  // namespace vorn::py::families
