// The extended statistical measures.
#include "indicators/extended/statistics.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

namespace {

constexpr Line kClose{"close", "list of float", "Closing prices"};

}  // namespace

ENTRY(py_slope, ext::slope)(Doc{}.names_only(), arg("values"), arg_or_none("period", 14));
ENTRY(py_bias, ext::bias)(Doc{}.names_only(), arg("close"), arg_or_none("period", 20));
ENTRY(py_psl, ext::psl)(Doc{}.names_only(), arg("close"), arg_or_none("period", 12));
ENTRY(py_er, ext::er)(Doc{}.names_only(), arg("close"), arg_or_none("period", 10));
ENTRY(py_cfo, ext::cfo)(Doc{}.names_only(), arg("close"), arg_or_none("period", 14));
ENTRY(py_cti, ext::cti)(
    doc("Calculate Correlation Trend Indicator (CTI)\n\n"
        "Measures correlation between price and linear regression.\n"
        "Values -1 to +1, high positive = strong uptrend.",
        params(kClose, Line{"period", "int, optional", "Lookback period (default: 12)"}),
        returns("list of float - CTI values from -1 to +1")),
    arg("close"), arg_or_none("period", 12));
ENTRY(py_bop, ext::bop)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_percent_rank, ext::percent_rank)(Doc{}.names_only(), arg("values"), arg_or_none("period", 14));
ENTRY(py_entropy, ext::entropy)(
    doc("Calculate Shannon Entropy\n\n"
        "Measures price distribution randomness/unpredictability.\n"
        "Higher values = more random/uncertain market.",
        params(kClose, Line{"period", "int, optional", "Lookback period (default: 10)"},
               Line{"bins", "int, optional", "Histogram bins (default: 10)"}),
        returns("list of float - Entropy values")),
    arg("close"), arg_or_none("period", 10), arg_or_none("bins", 10));

}  // namespace vorn::py::families
