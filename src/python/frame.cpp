// The OHLCV frame and its indicator cache.
#include "python/families.hpp"

namespace vorn::py::families {

PyTypeObject* ohlcv_frame_class() { return nullptr; }

}  // namespace vorn::py::families
