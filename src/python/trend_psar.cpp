// Parabolic SAR.
#include "indicators/trend/psar.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace tr = indicators::trend;

// The signature names the first factor af_initial; the parameter has always been af_init.
ENTRY(py_psar, tr::psar)(
    doc("Calculate Parabolic SAR\n\n"
        "Wilder's stop-and-reverse: a trailing stop that accelerates towards price with every new\n"
        "extreme and flips to the other side when price crosses it.",
        params(lines::high_low_close, Line{"af_init", "float", "Starting acceleration factor (None selects 0.02)"},
               Line{"af_increment", "float", "Acceleration step per new extreme (None selects 0.02)"},
               Line{"af_max", "float", "Acceleration ceiling (None selects 0.2)"}),
        returns("tuple[list[float], list[float]]",
                "(sar, direction), direction +1.0 for an up trend and -1.0 for a down trend"),
        raises("If inputs are invalid, an acceleration parameter is not positive,\n"
               "af_max is below af_init, or there are fewer than 2 bars"))
        .fixed_signature("py_psar(high, low, close, af_initial=0.02, af_increment=0.02, af_max=0.2)"),
    arg("high"), arg("low"), arg("close"), arg_or_none("af_init", 0.02), arg_or_none("af_increment", 0.02),
    arg_or_none("af_max", 0.2));

ENTRY(py_parabolic_sar, tr::psar)(Doc{}, arg("high"), arg("low"), arg("close"), arg_or_none("af_init", 0.02),
                                  arg_or_none("af_increment", 0.02), arg_or_none("af_max", 0.2));

}  // namespace vorn::py::families
