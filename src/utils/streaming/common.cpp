#include "utils/streaming/common.hpp"

namespace vorn::utils::streaming {

VornError zero_period() { return VornError::invalid_period(0, 0); }
VornError value_not_finite() { return VornError::invalid_value(0, "value must be finite"); }
VornError ohlc_not_finite() { return VornError::invalid_value(0, "ohlc values must be finite"); }

}  // namespace vorn::utils::streaming
