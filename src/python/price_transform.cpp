// Price transforms.
#include "indicators/price_transform.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace pt = indicators::price_transform;

ENTRY(py_avgprice, pt::avgprice)(
    "py_avgprice(open, high, low, close)\n--\n\nCalculate Average Price (OHLC/4)\n\n"
    "The mean of each bar's open, high, low and close.\n\n"
    "Returns\n-------\nlist of float - Average price values",
    arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_medprice, pt::medprice)(
    "py_medprice(high, low)\n--\n\nCalculate Median Price (HL/2)\n\n"
    "The midpoint of each bar's high and low.\n\n"
    "Returns\n-------\nlist of float - Median price values",
    arg("high"), arg("low"));
ENTRY(py_typprice, pt::typprice)(
    "py_typprice(high, low, close)\n--\n\nCalculate Typical Price (HLC/3)\n\n"
    "The mean of each bar's high, low and close.\n\n"
    "Returns\n-------\nlist of float - Typical price values",
    arg("high"), arg("low"), arg("close"));
ENTRY(py_wclprice, pt::wclprice)("py_wclprice(high, low, close)\n--\n\n", arg("high"),
                                                                 arg("low"), arg("close"));



}  // namespace vorn::py::families
