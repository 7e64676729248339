// Streaming classes join the module here, in their fixed order, as they are built.
#include "python/families.hpp"

namespace vorn::py::streaming_py {

bool register_streaming_classes(PyObject*) { return true; }

}  // namespace vorn::py::streaming_py
