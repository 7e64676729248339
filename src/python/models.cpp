// Model training and feature preparation.
#include "python/families.hpp"

namespace vorn::py::families {

Table models() { return {}; }
PyTypeObject* sfg_model_class() { return nullptr; }

}  // namespace vorn::py::families
