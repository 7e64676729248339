// SuperTrend.
#include "indicators/trend/supertrend.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace tr = indicators::trend;

// The signature shows period=10, but None selects 7; callers depend on the 7.
ENTRY(py_supertrend, tr::supertrend)(
    doc("Calculate SuperTrend\n\n"
        "ATR bands around the bar midpoint (high + low) / 2 that tighten while price respects them;\n"
        "the line follows the lower band in an uptrend and the upper band in a downtrend, flipping\n"
        "when the close crosses the band. Defined from index `period` on.",
        params(lines::high_low_close, Line{"period", "int", "ATR period (None selects 7)"},
               Line{"multiplier", "float", "Band width in ATRs (None selects 3.0)"}),
        returns("tuple[list[float], list[float], list[float], list[float]]",
                "(value, direction, upper, lower); direction is 1.0 up and -1.0 down"),
        raises("If an input is empty, contains a non-finite value or the lengths differ,\n"
               "or if period is 0 or not below the data length"))
        .fixed_signature("py_supertrend(high, low, close, period=10, multiplier=3.0)"),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 7), arg_or_none("multiplier", 3.0));

}  // namespace vorn::py::families
