#pragma once
// The documentation the candlestick detectors share. A detector binds straight to its
// kernel: its series are required, and its one trailing parameter, where it has one, may
// be left out or given as None, both of which select the default declared with it.
#include "python/families.hpp"

namespace vorn::py::families {

inline constexpr Line kOhlc[] = {lines::open, lines::high, lines::low, lines::close};
inline constexpr Line kBodyThreshold{"body_threshold", "float, optional",
                                     "Largest body / range ratio (default: 0.1; None selects 0.1)"};
inline constexpr Line kDojiThreshold{"body_threshold", "float, optional",
                                     "Largest body / range ratio of the doji (default: 0.1; None selects 0.1)"};
inline constexpr const char* kRaises =
    "If a series is empty, contains a non-finite value or differs in length\nfrom the others";

}  // namespace vorn::py::families
