// MAMA, TRIMA, midpoint and midprice.
#include "indicators/overlap/averages.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ov = indicators::overlap;

namespace {

constexpr Line kPriceData{"values", "list of float", "Price data"};
constexpr Line kPeriod{"period", "int", "Lookback period"};

}  // namespace

ENTRY(py_mama, ov::mama)(Doc{}.names_only(), arg("values"), arg_or_none("fast_limit", 0.5),
                         arg_or_none("slow_limit", 0.05));

ENTRY(py_trima, ov::trima)(
    doc("Calculate Triangular Moving Average (TRIMA)\n\n"
        "Double-smoothed SMA with triangular weighting.\n"
        "More weight to middle of period, smoother than SMA.",
        params(kPriceData, kPeriod), returns("list of float - TRIMA values")),
    arg("values"), arg("period"));

ENTRY(py_midpoint, ov::midpoint)(
    doc("Calculate Midpoint over Period\n\n"
        "Average of highest and lowest values over the lookback period.\n"
        "(Highest + Lowest) / 2",
        params(kPriceData, kPeriod), returns("list of float - Midpoint values")),
    arg("values"), arg("period"));

ENTRY(py_midprice, ov::midprice)(
    doc("Calculate Midprice over Period\n\n"
        "Average of highest high and lowest low over the lookback period.\n"
        "(Highest High + Lowest Low) / 2",
        params(Line{"high", "list of float", "High prices"}, Line{"low", "list of float", "Low prices"}, kPeriod),
        returns("list of float - Midprice values")),
    arg("high"), arg("low"), arg("period"));

}  // namespace vorn::py::families
