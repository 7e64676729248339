// Swing points and harmonic patterns.
#include "python/families.hpp"

namespace vorn::py::families {

Table harmonics() { return {}; }
PyTypeObject* harmonic_pattern_class() { return nullptr; }

}  // namespace vorn::py::families
