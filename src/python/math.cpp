// Element-wise math and rolling window extrema and sums.
#include "indicators/math.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace m = indicators::math;

ENTRY(py_max, m::max)(Doc{}, arg("values"), arg("period"));
ENTRY(py_min, m::min)(Doc{}, arg("values"), arg("period"));
ENTRY(py_sum, m::sum)(Doc{}, arg("values"), arg("period"));

ENTRY(py_sqrt, m::sqrt)(Doc{}, arg("values"));
ENTRY(py_ln, m::ln)(Doc{}, arg("values"));
ENTRY(py_log10, m::log10)(Doc{}, arg("values"));
ENTRY(py_exp, m::exp)(Doc{}, arg("values"));
ENTRY(py_abs, m::abs)(Doc{}, arg("values"));
ENTRY(py_ceil, m::ceil)(Doc{}, arg("values"));
ENTRY(py_floor, m::floor)(Doc{}, arg("values"));
ENTRY(py_sin, m::sin)(Doc{}, arg("values"));
ENTRY(py_cos, m::cos)(Doc{}, arg("values"));
ENTRY(py_tan, m::tan)(Doc{}, arg("values"));
ENTRY(py_asin, m::asin)(Doc{}, arg("values"));
ENTRY(py_acos, m::acos)(Doc{}, arg("values"));
ENTRY(py_atan, m::atan)(Doc{}, arg("values"));
ENTRY(py_sinh, m::sinh)(Doc{}, arg("values"));
ENTRY(py_cosh, m::cosh)(Doc{}, arg("values"));
ENTRY(py_tanh, m::tanh)(Doc{}, arg("values"));

ENTRY(py_add, m::add)(Doc{}, arg("values1"), arg("values2"));
ENTRY(py_sub, m::sub)(Doc{}, arg("values1"), arg("values2"));
ENTRY(py_mult, m::mult)(Doc{}, arg("values1"), arg("values2"));
ENTRY(py_div, m::div)(Doc{}, arg("values1"), arg("values2"));

ENTRY(py_minmax, m::minmax)(Doc{}, arg("values"), arg("period"));
ENTRY(py_minmaxindex, m::minmaxindex)(Doc{}, arg("values"), arg("period"));

}  // namespace vorn::py::families
