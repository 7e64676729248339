// Element-wise math and rolling window extrema and sums.
#include "indicators/math.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace m = indicators::math;

#define SIG(sig) sig "\n--\n\n"

ENTRY(py_max, m::max)(SIG("py_max(values, period)"), arg("values"), arg("period"));
ENTRY(py_min, m::min)(SIG("py_min(values, period)"), arg("values"), arg("period"));
ENTRY(py_sum, m::sum)(SIG("py_sum(values, period)"), arg("values"), arg("period"));

ENTRY(py_sqrt, m::sqrt)(SIG("py_sqrt(values)"), arg("values"));
ENTRY(py_ln, m::ln)(SIG("py_ln(values)"), arg("values"));
ENTRY(py_log10, m::log10)(SIG("py_log10(values)"), arg("values"));
ENTRY(py_exp, m::exp)(SIG("py_exp(values)"), arg("values"));
ENTRY(py_abs, m::abs)(SIG("py_abs(values)"), arg("values"));
ENTRY(py_ceil, m::ceil)(SIG("py_ceil(values)"), arg("values"));
ENTRY(py_floor, m::floor)(SIG("py_floor(values)"), arg("values"));
ENTRY(py_sin, m::sin)(SIG("py_sin(values)"), arg("values"));
ENTRY(py_cos, m::cos)(SIG("py_cos(values)"), arg("values"));
ENTRY(py_tan, m::tan)(SIG("py_tan(values)"), arg("values"));
ENTRY(py_asin, m::asin)(SIG("py_asin(values)"), arg("values"));
ENTRY(py_acos, m::acos)(SIG("py_acos(values)"), arg("values"));
ENTRY(py_atan, m::atan)(SIG("py_atan(values)"), arg("values"));
ENTRY(py_sinh, m::sinh)(SIG("py_sinh(values)"), arg("values"));
ENTRY(py_cosh, m::cosh)(SIG("py_cosh(values)"), arg("values"));
ENTRY(py_tanh, m::tanh)(SIG("py_tanh(values)"), arg("values"));

ENTRY(py_add, m::add)(SIG("py_add(values1, values2)"), arg("values1"), arg("values2"));
ENTRY(py_sub, m::sub)(SIG("py_sub(values1, values2)"), arg("values1"), arg("values2"));
ENTRY(py_mult, m::mult)(SIG("py_mult(values1, values2)"), arg("values1"), arg("values2"));
ENTRY(py_div, m::div)(SIG("py_div(values1, values2)"), arg("values1"), arg("values2"));

ENTRY(py_minmax, m::minmax)(SIG("py_minmax(values, period)"), arg("values"), arg("period"));
ENTRY(py_minmaxindex, m::minmaxindex)(SIG("py_minmaxindex(values, period)"), arg("values"), arg("period"));

#undef SIG



}  // namespace vorn::py::families
