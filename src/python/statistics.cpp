// Functions of this family join the table as they are built.
#include "python/families.hpp"

namespace vorn::py::families {

Table statistics() { return {}; }

}  // namespace vorn::py::families
