// SAR and extended SAR.
#include "indicators/overlap/sar.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ov = indicators::overlap;

namespace {

// The extended SAR's eight numbers travel as one record.
Result<Series> sarext(std::span<const double> high, std::span<const double> low, double start_value,
                      double offset_on_reverse, double af_init_long, double af_long, double af_max_long,
                      double af_init_short, double af_short, double af_max_short) {
    return ov::sarext(high, low,
                      {start_value, offset_on_reverse, af_init_long, af_long, af_max_long, af_init_short, af_short,
                       af_max_short});
}

}  // namespace

ENTRY(py_sar, ov::sar)(
    doc("Calculate Parabolic SAR (Stop and Reverse)\n\n"
        "Trailing stop system that follows price. Dots flip from\n"
        "below to above price on trend reversals.",
        params(Line{"high", "list of float", "High prices"}, Line{"low", "list of float", "Low prices"},
               Line{"acceleration", "float, optional", "Acceleration factor step (default: 0.02)"},
               Line{"maximum", "float, optional", "Maximum acceleration (default: 0.2)"}),
        returns("list of float - SAR values")),
    arg("high"), arg("low"), arg_or_none("acceleration", 0.02), arg_or_none("maximum", 0.2));

ENTRY(py_sarext, sarext)(
    Doc{}.names_only(), arg("high"), arg("low"), arg_or_none("start_value", 0.0),
    arg_or_none("offset_on_reverse", 0.0), arg_or_none("af_init_long", 0.02), arg_or_none("af_long", 0.02),
    arg_or_none("af_max_long", 0.2), arg_or_none("af_init_short", 0.02), arg_or_none("af_short", 0.02),
    arg_or_none("af_max_short", 0.2));

}  // namespace vorn::py::families
