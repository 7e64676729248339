// Price transforms.
#include "indicators/price_transform.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace pt = indicators::price_transform;

ENTRY(py_avgprice, pt::avgprice)(
    doc("Calculate Average Price (OHLC/4)\n\nThe mean of each bar's open, high, low and close.",
        returns("list of float - Average price values")),
    arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_medprice, pt::medprice)(
    doc("Calculate Median Price (HL/2)\n\nThe midpoint of each bar's high and low.",
        returns("list of float - Median price values")),
    arg("high"), arg("low"));
ENTRY(py_typprice, pt::typprice)(
    doc("Calculate Typical Price (HLC/3)\n\nThe mean of each bar's high, low and close.",
        returns("list of float - Typical price values")),
    arg("high"), arg("low"), arg("close"));
ENTRY(py_wclprice, pt::wclprice)(Doc{}, arg("high"), arg("low"), arg("close"));

}  // namespace vorn::py::families
