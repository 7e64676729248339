// SAR and extended SAR, MAMA, TRIMA, midpoint and midprice.
#include "indicators/overlap/averages.hpp"
#include "indicators/overlap/sar.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ov = indicators::overlap;

namespace {

using Real = std::optional<double>;

Result<Series> sar(const Series& high, const Series& low, Real acceleration, Real maximum) {
    return ov::sar(high, low, acceleration.value_or(0.02), maximum.value_or(0.2));
}
Result<Series> sarext(const Series& high, const Series& low, Real start_value, Real offset_on_reverse,
                      Real af_init_long, Real af_long, Real af_max_long, Real af_init_short, Real af_short,
                      Real af_max_short) {
    return ov::sarext(high, low,
                      {start_value.value_or(0.0), offset_on_reverse.value_or(0.0), af_init_long.value_or(0.02),
                       af_long.value_or(0.02), af_max_long.value_or(0.2), af_init_short.value_or(0.02),
                       af_short.value_or(0.02), af_max_short.value_or(0.2)});
}
Result<ov::MamaSeries> mama(const Series& values, Real fast_limit, Real slow_limit) {
    return ov::mama(values, fast_limit.value_or(0.5), slow_limit.value_or(0.05));
}

#define PERIOD_PARAM "period : int\n    Lookback period\n\n"
#define HL_PARAMS "high : list of float\n    High prices\nlow : list of float\n    Low prices\n"

}  // namespace

ENTRY(py_sar, sar)(
    "py_sar(high, low, acceleration=0.02, maximum=0.2)\n--\n\n"
    "Calculate Parabolic SAR (Stop and Reverse)\n\n"
    "Trailing stop system that follows price. Dots flip from\n"
    "below to above price on trend reversals.\n\n"
    "Parameters\n----------\n" HL_PARAMS
    "acceleration : float, optional\n    Acceleration factor step (default: 0.02)\n"
    "maximum : float, optional\n    Maximum acceleration (default: 0.2)\n\n"
    "Returns\n-------\nlist of float - SAR values",
    arg("high"), arg("low"), arg_or_none("acceleration"), arg_or_none("maximum"));

ENTRY(py_sarext, sarext)(
    "py_sarext(high, low, start_value, offset_on_reverse, af_init_long, af_long, af_max_long, af_init_short, "
    "af_short, af_max_short)\n--\n\n",
    arg("high"), arg("low"), arg_or_none("start_value"), arg_or_none("offset_on_reverse"), arg_or_none("af_init_long"),
    arg_or_none("af_long"), arg_or_none("af_max_long"), arg_or_none("af_init_short"), arg_or_none("af_short"),
    arg_or_none("af_max_short"));

ENTRY(py_mama, mama)("py_mama(values, fast_limit, slow_limit)\n--\n\n", arg("values"),
                                                 arg_or_none("fast_limit"), arg_or_none("slow_limit"));

ENTRY(py_trima, ov::trima)(
    "py_trima(values, period)\n--\n\n"
    "Calculate Triangular Moving Average (TRIMA)\n\n"
    "Double-smoothed SMA with triangular weighting.\n"
    "More weight to middle of period, smoother than SMA.\n\n"
    "Parameters\n----------\nvalues : list of float\n    Price data\n" PERIOD_PARAM
    "Returns\n-------\nlist of float - TRIMA values",
    arg("values"), arg("period"));

ENTRY(py_midpoint, ov::midpoint)(
    "py_midpoint(values, period)\n--\n\n"
    "Calculate Midpoint over Period\n\n"
    "Average of highest and lowest values over the lookback period.\n"
    "(Highest + Lowest) / 2\n\n"
    "Parameters\n----------\nvalues : list of float\n    Price data\n" PERIOD_PARAM
    "Returns\n-------\nlist of float - Midpoint values",
    arg("values"), arg("period"));

ENTRY(py_midprice, ov::midprice)(
    "py_midprice(high, low, period)\n--\n\n"
    "Calculate Midprice over Period\n\n"
    "Average of highest high and lowest low over the lookback period.\n"
    "(Highest High + Lowest Low) / 2\n\n"
    "Parameters\n----------\n" HL_PARAMS PERIOD_PARAM
    "Returns\n-------\nlist of float - Midprice values",
    arg("high"), arg("low"), arg("period"));

#undef PERIOD_PARAM
#undef HL_PARAMS



}  // namespace vorn::py::families
