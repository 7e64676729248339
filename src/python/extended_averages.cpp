// The extended moving averages.
#include "indicators/extended/averages.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

ENTRY(py_alma, ext::alma)(Doc{}.names_only(), arg("values"), arg_or_none("period", 9), arg_or_none("offset", 0.85),
                          arg_or_none("sigma", 6.0));
ENTRY(py_pwma, ext::pwma)(Doc{}.names_only(), arg("values"), arg_or_none("period", 5));
ENTRY(py_sinwma, ext::sinwma)(Doc{}.names_only(), arg("values"), arg_or_none("period", 14));
ENTRY(py_swma, ext::swma)(Doc{}.names_only(), arg("values"), arg_or_none("period", 7));
ENTRY(py_vwma, ext::vwma)(Doc{}.names_only(), arg("close"), arg("volume"), arg_or_none("period", 20));
ENTRY(py_vidya, ext::vidya)(Doc{}.names_only(), arg("close"), arg_or_none("period", 14));
ENTRY(py_alligator, ext::alligator)(Doc{}.names_only(), arg("high"), arg("low"), arg_or_none("jaw_period", 13),
                                    arg_or_none("teeth_period", 8), arg_or_none("lips_period", 5));

}  // namespace vorn::py::families
