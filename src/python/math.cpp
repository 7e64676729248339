// Element-wise math and rolling window extrema and sums.
#include "indicators/math.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace m = indicators::math;

#define SIG(sig) sig "\n--\n\n"

const FunctionDef py_max = def<"py_max", m::max>(SIG("py_max(values, period)"), arg("values"), arg("period"));
const FunctionDef py_min = def<"py_min", m::min>(SIG("py_min(values, period)"), arg("values"), arg("period"));
const FunctionDef py_sum = def<"py_sum", m::sum>(SIG("py_sum(values, period)"), arg("values"), arg("period"));

const FunctionDef py_sqrt = def<"py_sqrt", m::sqrt>(SIG("py_sqrt(values)"), arg("values"));
const FunctionDef py_ln = def<"py_ln", m::ln>(SIG("py_ln(values)"), arg("values"));
const FunctionDef py_log10 = def<"py_log10", m::log10>(SIG("py_log10(values)"), arg("values"));
const FunctionDef py_exp = def<"py_exp", m::exp>(SIG("py_exp(values)"), arg("values"));
const FunctionDef py_abs = def<"py_abs", m::abs>(SIG("py_abs(values)"), arg("values"));
const FunctionDef py_ceil = def<"py_ceil", m::ceil>(SIG("py_ceil(values)"), arg("values"));
const FunctionDef py_floor = def<"py_floor", m::floor>(SIG("py_floor(values)"), arg("values"));
const FunctionDef py_sin = def<"py_sin", m::sin>(SIG("py_sin(values)"), arg("values"));
const FunctionDef py_cos = def<"py_cos", m::cos>(SIG("py_cos(values)"), arg("values"));
const FunctionDef py_tan = def<"py_tan", m::tan>(SIG("py_tan(values)"), arg("values"));
const FunctionDef py_asin = def<"py_asin", m::asin>(SIG("py_asin(values)"), arg("values"));
const FunctionDef py_acos = def<"py_acos", m::acos>(SIG("py_acos(values)"), arg("values"));
const FunctionDef py_atan = def<"py_atan", m::atan>(SIG("py_atan(values)"), arg("values"));
const FunctionDef py_sinh = def<"py_sinh", m::sinh>(SIG("py_sinh(values)"), arg("values"));
const FunctionDef py_cosh = def<"py_cosh", m::cosh>(SIG("py_cosh(values)"), arg("values"));
const FunctionDef py_tanh = def<"py_tanh", m::tanh>(SIG("py_tanh(values)"), arg("values"));

const FunctionDef py_add = def<"py_add", m::add>(SIG("py_add(values1, values2)"), arg("values1"), arg("values2"));
const FunctionDef py_sub = def<"py_sub", m::sub>(SIG("py_sub(values1, values2)"), arg("values1"), arg("values2"));
const FunctionDef py_mult =
    def<"py_mult", m::mult>(SIG("py_mult(values1, values2)"), arg("values1"), arg("values2"));
const FunctionDef py_div = def<"py_div", m::div>(SIG("py_div(values1, values2)"), arg("values1"), arg("values2"));

const FunctionDef py_minmax =
    def<"py_minmax", m::minmax>(SIG("py_minmax(values, period)"), arg("values"), arg("period"));
const FunctionDef py_minmaxindex =
    def<"py_minmaxindex", m::minmaxindex>(SIG("py_minmaxindex(values, period)"), arg("values"), arg("period"));

#undef SIG

namespace {
const FunctionDef* const table[] = {
    &py_max,  &py_min,  &py_sum,  &py_sqrt, &py_ln,   &py_log10, &py_exp,  &py_abs,  &py_ceil,
    &py_floor, &py_sin, &py_cos,  &py_tan,  &py_asin, &py_acos,  &py_atan, &py_sinh, &py_cosh,
    &py_tanh, &py_add,  &py_sub,  &py_mult, &py_div,  &py_minmax, &py_minmaxindex};
}

Table math() { return table; }

}  // namespace vorn::py::families
